#pragma once

#include "text/collation.h"

#include <QString>
#include <QStringList>

#include <optional>

struct sqlite3;

namespace zt::embedded {

// How the server's columns behave as SQL Server's do, beyond what SQLite itself checks: text
// compares by the column's collation, and a value must fit the column's declared size.

// Collation names the server gives text columns in SQLite. Both ignore trailing blanks, as SQL
// Server's comparisons do ('a' = 'a  '); the first also ignores letter case, as the _CI_
// collations (the default Chinese_PRC_CI_AS among them) do.
inline constexpr auto CaseInsensitiveCollation = "zt_ci";
inline constexpr auto CaseSensitiveCollation = "zt_cs";
// Columns of char/varchar types in another code page than 936 carry it in their collation's
// name: zt_ci_1252, zt_cs_950, ... (they compare as zt_ci and zt_cs).

// zt_codepage(value, codePage): the text as a varchar of the code page holds it ('?' for what
// does not fit); numbers and NULL unchanged.
inline constexpr auto CodePageFunction = "zt_codepage";

// The function a size check calls: zt_fits(value, unit, size) is 1 when the value fits.
inline constexpr auto FitsFunction = "zt_fits";
// The name of the CHECK constraints holding size checks; a failure is SQL Server's 8152.
inline constexpr auto SizeConstraint = "zt_8152";

// Registers the collations and the size function on a database connection. Every connection
// of the server needs them before it touches a table created by the server.
void installColumnRules(sqlite3 *db);

// The SQLite collation for a column of a declared T-SQL type (lower case, without size), given
// the COLLATE name written with it (empty: the database's default). Empty for types that hold
// no text.
QString collationFor(const QString &type, const QString &sqlServerCollation,
    const text::Collation &databaseDefault = text::defaultCollation());

// The code page of a char/varchar column of the SQLite collation (936 for zt_ci and zt_cs);
// 0 for names that are not the server's.
int codePageOfSqliteCollation(const QString &sqliteCollation);

// True for char/varchar types (values held in a code page).
bool isNarrowText(const QString &type);

// The check that keeps a column's values within its declared size, as SQL text for a CHECK
// constraint: char/varchar count bytes of their code page (936 for the Chinese_PRC collations),
// nchar/nvarchar UTF-16 units, binary/varbinary bytes. A type written without size holds 1;
// (max) and the types without size limits give no check. sizeArgs are the texts inside the
// parentheses.
std::optional<QString> sizeCheck(
    const QString &quotedColumn, const QString &type, const QStringList &sizeArgs, int codePage = 936);

} // namespace zt::embedded
