#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct sqlite3;

namespace zt::embedded {

// How exact numbers are kept. SQLite has no decimal type: a decimal, numeric, money or
// smallmoney column holds a double, which keeps every value of up to 15 significant digits
// exactly (reading it back rounded to the column's scale gives the value written). The
// column's check refuses what does not fit the declared precision, as SQL Server does (8115),
// and also what would need more than 15 significant digits, rather than keep it inexactly: a
// decimal(p, s) column holds less than 10^(min(p, 15) - s), money less than 10^11. A value with
// more decimals than the column's scale is rounded when stored (the zt_scaled triggers the
// server puts on the column, see storedScale). Integer columns refuse text that is not a
// number (245) and values beyond their type's range (8115).
inline constexpr int ExactDigits = 15;

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

// The largest magnitude (exclusive) a decimal(precision, scale) column keeps exactly.
double decimalLimit(int precision, int scale);

} // namespace zt::embedded
