// Exact decimal values: their text, their doubles and how SQLite holds them.
#include "exactdecimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

using Wide = __int128;

bool timesTen(Wide &value, int times)
{
    for (int i = 0; i < times; ++i) {
        if (__builtin_mul_overflow(value, Wide(10), &value))
            return false;
    }
    return true;
}

Wide power(int exponent)
{
    Wide p = 1;
    timesTen(p, exponent);
    return p;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

std::optional<Decimal> parseDecimal(std::string_view text)
{
    std::size_t i = 0, end = text.size();
    while (i < end && isBlank(text[i]))
        ++i;
    while (end > i && isBlank(text[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    Decimal d;
    int digits = 0;
    bool point = false, any = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9')
            break;
        any = true;
        if (digits == 0 && c == '0' && !point)
            continue; // leading zeros
        if (++digits > MaxPrecision)
            return std::nullopt;
        d.digits = d.digits * 10 + (c - '0');
        d.scale += point ? 1 : 0;
    }
    if (!any)
        return std::nullopt;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        const std::string exponentText(text.substr(i + 1, end - i - 1));
        char *stop = nullptr;
        const long exponent = std::strtol(exponentText.c_str(), &stop, 10);
        if (exponentText.empty() || *stop || exponent > MaxPrecision || exponent < -MaxPrecision)
            return std::nullopt;
        d.scale -= int(exponent);
        if (d.scale < 0) {
            if (!timesTen(d.digits, -d.scale))
                return std::nullopt;
            d.scale = 0;
        }
        i = end;
    }
    if (i != end || d.scale > MaxPrecision)
        return std::nullopt;
    if (negative)
        d.digits = -d.digits;
    return d;
}

std::optional<Decimal> decimalOf(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    char text[40];
    // 15 significant digits
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 14);
    const std::optional<Decimal> d = parseDecimal(std::string_view(text, std::size_t(written.ptr - text)));
    return d ? std::optional<Decimal>(normalized(*d)) : std::nullopt;
}

std::optional<Decimal> decimalOf(sqlite3_value *value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return Decimal { sqlite3_value_int64(value), 0 };
    case SQLITE_FLOAT:
        return decimalOf(sqlite3_value_double(value));
    case SQLITE_BLOB: {
        const auto *data = static_cast<const char *>(sqlite3_value_blob(value));
        const int size = sqlite3_value_bytes(value);
        if (!isExactBlob(data, size))
            return std::nullopt;
        return parseDecimal(std::string_view(data, std::size_t(size)));
    }
    default:
        return std::nullopt;
    }
}

Decimal normalized(Decimal d)
{
    while (d.scale > 0 && d.digits % 10 == 0) {
        d.digits /= 10;
        --d.scale;
    }
    return d;
}

int precisionOf(const Decimal &d)
{
    Wide magnitude = d.digits < 0 ? -d.digits : d.digits;
    int count = 0;
    while (magnitude > 0) {
        magnitude /= 10;
        ++count;
    }
    return std::max(count, 1);
}

std::optional<Decimal> withScale(Decimal d, int scale)
{
    if (d.scale <= scale) {
        if (!timesTen(d.digits, scale - d.scale))
            return std::nullopt;
        return Decimal { d.digits, scale };
    }
    const Wide tenths = d.digits / power(d.scale - scale - 1); // one digit more than kept
    const Wide kept = tenths / 10 + (tenths % 10 >= 5 ? 1 : tenths % 10 <= -5 ? -1 : 0);
    return Decimal { kept, scale };
}

std::string decimalText(const Decimal &d, int minScale)
{
    Decimal v = d;
    if (v.scale < minScale) {
        if (const auto wider = withScale(v, minScale))
            v = *wider;
    }
    Wide magnitude = v.digits < 0 ? -v.digits : v.digits;
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    if (v.scale > 0) {
        if (int(digits.size()) <= v.scale)
            digits.insert(0, std::size_t(v.scale - int(digits.size()) + 1), '0');
        digits.insert(digits.size() - std::size_t(v.scale), 1, '.');
    }
    if (v.digits < 0)
        digits.insert(digits.begin(), '-');
    return digits;
}

double toDouble(const Decimal &d)
{
    return std::strtod(decimalText(d).c_str(), nullptr);
}

bool below(const Decimal &d, int exponent)
{
    const Wide magnitude = d.digits < 0 ? -d.digits : d.digits;
    const int digitsNeeded = exponent + d.scale;
    if (digitsNeeded > MaxPrecision)
        return true;
    return digitsNeeded >= 0 && magnitude < power(digitsNeeded);
}

std::optional<Decimal> added(const Decimal &a, const Decimal &b, bool subtract)
{
    const int scale = std::max(a.scale, b.scale);
    const std::optional<Decimal> x = withScale(a, scale), y = withScale(b, scale);
    Decimal r { 0, scale };
    if (!x || !y
        || (subtract ? __builtin_sub_overflow(x->digits, y->digits, &r.digits)
                     : __builtin_add_overflow(x->digits, y->digits, &r.digits)))
        return std::nullopt;
    return r;
}

std::optional<Decimal> dividedAt(const Decimal &a, const Decimal &b, int scale)
{
    // a * 10^(scale - s1 + s2) / b, with one digit more for the rounding.
    if (b.digits == 0)
        return std::nullopt;
    Wide numerator = a.digits, denominator = b.digits;
    const int shift = scale - a.scale + b.scale + 1;
    if (!(shift >= 0 ? timesTen(numerator, shift) : timesTen(denominator, -shift)))
        return std::nullopt;
    const Wide tenths = numerator / denominator;
    const Wide kept = tenths / 10 + (tenths % 10 >= 5 ? 1 : tenths % 10 <= -5 ? -1 : 0);
    return Decimal { kept, scale };
}

int compare(const Decimal &a, const Decimal &b)
{
    const int signA = a.digits < 0 ? -1 : a.digits > 0 ? 1 : 0;
    const int signB = b.digits < 0 ? -1 : b.digits > 0 ? 1 : 0;
    if (signA != signB || signA == 0)
        return signA < signB ? -1 : signA > signB ? 1 : 0;
    const Decimal x = normalized(a), y = normalized(b);
    const int wholeX = precisionOf(x) - x.scale, wholeY = precisionOf(y) - y.scale;
    if (wholeX != wholeY)
        return wholeX < wholeY ? -signA : signA;
    // As many digits before the point: at the larger scale both keep at most 38 digits.
    const int scale = std::max(x.scale, y.scale);
    Wide p = x.digits, q = y.digits;
    timesTen(p, scale - x.scale);
    timesTen(q, scale - y.scale);
    return p < q ? -1 : p > q ? 1 : 0;
}

namespace {

// The key of a value that is not zero, from its sign, the place of its first digit and its
// digits without trailing zeros: a class byte (negative, zero, positive), the place, the digits;
// for a negative value the place and the digits are complemented and followed by a byte above
// every digit, so that a longer magnitude sorts first.
std::string signedKey(bool negative, int place, const std::string &digits)
{
    std::string key(1, negative ? '\x01' : '\x03');
    key += char(negative ? 191 - place : 64 + place);
    for (const char c : digits)
        key += negative ? char('9' - c + '0') : c;
    if (negative)
        key += ':';
    return key;
}

} // namespace

std::string sortKey(const Decimal &d)
{
    // Zero's class byte lies between the negative and the positive ones (signedKey).
    if (d.digits == 0)
        return std::string(1, '\x02');
    const bool negative = d.digits < 0;
    std::string digits = decimalText(Decimal { negative ? -d.digits : d.digits, 0 });
    const int place = int(digits.size()) - d.scale;
    while (digits.back() == '0')
        digits.pop_back();
    return signedKey(negative, place, digits);
}

std::string sortKey(double value)
{
    if (value == 0 || !std::isfinite(value))
        return sortKey(decimalOf(value).value_or(Decimal {}));
    char text[40]; // d.dddddddddddddde±x
    const auto written
        = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific, 14);
    const char *e = std::find(text, written.ptr, 'e');
    std::string digits(1, text[0]);
    digits.append(text + 2, std::size_t(e - (text + 2)));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    // to_chars writes no terminating NUL: the exponent is read within what it wrote.
    const char *exponent = e + 1 < written.ptr && e[1] == '+' ? e + 2 : e + 1;
    int power = 0;
    std::from_chars(exponent, written.ptr, power);
    const int place = power + 1;
    const bool negative = value < 0;
    return signedKey(negative, place, digits);
}

void resultDecimal(sqlite3_context *call, const Decimal &value)
{
    const Decimal d = normalized(value);
    Decimal whole = d; // zeros before the point a double keeps too
    while (whole.scale == 0 && whole.digits != 0 && whole.digits % 10 == 0)
        whole.digits /= 10;
    if (precisionOf(whole) <= DoubleDigits) {
        sqlite3_result_double(call, toDouble(d));
        return;
    }
    if (d.scale == 0 && d.digits >= INT64_MIN && d.digits <= INT64_MAX) {
        sqlite3_result_int64(call, sqlite3_int64(d.digits));
        return;
    }
    const std::string text = decimalText(d);
    sqlite3_result_blob(call, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

bool isExactBlob(const void *data, int size)
{
    // Written only for more than 15 digits: a binary value of that shape is unlikely.
    if (size <= DoubleDigits || size > MaxPrecision + 2)
        return false;
    const auto *p = static_cast<const char *>(data);
    int digits = 0, points = 0;
    for (int i = 0; i < size; ++i) {
        if (p[i] >= '0' && p[i] <= '9')
            ++digits;
        else if (p[i] == '.')
            ++points;
        else if (!(p[i] == '-' && i == 0))
            return false;
    }
    return digits > DoubleDigits && points <= 1 && p[size - 1] != '.';
}

// A number literal SQLite would read with fewer digits than it has, as the exact blob of its
// decimal (see exactdecimal.h); empty for the others.
QString exactLiteral(const QString &literal)
{
    if (literal.size() <= DoubleDigits)
        return {}; // no more digits than a double keeps
    int digits = 0;
    for (const QChar c : literal)
        digits += c.isDigit() ? 1 : 0;
    if (digits <= DoubleDigits)
        return {};
    const QByteArray latin = literal.toLatin1();
    const std::optional<Decimal> d
        = parseDecimal(std::string_view(latin.constData(), std::size_t(latin.size())));
    if (!d)
        return {};
    const Decimal n = normalized(*d);
    if (n.scale == 0 && n.digits >= INT64_MIN && n.digits <= INT64_MAX && !literal.contains(u'.')
        && !literal.contains(u'e', Qt::CaseInsensitive))
        return {}; // an integer SQLite keeps whole
    if (precisionOf(n) <= DoubleDigits)
        return {}; // leading or trailing zeros only
    return QStringLiteral("X'") + QString::fromLatin1(QByteArray::fromStdString(decimalText(n)).toHex())
        + u'\'';
}

void registerExactNumber()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QMetaType::registerConverter<ExactNumber, QString>([](const ExactNumber &n) { return n.text; });
        QMetaType::registerConverter<ExactNumber, double>(
            [](const ExactNumber &n) { return n.text.toDouble(); });
    });
}

} // namespace zt::embedded
