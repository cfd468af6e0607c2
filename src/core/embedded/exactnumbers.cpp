// Exact + - * and sum() over the doubles decimal and money columns hold.
#include "exactnumbers.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

using Wide = __int128;

// A decimal number: digits / 10^scale.
struct Decimal
{
    Wide digits = 0;
    int scale = 0;
};

constexpr int MaxScale = 36;

bool timesTen(Wide &value, int times)
{
    for (int i = 0; i < times; ++i) {
        if (__builtin_mul_overflow(value, Wide(10), &value))
            return false;
    }
    return true;
}

// The decimal a double stands for: its 15 significant digits.
std::optional<Decimal> decimalOf(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    char text[40];
    std::snprintf(text, sizeof text, "%.15e", value); // d.ddddddddddddddde±x
    Decimal d;
    const char *p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    int fraction = 0;
    bool point = false;
    for (; *p && *p != 'e'; ++p) {
        if (*p == '.') {
            point = true;
            continue;
        }
        d.digits = d.digits * 10 + (*p - '0');
        fraction += point ? 1 : 0;
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    d.scale = fraction - exponent;
    while (d.scale > 0 && d.digits % 10 == 0) {
        d.digits /= 10;
        --d.scale;
    }
    if (d.scale < 0) {
        if (!timesTen(d.digits, -d.scale))
            return std::nullopt;
        d.scale = 0;
    }
    if (d.scale > MaxScale)
        return std::nullopt;
    if (negative)
        d.digits = -d.digits;
    return d;
}

std::optional<Decimal> decimalOf(sqlite3_value *value)
{
    if (sqlite3_value_type(value) == SQLITE_INTEGER)
        return Decimal { sqlite3_value_int64(value), 0 };
    return decimalOf(sqlite3_value_double(value));
}

bool align(Decimal &a, Decimal &b)
{
    if (a.scale < b.scale) {
        if (!timesTen(a.digits, b.scale - a.scale))
            return false;
        a.scale = b.scale;
    } else if (b.scale < a.scale) {
        if (!timesTen(b.digits, a.scale - b.scale))
            return false;
        b.scale = a.scale;
    }
    return true;
}

double toDouble(const Decimal &d)
{
    Wide magnitude = d.digits < 0 ? -d.digits : d.digits;
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    if (d.scale > 0) {
        if (int(digits.size()) <= d.scale)
            digits.insert(0, std::size_t(d.scale - int(digits.size()) + 1), '0');
        digits.insert(digits.size() - std::size_t(d.scale), 1, '.');
    }
    if (d.digits < 0)
        digits.insert(digits.begin(), '-');
    return std::strtod(digits.c_str(), nullptr);
}

enum class Op { Add, Sub, Mul };

std::optional<Decimal> exact(Decimal a, Decimal b, Op op)
{
    Decimal r;
    if (op == Op::Mul) {
        r.scale = a.scale + b.scale;
        if (r.scale > 2 * MaxScale || __builtin_mul_overflow(a.digits, b.digits, &r.digits))
            return std::nullopt;
        return r;
    }
    if (!align(a, b))
        return std::nullopt;
    r.scale = a.scale;
    const bool overflow = op == Op::Add ? __builtin_add_overflow(a.digits, b.digits, &r.digits)
                                        : __builtin_sub_overflow(a.digits, b.digits, &r.digits);
    if (overflow)
        return std::nullopt;
    return r;
}

// What SQLite itself answers for the operator: for texts beside numbers, whose conversion is
// SQLite's to keep.
void asSqlite(sqlite3_context *call, sqlite3_value **args, Op op)
{
    const char *sql = op == Op::Add ? "SELECT ?1 + ?2" : op == Op::Sub ? "SELECT ?1 - ?2" : "SELECT ?1 * ?2";
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(sqlite3_context_db_handle(call), sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_result_error_code(call, SQLITE_ERROR);
        return;
    }
    sqlite3_bind_value(statement, 1, args[0]);
    sqlite3_bind_value(statement, 2, args[1]);
    if (sqlite3_step(statement) == SQLITE_ROW)
        sqlite3_result_value(call, sqlite3_column_value(statement, 0));
    else
        sqlite3_result_null(call);
    sqlite3_finalize(statement);
}

void arithmetic(sqlite3_context *call, sqlite3_value **args, Op op)
{
    const int left = sqlite3_value_type(args[0]);
    const int right = sqlite3_value_type(args[1]);
    if (left == SQLITE_NULL || right == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    if (op == Op::Add && left == SQLITE_TEXT && right == SQLITE_TEXT) {
        // T-SQL joins two texts with +.
        std::string joined(reinterpret_cast<const char *>(sqlite3_value_text(args[0])),
            std::size_t(sqlite3_value_bytes(args[0])));
        joined.append(reinterpret_cast<const char *>(sqlite3_value_text(args[1])),
            std::size_t(sqlite3_value_bytes(args[1])));
        sqlite3_result_text(call, joined.data(), int(joined.size()), SQLITE_TRANSIENT);
        return;
    }
    const bool numbers = (left == SQLITE_INTEGER || left == SQLITE_FLOAT)
        && (right == SQLITE_INTEGER || right == SQLITE_FLOAT);
    if (!numbers) {
        asSqlite(call, args, op);
        return;
    }
    if (left == SQLITE_INTEGER && right == SQLITE_INTEGER) {
        // As SQLite: beyond 64 bits the result is a double.
        const sqlite3_int64 x = sqlite3_value_int64(args[0]);
        const sqlite3_int64 y = sqlite3_value_int64(args[1]);
        sqlite3_int64 r = 0;
        const bool overflow = op == Op::Add ? __builtin_add_overflow(x, y, &r)
            : op == Op::Sub                 ? __builtin_sub_overflow(x, y, &r)
                                            : __builtin_mul_overflow(x, y, &r);
        if (overflow) {
            const double a = double(x), b = double(y);
            sqlite3_result_double(call, op == Op::Add ? a + b : op == Op::Sub ? a - b : a * b);
        } else {
            sqlite3_result_int64(call, r);
        }
        return;
    }
    const std::optional<Decimal> a = decimalOf(args[0]);
    const std::optional<Decimal> b = decimalOf(args[1]);
    const std::optional<Decimal> r = a && b ? exact(*a, *b, op) : std::nullopt;
    if (r) {
        sqlite3_result_double(call, toDouble(*r));
        return;
    }
    const double x = sqlite3_value_double(args[0]);
    const double y = sqlite3_value_double(args[1]);
    sqlite3_result_double(call, op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y);
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

// zt_scaled(value, scale): a double rounded half away from zero to scale decimals, as SQL
// Server rounds a value stored in a decimal column; other values unchanged.
void scaled(sqlite3_context *call, int, sqlite3_value **args)
{
    const int scale = sqlite3_value_int(args[1]);
    std::optional<Decimal> d;
    if (sqlite3_value_type(args[0]) == SQLITE_FLOAT)
        d = decimalOf(sqlite3_value_double(args[0]));
    if (!d || d->scale <= scale) {
        sqlite3_result_value(call, args[0]);
        return;
    }
    Wide unit = 1;
    timesTen(unit, d->scale - scale - 1);
    const Wide tenths = d->digits / unit; // one digit more than kept
    const Wide kept = tenths / 10 + (tenths % 10 >= 5 ? 1 : tenths % 10 <= -5 ? -1 : 0);
    sqlite3_result_double(call, toDouble(Decimal { kept, scale }));
}

// sum(): integers as SQLite adds them (an error beyond 64 bits); once a double comes, the sum
// is a decimal added exactly, or the doubles' own sum where the digits would not fit.
struct Sum
{
    sqlite3_int64 integer;
    sqlite3_int64 count;
    Decimal exact;
    double approximate;
    bool integerOverflow;
    bool real;
    bool inexact;
};

// The aggregate's state in SQLite's aggregate context, which is zeroed but only 8-byte aligned,
// where Sum's 128-bit decimal needs 16: the state lies at the first aligned address in it.
Sum *sumState(sqlite3_context *call, bool create)
{
    void *raw = sqlite3_aggregate_context(call, create ? int(sizeof(Sum) + alignof(Sum)) : 0);
    if (!raw)
        return nullptr;
    const auto address = reinterpret_cast<std::uintptr_t>(raw);
    return reinterpret_cast<Sum *>((address + alignof(Sum) - 1) & ~std::uintptr_t(alignof(Sum) - 1));
}

void accumulate(sqlite3_context *call, sqlite3_value *value, Op op)
{
    Sum *sum = sumState(call, true);
    const int type = sqlite3_value_numeric_type(value);
    if (!sum || type == SQLITE_NULL)
        return;
    sum->count += op == Op::Add ? 1 : -1;
    std::optional<Decimal> d;
    if (type == SQLITE_INTEGER) {
        const sqlite3_int64 v = sqlite3_value_int64(value);
        sum->integerOverflow = sum->integerOverflow
            || (op == Op::Add ? __builtin_add_overflow(sum->integer, v, &sum->integer)
                              : __builtin_sub_overflow(sum->integer, v, &sum->integer));
        d = Decimal { v, 0 };
    } else {
        sum->real = true;
        d = decimalOf(sqlite3_value_double(value));
    }
    const double v = sqlite3_value_double(value);
    sum->approximate += op == Op::Add ? v : -v;
    if (!sum->inexact) {
        const std::optional<Decimal> r = d ? exact(sum->exact, *d, op) : std::nullopt;
        if (r)
            sum->exact = *r;
        sum->inexact = !r;
    }
}

void sumStep(sqlite3_context *call, int, sqlite3_value **args)
{
    accumulate(call, args[0], Op::Add);
}
void sumInverse(sqlite3_context *call, int, sqlite3_value **args)
{
    accumulate(call, args[0], Op::Sub);
}

void sumValue(sqlite3_context *call)
{
    const Sum *sum = sumState(call, false);
    if (!sum || sum->count <= 0)
        sqlite3_result_null(call);
    else if (sum->integerOverflow)
        sqlite3_result_error(call, "integer overflow", -1);
    else if (!sum->real)
        sqlite3_result_int64(call, sum->integer);
    else
        sqlite3_result_double(call, sum->inexact ? sum->approximate : toDouble(sum->exact));
}

// avg(): the exact sum divided once, a double as SQLite answers it.
void averageValue(sqlite3_context *call)
{
    const Sum *sum = sumState(call, false);
    if (!sum || sum->count <= 0)
        sqlite3_result_null(call);
    else if (!sum->real && !sum->integerOverflow)
        sqlite3_result_double(call, double(sum->integer) / double(sum->count));
    else
        sqlite3_result_double(
            call, (sum->inexact ? sum->approximate : toDouble(sum->exact)) / double(sum->count));
}

} // namespace

void installExactNumbers(sqlite3 *db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function_v2(db, "zt_add", 2, flags, nullptr, add, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_sub", 2, flags, nullptr, subtract, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_mul", 2, flags, nullptr, multiply, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "zt_scaled", 2, flags, nullptr, scaled, nullptr, nullptr, nullptr);
    sqlite3_create_window_function(
        db, "sum", 1, flags, nullptr, sumStep, sumValue, sumValue, sumInverse, nullptr);
    sqlite3_create_window_function(
        db, "avg", 1, flags, nullptr, sumStep, averageValue, averageValue, sumInverse, nullptr);
}

} // namespace zt::embedded
