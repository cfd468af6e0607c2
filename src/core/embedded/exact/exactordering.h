#pragma once

#include "exactlayer.h"

#include <QString>

struct sqlite3;

namespace zt::embedded {

// A statement as SQLite runs it (the ExactReading of exactlayer.h), with the exact numbers
// beyond a double's digits (held as blobs, see exactlayer.h) compared and ordered by their
// values, where SQLite would put every blob after every number and order blobs by their bytes:
// - a < b, a > b, a <= b, a >= b and BETWEEN where an operand may hold exact numbers become
//   coalesce(zt_cmp(a, b) < 0, a < b): zt_cmp answers where an exact blob is compared and is
//   NULL elsewhere, where SQLite's own comparison (with its collations) decides;
// - an ORDER BY term x (an ordinal or a select item's alias read as its expression) becomes
//   zt_sortkey(x), x, the first a blob that SQLite orders as the values are ordered;
// - min(x) and max(x) of exact numbers become zt_min(x) and zt_max(x) (zt_min_over and
//   zt_max_over with OVER);
// - avg(x) of a known type becomes avg(x, scale), the scale of SQL Server's result type (-1
//   for an integer average), and zt_div(a, b) of known types zt_div(a, b, scale).
// With exactParameters, a parameter (? or @name) compared with, set into or inserted into an
// exact-number column is read by zt_exact_text(?), which keeps the digits of a text beyond a
// double's (SQLite would convert it to a double).
// Equality, GROUP BY, DISTINCT and unique keys need nothing: a value is held in one form
// only (a double or an integer up to 15 digits, a blob of its shortest text beyond).

// What a statement may need, from a cheap look at its text: rewriting (comparisons, ORDER BY,
// min, max, avg, /), the types of its results (a SELECT of aggregates, exact functions, coalesce
// or decimal literals), both or neither.
struct ExactNeeds
{
    bool ordering = false;
    bool resultTypes = false;
};
ExactNeeds exactNeeds(const QString &verb, const QString &text);
// Reads the statement: its text rewritten, and with resultTypes the types of its items.
ExactReading exactOrdering(sqlite3 *db, const QString &text, bool resultTypes, bool exactParameters = false);

} // namespace zt::embedded
