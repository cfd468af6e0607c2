#pragma once

#include <QString>

#include <optional>

namespace zt::accountset {

// Whether a name may stand in a T-SQL statement as it is: a regular identifier (a letter, '_',
// '@' or '#' first, then letters, digits, '@', '$', '#', '_'), not a reserved word.
bool isRegularIdentifier(const QString &name);

// A database name as it stands in a statement: a regular identifier as it is, anything else as a
// delimited identifier "[...]" with each ']' doubled.
QString sqlName(const QString &name);

// Why a database name cannot be used for an account set (it would lead out of the folder of the
// per-set system files), or nothing when it can.
std::optional<QString> unusableDatabaseName(const QString &name);

} // namespace zt::accountset
