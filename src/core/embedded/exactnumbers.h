#pragma once

struct sqlite3;

namespace zt::embedded {

// Arithmetic on exact numbers. Decimal and money values are held as doubles of up to 15
// significant digits (see valuerules.h); SQLite's own + - * and sum() would add their binary
// errors (0.10 + 0.20 = 0.30000000000000004). The translator writes a + b, a - b and a * b as
// zt_add, zt_sub and zt_mul (see arithmeticrewrite.h), which read a double as the decimal of its
// 15 significant digits, compute exactly and answer the double nearest to the exact result;
// sum() and avg() are replaced by ones that add the same way. Integers keep SQLite's own results (a
// product beyond 64 bits becomes a double), texts on both sides are joined as T-SQL joins them,
// a text beside a number is converted as SQLite converts it.
void installExactNumbers(sqlite3 *db);

} // namespace zt::embedded
