#pragma once

#include <QMetaType>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

struct sqlite3_context;
struct sqlite3_value;

namespace zt::embedded {

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
// Digits, written without a sign and leading zeros ("0.05": 1, "120": 3).
int precisionOf(const Decimal &d);
// Rounded half away from zero to scale decimals (or widened to them); none on overflow.
std::optional<Decimal> withScale(Decimal d, int scale);
// "-0.05", with at least minScale decimals.
std::string decimalText(const Decimal &d, int minScale = 0);
double toDouble(const Decimal &d);
// Whether |d| < 10^exponent.
bool below(const Decimal &d, int exponent);
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
// Whether a blob's bytes are an exact number of the kind resultDecimal writes.
bool isExactBlob(const void *data, int size);

// A number literal SQLite would read with fewer digits than it has, as the blob literal of its
// exact decimal (X'...'); empty for the others.
QString exactLiteral(const QString &literal);

// A result value that is an exact number beyond a double's digits, as the data layer and the
// TDS writer receive it: it reads as its text and converts to double.
struct ExactNumber
{
    QString text;
};

// Registers ExactNumber's conversions (to QString and double) once.
void registerExactNumber();

} // namespace zt::embedded

Q_DECLARE_METATYPE(zt::embedded::ExactNumber)
