#pragma once

#include "exactlayer.h"

struct sqlite3;

namespace zt::embedded {

// Arithmetic on exact numbers: the functions installExactNumbers (exactlayer.h) registers.
// Decimal and money values are held as doubles, integers or exact blobs (see exactlayer.h);
// SQLite's own + - * and sum() would add their binary errors (0.10 + 0.20 = 0.30000000000000004)
// and lose the digits beyond 15. The translator writes a + b, a - b and a * b as zt_add, zt_sub
// and zt_mul (see arithmeticrewrite.h), which read each operand as its decimal, compute exactly to
// 38 digits and answer as resultDecimal keeps it; sum() and avg() are replaced by ones that add
// the same way. Two integers of int's range give an int, refused with 8115 beyond it, as a larger
// one gives a bigint; two texts are joined by +; a text beside a number is converted as SQL Server
// converts it (245, 8114).
// zt_cmp and zt_sortkey order exact numbers where an exact blob would be put after every number
// (see exactordering.h); zt_div takes the scale of the quotient's type where it is known; zt_cast
// is CAST and CONVERT to decimal, numeric, money and smallmoney (exactnumbers.cpp).
// sum() and avg() (as window functions too; avg(x, scale) divides at the scale of its type, -1
// for an integer average), zt_min() and zt_max() (zt_min_over() and zt_max_over() as window
// functions), comparing exactly (exactaggregates.cpp).
void installExactAggregates(sqlite3 *db);

} // namespace zt::embedded
