#pragma once

// The layer's own arithmetic on exact values (see exactlayer.h for the values themselves and
// how SQLite holds them).

#include "exactlayer.h"

#include <optional>
#include <string>

struct sqlite3_context;

namespace zt::embedded {

// Digits, written without a sign and leading zeros ("0.05": 1, "120": 3).
int precisionOf(const Decimal &d);
double toDouble(const Decimal &d);
// a + b, a - b exactly; none beyond 38 digits.
std::optional<Decimal> added(const Decimal &a, const Decimal &b, bool subtract = false);
// a / b rounded half away from zero to scale decimals; none when b is 0 or the digits do not fit.
std::optional<Decimal> dividedAt(const Decimal &a, const Decimal &b, int scale);
// -1, 0 or 1 as a is less than, equal to or greater than b.
int compare(const Decimal &a, const Decimal &b);
// Bytes that order as the values do (compared byte by byte, a prefix first): the sort key of
// ORDER BY on exact numbers, where SQLite would put a blob after every number.
std::string sortKey(const Decimal &d);
// The sort key of the decimal a double stands for (its 15 digits), written from them directly.
std::string sortKey(double value);

// Sets a function's result: an integer or double where those keep the value exactly, else the
// exact blob.
void resultDecimal(sqlite3_context *call, const Decimal &d);

} // namespace zt::embedded
