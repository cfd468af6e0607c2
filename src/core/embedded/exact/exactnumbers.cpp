// Exact + - * and sum() over the values decimal and money columns hold.
#include "exactnumbers.h"

#include "exactdecimal.h"
#include "exacttypes.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

void raise(sqlite3_context *call, int number, const QString &text)
{
    const QByteArray message = QStringLiteral("zt:%1:%2").arg(number).arg(text).toUtf8();
    sqlite3_result_error(call, message.constData(), int(message.size()));
}

std::string_view textOf(sqlite3_value *value)
{
    return { reinterpret_cast<const char *>(sqlite3_value_text(value)),
        std::size_t(sqlite3_value_bytes(value)) };
}

void overflow(sqlite3_context *call, const char *type)
{
    raise(call, 8115,
        QStringLiteral("Arithmetic overflow error converting expression to data type %1.")
            .arg(QLatin1StringView(type)));
}

enum class Op { Add, Sub, Mul };

std::optional<Decimal> exact(Decimal a, Decimal b, Op op)
{
    if (op != Op::Mul)
        return added(a, b, op == Op::Sub);
    Decimal r { 0, a.scale + b.scale };
    if (__builtin_mul_overflow(a.digits, b.digits, &r.digits))
        return std::nullopt;
    r = normalized(r);
    return r.scale > MaxPrecision ? withScale(r, MaxPrecision) : std::optional<Decimal>(r);
}

// A text operand as SQL Server converts it to the other operand's type: beside an integer (or
// another text) to int (245), beside a decimal to numeric (8114). Empty text is 0. False when
// the conversion failed and the error is set.
bool convertText(sqlite3_context *call, sqlite3_value *text, int otherType, std::optional<Decimal> &out)
{
    const std::string_view s = textOf(text);
    const std::optional<Decimal> d = parseDecimal(s);
    const bool blank = s.find_first_not_of(" \t\r\n") == std::string_view::npos;
    if (otherType == SQLITE_INTEGER || otherType == SQLITE_TEXT) {
        const bool integer = d && s.find_first_of(".eE") == std::string_view::npos;
        if (blank || (integer && d->digits >= INT32_MIN && d->digits <= INT32_MAX)) {
            out = Decimal { blank ? 0 : d->digits, 0 };
            return true;
        }
        raise(call, 245,
            QStringLiteral("Conversion failed when converting the varchar value '%1' to data type int.")
                .arg(QString::fromUtf8(s.data(), qsizetype(s.size()))));
        return false;
    }
    if (blank || d) {
        out = blank ? Decimal {} : *d;
        return true;
    }
    raise(call, 8114, QStringLiteral("Error converting data type varchar to numeric."));
    return false;
}

void integers(sqlite3_context *call, sqlite3_int64 x, sqlite3_int64 y, Op op)
{
    sqlite3_int64 r = 0;
    const bool wide = op == Op::Add ? __builtin_add_overflow(x, y, &r)
        : op == Op::Sub             ? __builtin_sub_overflow(x, y, &r)
                                    : __builtin_mul_overflow(x, y, &r);
    // Two values of int's range are ints, whose result must be one too; a larger one is a bigint.
    const auto isInt = [](sqlite3_int64 v) { return v >= INT32_MIN && v <= INT32_MAX; };
    if (isInt(x) && isInt(y) && (wide || !isInt(r)))
        overflow(call, "int");
    else if (wide)
        overflow(call, "bigint");
    else
        sqlite3_result_int64(call, r);
}

void arithmetic(sqlite3_context *call, sqlite3_value **args, Op op)
{
    int left = sqlite3_value_type(args[0]);
    int right = sqlite3_value_type(args[1]);
    if (left == SQLITE_NULL || right == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    if (op == Op::Add && left == SQLITE_TEXT && right == SQLITE_TEXT) {
        // T-SQL joins two texts with +.
        std::string joined(textOf(args[0]));
        joined.append(textOf(args[1]));
        sqlite3_result_text(call, joined.data(), int(joined.size()), SQLITE_TRANSIENT);
        return;
    }
    std::optional<Decimal> a, b;
    const bool exactLeft = left == SQLITE_BLOB && (a = decimalOf(args[0]));
    const bool exactRight = right == SQLITE_BLOB && (b = decimalOf(args[1]));
    // Exact blobs are decimals; other blobs are converted as SQLite converts them.
    const int leftKind = exactLeft ? SQLITE_FLOAT : left == SQLITE_BLOB ? SQLITE_FLOAT : left;
    const int rightKind = exactRight ? SQLITE_FLOAT : right == SQLITE_BLOB ? SQLITE_FLOAT : right;
    if (left == SQLITE_TEXT && !convertText(call, args[0], rightKind, a))
        return;
    if (right == SQLITE_TEXT && !convertText(call, args[1], leftKind, b))
        return;
    if (left == SQLITE_BLOB && !exactLeft)
        a = decimalOf(sqlite3_value_double(args[0]));
    if (right == SQLITE_BLOB && !exactRight)
        b = decimalOf(sqlite3_value_double(args[1]));
    const auto integerOf = [](sqlite3_value *v, int type, const std::optional<Decimal> &converted) {
        return type == SQLITE_INTEGER ? std::optional<sqlite3_int64>(sqlite3_value_int64(v))
            : type == SQLITE_TEXT && converted && converted->scale == 0
            ? std::optional<sqlite3_int64>(sqlite3_int64(converted->digits))
            : std::nullopt;
    };
    const bool textAsNumeric = (left == SQLITE_TEXT && rightKind == SQLITE_FLOAT)
        || (right == SQLITE_TEXT && leftKind == SQLITE_FLOAT);
    const auto x = integerOf(args[0], left, a), y = integerOf(args[1], right, b);
    if (x && y && !textAsNumeric) {
        integers(call, *x, *y, op);
        return;
    }
    if (!a && left != SQLITE_TEXT)
        a = decimalOf(args[0]);
    if (!b && right != SQLITE_TEXT)
        b = decimalOf(args[1]);
    const std::optional<Decimal> r = a && b ? exact(*a, *b, op) : std::nullopt;
    if (r) {
        resultDecimal(call, *r);
        return;
    }
    if (exactLeft || exactRight) {
        overflow(call, "numeric");
        return;
    }
    // Floats beyond the digits a decimal keeps: as doubles.
    const double p = sqlite3_value_double(args[0]);
    const double q = sqlite3_value_double(args[1]);
    sqlite3_result_double(call, op == Op::Add ? p + q : op == Op::Sub ? p - q : p * q);
}

void add(sqlite3_context *call, int, sqlite3_value **args)
{
    arithmetic(call, args, Op::Add);
}
void subtract(sqlite3_context *call, int, sqlite3_value **args)
{
    arithmetic(call, args, Op::Sub);
}
void multiply(sqlite3_context *call, int, sqlite3_value **args)
{
    arithmetic(call, args, Op::Mul);
}

// zt_exact_text(x): a text of a number beyond a double's digits as its exact blob, which SQLite
// would convert to a double when it is stored in (or compared with) a decimal column; other
// values as they are.
void exactText(sqlite3_context *call, int, sqlite3_value **args)
{
    if (sqlite3_value_type(args[0]) == SQLITE_TEXT) {
        const std::optional<Decimal> d = parseDecimal(textOf(args[0]));
        if (d && precisionOf(normalized(*d)) > DoubleDigits) {
            resultDecimal(call, *d);
            return;
        }
    }
    sqlite3_result_value(call, args[0]);
}

// zt_cast(x, 'decimal(p,s)' | 'money' | 'smallmoney'): CAST and CONVERT to an exact type, as
// SQL Server converts: rounded half away from zero to the type's scale, 8114 for text that is no
// number, 8115 beyond the type's precision or range.
void castExact(sqlite3_context *call, int, sqlite3_value **args)
{
    auto *type = static_cast<NumberType *>(sqlite3_get_auxdata(call, 1));
    if (!type) {
        const QString declared = QString::fromUtf8(textOf(args[1]).data(), qsizetype(textOf(args[1]).size()));
        sqlite3_set_auxdata(call, 1, new NumberType(typeOfDeclaration(declared)),
            [](void *t) { delete static_cast<NumberType *>(t); });
        type = static_cast<NumberType *>(sqlite3_get_auxdata(call, 1));
        if (!type) {
            sqlite3_result_error_nomem(call);
            return;
        }
    }
    const int storage = sqlite3_value_type(args[0]);
    if (storage == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    const std::optional<Decimal> d
        = storage == SQLITE_TEXT ? parseDecimal(textOf(args[0])) : decimalOf(args[0]);
    if (!d) {
        raise(call, 8114, QStringLiteral("Error converting data type varchar to numeric."));
        return;
    }
    const bool money = type->kind != NumberType::Kind::Decimal;
    const std::optional<Decimal> rounded = withScale(*d, money ? 4 : type->scale);
    const bool fits = rounded
        && (type->kind == NumberType::Kind::SmallMoney
                ? rounded->digits >= INT32_MIN && rounded->digits <= INT32_MAX
                : money ? rounded->digits >= INT64_MIN && rounded->digits <= INT64_MAX
                        : below(*rounded, type->precision - type->scale));
    if (!fits) {
        raise(call, 8115,
            QStringLiteral("Arithmetic overflow error converting numeric to data type %1.")
                .arg(money ? type->declaration() : QStringLiteral("numeric")));
        return;
    }
    resultDecimal(call, *rounded);
}

// zt_neg(x): -x, an exact blob negated exactly, which SQLite would negate as a double.
void negate(sqlite3_context *call, int, sqlite3_value **args)
{
    switch (sqlite3_value_numeric_type(args[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(call);
        return;
    case SQLITE_INTEGER: {
        const sqlite3_int64 v = sqlite3_value_int64(args[0]);
        if (v == INT64_MIN)
            overflow(call, "bigint");
        else
            sqlite3_result_int64(call, -v);
        return;
    }
    case SQLITE_BLOB:
        if (const std::optional<Decimal> d = decimalOf(args[0])) {
            resultDecimal(call, Decimal { -d->digits, d->scale });
            return;
        }
        break;
    default:
        break;
    }
    const double v = sqlite3_value_double(args[0]);
    sqlite3_result_double(call, v == 0 ? 0.0 : -v);
}

// zt_div(a, b[, scale]): integers divided as T-SQL divides them (truncated), decimals rounded to
// the scale SQL Server gives the quotient's type, max(6, s1 + p2 + 1) (the translator passes it
// where it knows the operands' types; else s1 and p2 are read from the values); the divisor is
// checked by zt_divisor (8134).
void divide(sqlite3_context *call, int argc, sqlite3_value **args)
{
    const int left = sqlite3_value_type(args[0]);
    const int right = sqlite3_value_type(args[1]);
    if (left == SQLITE_NULL || right == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    std::optional<Decimal> a, b;
    if (left == SQLITE_TEXT && !convertText(call, args[0], right == SQLITE_INTEGER ? right : SQLITE_FLOAT, a))
        return;
    if (right == SQLITE_TEXT && !convertText(call, args[1], left == SQLITE_INTEGER ? left : SQLITE_FLOAT, b))
        return;
    if (!a)
        a = decimalOf(args[0]);
    if (!b)
        b = decimalOf(args[1]);
    const bool exactBlob = left == SQLITE_BLOB || right == SQLITE_BLOB;
    if (a && b && b->digits == 0) {
        raise(call, 8134, QStringLiteral("Divide by zero error encountered."));
        return;
    }
    const int typedScale = argc > 2 ? sqlite3_value_int(args[2]) : -1;
    if (a && b && a->scale == 0 && b->scale == 0 && left != SQLITE_FLOAT && right != SQLITE_FLOAT
        && typedScale < 0) {
        if (a->digits == INT64_MIN && b->digits == -1)
            overflow(call, "bigint");
        else if (a->digits >= INT64_MIN && a->digits <= INT64_MAX && b->digits >= INT64_MIN
            && b->digits <= INT64_MAX)
            sqlite3_result_int64(call, sqlite3_int64(a->digits / b->digits));
        else
            resultDecimal(call, Decimal { a->digits / b->digits, 0 });
        return;
    }
    if (a && b) {
        // The scale wanted, or fewer decimals where the digits would not fit.
        const int first = typedScale >= 0 ? typedScale : std::max(6, a->scale + precisionOf(*b) + 1);
        for (int scale = first; scale >= std::min(first, 6); --scale) {
            if (const std::optional<Decimal> q = dividedAt(*a, *b, scale)) {
                resultDecimal(call, *q);
                return;
            }
        }
    }
    if (exactBlob) {
        overflow(call, "numeric");
        return;
    }
    sqlite3_result_double(call, sqlite3_value_double(args[0]) / sqlite3_value_double(args[1]));
}

// zt_scaled(value, scale): a decimal rounded half away from zero to scale decimals, as SQL
// Server rounds a value stored in a decimal column; other values unchanged.
void scaled(sqlite3_context *call, int, sqlite3_value **args)
{
    const int scale = sqlite3_value_int(args[1]);
    const int type = sqlite3_value_type(args[0]);
    std::optional<Decimal> d;
    if (type == SQLITE_FLOAT || type == SQLITE_BLOB)
        d = decimalOf(args[0]);
    if (!d || d->scale <= scale) {
        sqlite3_result_value(call, args[0]);
        return;
    }
    if (const std::optional<Decimal> r = withScale(*d, scale))
        resultDecimal(call, *r);
    else
        sqlite3_result_value(call, args[0]);
}

// The decimal of an operand of a comparison: exact blobs, numbers, and text as SQL Server
// converts it beside a number (8114); none for other values. False when the error is set.
bool comparedValue(sqlite3_context *call, sqlite3_value *v, std::optional<Decimal> &out)
{
    if (sqlite3_value_type(v) == SQLITE_TEXT)
        return convertText(call, v, SQLITE_FLOAT, out);
    out = decimalOf(v);
    return true;
}

bool isExactValue(sqlite3_value *v)
{
    return sqlite3_value_type(v) == SQLITE_BLOB && isExactBlob(sqlite3_value_blob(v), sqlite3_value_bytes(v));
}

// zt_cmp(a, b): -1, 0 or 1 where an exact blob is compared; NULL where SQLite's own comparison
// is right (no exact blob, or NULL), which the translator's coalesce(zt_cmp(a, b) < 0, a < b)
// then uses, with its collations and affinities.
void comparison(sqlite3_context *call, int, sqlite3_value **args)
{
    if (!isExactValue(args[0]) && !isExactValue(args[1])) {
        sqlite3_result_null(call);
        return;
    }
    if (sqlite3_value_type(args[0]) == SQLITE_NULL || sqlite3_value_type(args[1]) == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    std::optional<Decimal> a, b;
    if (!comparedValue(call, args[0], a) || !comparedValue(call, args[1], b))
        return;
    if (a && b)
        sqlite3_result_int(call, compare(*a, *b));
    else
        sqlite3_result_null(call);
}

// zt_sortkey(x): a blob that SQLite orders as the exact numbers are ordered (see sortKey); NULL
// for NULL and for values that are no number, which the translator's second key, x itself,
// orders.
void sortKeyOf(sqlite3_context *call, int, sqlite3_value **args)
{
    const int type = sqlite3_value_type(args[0]);
    const std::optional<Decimal> d
        = type == SQLITE_INTEGER || type == SQLITE_BLOB ? decimalOf(args[0]) : std::nullopt;
    if (!d && type != SQLITE_FLOAT) {
        sqlite3_result_null(call);
        return;
    }
    const std::string key = d ? sortKey(*d) : sortKey(sqlite3_value_double(args[0]));
    sqlite3_result_blob(call, key.data(), int(key.size()), SQLITE_TRANSIENT);
}

} // namespace

void installExactNumbers(sqlite3 *db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function_v2(db, "zt_add", 2, flags, nullptr, add, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_sub", 2, flags, nullptr, subtract, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_mul", 2, flags, nullptr, multiply, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_neg", 1, flags, nullptr, negate, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_cast", 2, flags, nullptr, castExact, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_exact_text", 1, flags, nullptr, exactText, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_div", 2, flags, nullptr, divide, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_div", 3, flags, nullptr, divide, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_scaled", 2, flags, nullptr, scaled, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_cmp", 2, flags, nullptr, comparison, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_sortkey", 1, flags, nullptr, sortKeyOf, nullptr, nullptr, nullptr);
    installExactAggregates(db);
}

} // namespace zt::embedded
