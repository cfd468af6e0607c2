#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct sqlite3;

namespace zt::embedded {

// The checks of number columns, as SQL Server checks their values. Decimal and money values are
// held as exact/exactlayer.h says: the column's check refuses what does not fit the declared
// precision (8115: a decimal(p, s) holds less than 10^(p - s) once rounded to s decimals, money
// ±922,337,203,685,477.5807, smallmoney ±214,748.3647), and a value with more decimals than the
// column's scale is rounded when stored (the zt_scaled triggers the server puts on the column,
// see storedScale). Integer columns refuse text that is not a number (245) and values beyond
// their type's range (8115).
// The CHECK constraint for a column of a declared T-SQL type (lower case, without size), or
// none for the types it does not concern. sizeArgs are the texts inside the parentheses.
std::optional<QString> valueCheck(
    const QString &quotedColumn, const QString &type, const QStringList &sizeArgs);

// Registers zt_value_fits, the function those checks call, on a database connection (with the
// column rules: every connection of the server).
void installValueRules(sqlite3 *db);

// The scale a value of a column of that type is rounded to when stored (decimal and numeric
// their declared scale, money and smallmoney 4), or none for the other types.
std::optional<int> storedScale(const QString &type, const QStringList &sizeArgs);

} // namespace zt::embedded
