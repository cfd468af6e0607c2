#pragma once

// The exact-number layer of the embedded server: decimal and money values kept to SQL Server's 38
// digits, and the statements that compute with them (arithmetic, comparisons, ORDER BY, result
// types) rewritten so that SQLite gives SQL Server's answers. This header is the layer's one
// entry point: the rest of the server includes it and nothing else of exact/ (see README.md).
// Each entry that reads or rewrites a statement first takes a cheap look at the text or tokens
// at hand, and goes no further for a statement that has no use for the layer.

#include "embedded/tsqllexer.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_value;

namespace zt::embedded {

// ---- Exact values ----

// How exact numbers are kept. SQLite has no decimal type: a decimal, numeric, money or
// smallmoney value of up to 15 significant digits is held as a double (which gives those digits
// back exactly) or an integer, so that SQLite compares, sorts and indexes it as a number; a
// value that needs more digits (up to SQL Server's 38) is held as a blob of its decimal text
// ("1234567890123456.78"), which the exact functions, the value checks and the readers take
// whole.
inline constexpr int DoubleDigits = 15;
inline constexpr int MaxPrecision = 38;

// A decimal number: digits / 10^scale.
struct Decimal
{
    __int128 digits = 0;
    int scale = 0;
};

// "-12.50", " 3 ", "1e3" and the like; none for other text or beyond 38 digits.
std::optional<Decimal> parseDecimal(std::string_view text);
// The decimal a double stands for: its 15 significant digits.
std::optional<Decimal> decimalOf(double value);
// Integers as they are, doubles by their 15 digits, exact blobs by their text; none otherwise.
std::optional<Decimal> decimalOf(sqlite3_value *value);
// Without trailing zeros after the point.
Decimal normalized(Decimal d);
// Rounded half away from zero to scale decimals (or widened to them); none on overflow.
std::optional<Decimal> withScale(Decimal d, int scale);
// "-0.05", with at least minScale decimals.
std::string decimalText(const Decimal &d, int minScale = 0);
// Whether |d| < 10^exponent.
bool below(const Decimal &d, int exponent);
// Whether a blob's bytes are an exact number as the layer holds it.
bool isExactBlob(const void *data, int size);

// A result value that is an exact number beyond a double's digits, as the data layer and the
// TDS writer receive it: it reads as its text and converts to double.
struct ExactNumber
{
    QString text;
};

// Registers ExactNumber's conversions (to QString and double) once.
void registerExactNumber();

// ---- On a connection ----

// The functions the rewritten statements and the columns' triggers call (zt_add, zt_cmp,
// zt_sortkey, zt_scaled, exact sum() and avg(), ...), on every connection of the server.
void installExactNumbers(sqlite3 *db);

// ---- On a statement ----

// A statement as the layer leaves it for SQLite (see exactordering.h for what it rewrites).
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

// The statement text SQLite is to run (after passThrough), read by the layer where it needs it:
// none for a statement that has no comparison, ORDER BY, min, max, avg or division to order
// exactly, nor (with resultTypes) a result whose type SQL Server would give otherwise, nor
// (longNumbers) a parameter beyond a double's digits. verb is the statement's first keyword in
// lower case. Most statements are told apart by a look at their text and cost nothing more.
std::optional<ExactReading> exactStatement(
    sqlite3 *db, const QString &verb, const QString &text, bool resultTypes, bool longNumbers);
// Whether one of params, from the first, is a text of a number beyond a double's digits (or an
// exact number read back), which exactStatement should then read with longNumbers.
bool holdsLongNumberText(const QList<QVariant> &params, qsizetype first);
// The declarations of the statement's columns from reading's items: columnCount columns.
QStringList resultTypes(const ExactReading &reading, int columnCount);
// The scale the values of a result column of that declaration are written with: a decimal's
// scale, 4 for money and smallmoney, -1 for every other type.
int exactScale(const QString &declaration);

// One change to a statement's text: [begin, end) of the batch replaced by with (begin == end
// inserts). chain numbers the expression the change belongs to.
struct ArithmeticEdit
{
    qsizetype begin = 0;
    qsizetype end = 0;
    QString with;
    int chain = 0;
};

// The changes that write the + - * / of the expressions in tokens [from, to) as the exact
// functions (see arithmeticrewrite.h); none, at the price of a look at the operators, for the
// statements without arithmetic.
QList<ArithmeticEdit> exactArithmetic(const QList<Token> &tokens, qsizetype from, qsizetype to);
// A number literal SQLite would read with fewer digits than it has, as the blob literal of its
// exact decimal (X'...'); empty for the others.
QString exactLiteral(const QString &literal);

// ---- The fence, counted ----

// How often the first looks were taken, and how often they let a statement (or its arithmetic)
// into the layer's readers: counted for the whole process.
struct ExactLayerCounts
{
    qint64 looked = 0;
    qint64 entered = 0;
};
ExactLayerCounts exactLayerCounts();

} // namespace zt::embedded

Q_DECLARE_METATYPE(zt::embedded::ExactNumber)
