#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

struct sqlite3;

namespace zt::embedded {

// A statement as SQLite runs it, with the exact numbers beyond a double's digits (held as
// blobs, see exactdecimal.h) compared and ordered by their values, where SQLite would put every
// blob after every number and order blobs by their bytes:
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
struct ExactReading
{
    QString text;
    // Of the items of the outer SELECT, the declarations SQL Server gives exact-number results
    // ("decimal(38,2)" for the sum of a decimal(18, 2), "money"), empty where not known or not
    // an exact number.
    QStringList itemTypes;
    qsizetype star = -1; // the first item that is a * (whose columns are not counted)
    // A compound SELECT (UNION, ...), whose columns' types are those of its branches together,
    // which itemTypes give rather than the declared types SQLite reports.
    bool compound = false;
};

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
// Whether one of params, from the first, is a text of a number beyond a double's digits (or an
// exact number read back), which the statement should read with exactParameters.
bool holdsLongNumberText(const QList<QVariant> &params, qsizetype first);
// The declarations of the statement's columns from reading's items: columnCount columns.
QStringList resultTypes(const ExactReading &reading, int columnCount);

} // namespace zt::embedded
