// sum(), avg(), zt_min() and zt_max() (and over windows) over the values decimal and money columns hold.
#include "exactdecimal.h"
#include "exactnumbers.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

// sum(): integers as SQLite adds them (an error beyond 64 bits); once a decimal comes, the sum
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
    bool typed; // avg(x, scale)
    int scale; // of avg's result; -1 for an integer average
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

void accumulate(sqlite3_context *call, int argc, sqlite3_value **args, bool subtract)
{
    Sum *sum = sumState(call, true);
    sqlite3_value *value = args[0];
    const int type = sqlite3_value_numeric_type(value);
    if (!sum)
        return;
    if (argc > 1 && !sum->typed) {
        sum->typed = true;
        sum->scale = sqlite3_value_int(args[1]);
    }
    if (type == SQLITE_NULL)
        return;
    sum->count += subtract ? -1 : 1;
    std::optional<Decimal> d;
    if (type == SQLITE_INTEGER) {
        const sqlite3_int64 v = sqlite3_value_int64(value);
        sum->integerOverflow = sum->integerOverflow
            || (subtract ? __builtin_sub_overflow(sum->integer, v, &sum->integer)
                         : __builtin_add_overflow(sum->integer, v, &sum->integer));
        d = Decimal { v, 0 };
    } else {
        sum->real = true;
        d = decimalOf(value);
    }
    const double v = sqlite3_value_double(value);
    sum->approximate += subtract ? -v : v;
    if (!sum->inexact) {
        const std::optional<Decimal> r = d ? added(sum->exact, *d, subtract) : std::nullopt;
        if (r)
            sum->exact = *r;
        sum->inexact = !r;
    }
}

void sumStep(sqlite3_context *call, int argc, sqlite3_value **args)
{
    accumulate(call, argc, args, false);
}
void sumInverse(sqlite3_context *call, int argc, sqlite3_value **args)
{
    accumulate(call, argc, args, true);
}

void sumValue(sqlite3_context *call)
{
    const Sum *sum = sumState(call, false);
    if (!sum || sum->count <= 0)
        sqlite3_result_null(call);
    else if (sum->integerOverflow && !sum->real)
        sqlite3_result_error(call, "integer overflow", -1);
    else if (!sum->real)
        sqlite3_result_int64(call, sum->integer);
    else if (sum->inexact)
        sqlite3_result_double(call, sum->approximate);
    else
        resultDecimal(call, sum->exact);
}

// avg(): the exact sum divided once by the count, rounded to the scale of SQL Server's result
// type (avg(x, scale)), to max(6, the values' scale) where the type is not known; an integer
// average truncated as SQL Server's int average is; integers of a type not known as SQLite
// averages them, a double.
void averageValue(sqlite3_context *call)
{
    const Sum *sum = sumState(call, false);
    if (!sum || sum->count <= 0) {
        sqlite3_result_null(call);
        return;
    }
    const Decimal count { sum->count, 0 };
    if (sum->typed && sum->scale < 0 && !sum->real && !sum->integerOverflow) {
        sqlite3_result_int64(call, sum->integer / sum->count);
        return;
    }
    if (sum->typed && sum->scale < 0 && !sum->inexact) {
        Decimal whole = sum->exact;
        for (; whole.scale > 0; --whole.scale)
            whole.digits /= 10;
        resultDecimal(call, Decimal { whole.digits / sum->count, 0 });
        return;
    }
    if (!sum->typed && !sum->real && !sum->integerOverflow) {
        sqlite3_result_double(call, double(sum->integer) / double(sum->count));
        return;
    }
    const int scale = sum->typed ? sum->scale : std::max(6, sum->exact.scale);
    const std::optional<Decimal> average = sum->inexact ? std::nullopt : dividedAt(sum->exact, count, scale);
    if (average)
        resultDecimal(call, *average);
    else
        sqlite3_result_double(call, sum->approximate / double(sum->count));
}

// zt_min() and zt_max(): the least and the greatest value, numbers and exact blobs compared
// exactly, others in SQLite's order of kinds (numbers, text, blobs; text and blobs by bytes).
int orderOf(sqlite3_value *a, sqlite3_value *b)
{
    const int x = sqlite3_value_type(a), y = sqlite3_value_type(b);
    if (x == SQLITE_INTEGER && y == SQLITE_INTEGER) {
        const sqlite3_int64 p = sqlite3_value_int64(a), q = sqlite3_value_int64(b);
        return p < q ? -1 : p > q ? 1 : 0;
    }
    if (x == SQLITE_FLOAT && y == SQLITE_FLOAT) {
        const double p = sqlite3_value_double(a), q = sqlite3_value_double(b);
        return p < q ? -1 : p > q ? 1 : 0;
    }
    const auto exactOf = [](sqlite3_value *v, int type) {
        return type == SQLITE_INTEGER || type == SQLITE_FLOAT || type == SQLITE_BLOB ? decimalOf(v)
                                                                                     : std::nullopt;
    };
    const std::optional<Decimal> p = exactOf(a, x), q = exactOf(b, y);
    if (p && q)
        return compare(*p, *q);
    const auto rank = [](int type, bool number) { return number ? 0 : type == SQLITE_TEXT ? 1 : 2; };
    const int rx = rank(x, p.has_value()), ry = rank(y, q.has_value());
    if (rx != ry)
        return rx < ry ? -1 : 1;
    const int n = std::min(sqlite3_value_bytes(a), sqlite3_value_bytes(b));
    const void *da
        = x == SQLITE_TEXT ? static_cast<const void *>(sqlite3_value_text(a)) : sqlite3_value_blob(a);
    const void *db
        = y == SQLITE_TEXT ? static_cast<const void *>(sqlite3_value_text(b)) : sqlite3_value_blob(b);
    const int c = n > 0 ? std::memcmp(da, db, std::size_t(n)) : 0;
    return c != 0 ? c : sqlite3_value_bytes(a) - sqlite3_value_bytes(b);
}

void extremeStep(sqlite3_context *call, sqlite3_value *value, int keepWhen)
{
    if (sqlite3_value_type(value) == SQLITE_NULL)
        return;
    auto **best = static_cast<sqlite3_value **>(sqlite3_aggregate_context(call, sizeof(sqlite3_value *)));
    if (!best)
        return;
    if (!*best || orderOf(value, *best) * keepWhen > 0) {
        sqlite3_value_free(*best);
        *best = sqlite3_value_dup(value);
    }
}

void minStep(sqlite3_context *call, int, sqlite3_value **args)
{
    extremeStep(call, args[0], -1);
}
void maxStep(sqlite3_context *call, int, sqlite3_value **args)
{
    extremeStep(call, args[0], 1);
}

void extremeValue(sqlite3_context *call)
{
    auto **best = static_cast<sqlite3_value **>(sqlite3_aggregate_context(call, 0));
    if (!best || !*best) {
        sqlite3_result_null(call);
        return;
    }
    sqlite3_result_value(call, *best);
    sqlite3_value_free(*best);
    *best = nullptr;
}

// zt_min_over() and zt_max_over(): the same over a window's frame, whose rows come and go; the
// values are kept by a key that orders them as orderOf does.
struct Frame
{
    std::map<std::string, std::pair<sqlite3_value *, int>> values; // key: value, count
};

std::string frameKey(sqlite3_value *v)
{
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT || type == SQLITE_BLOB) {
        if (const std::optional<Decimal> d = decimalOf(v))
            return '\x01' + sortKey(*d);
    }
    const auto *data = static_cast<const char *>(
        type == SQLITE_TEXT ? static_cast<const void *>(sqlite3_value_text(v)) : sqlite3_value_blob(v));
    return (type == SQLITE_TEXT ? '\x02' : '\x03')
        + std::string(data ? data : "", std::size_t(sqlite3_value_bytes(v)));
}

Frame *frameOf(sqlite3_context *call, bool create)
{
    auto **frame = static_cast<Frame **>(sqlite3_aggregate_context(call, create ? int(sizeof(Frame *)) : 0));
    if (frame && !*frame && create)
        *frame = new Frame;
    return frame ? *frame : nullptr;
}

void frameStep(sqlite3_context *call, int, sqlite3_value **args)
{
    Frame *frame = sqlite3_value_type(args[0]) == SQLITE_NULL ? nullptr : frameOf(call, true);
    if (!frame)
        return;
    auto &[value, count] = frame->values[frameKey(args[0])];
    if (!value)
        value = sqlite3_value_dup(args[0]);
    ++count;
}

void frameInverse(sqlite3_context *call, int, sqlite3_value **args)
{
    Frame *frame = sqlite3_value_type(args[0]) == SQLITE_NULL ? nullptr : frameOf(call, false);
    if (!frame)
        return;
    const auto found = frame->values.find(frameKey(args[0]));
    if (found == frame->values.end())
        return;
    if (--found->second.second == 0) {
        sqlite3_value_free(found->second.first);
        frame->values.erase(found);
    }
}

template<bool Greatest> void frameValue(sqlite3_context *call)
{
    const Frame *frame = frameOf(call, false);
    if (!frame || frame->values.empty())
        sqlite3_result_null(call);
    else
        sqlite3_result_value(
            call, Greatest ? frame->values.rbegin()->second.first : frame->values.begin()->second.first);
}

template<bool Greatest> void frameFinal(sqlite3_context *call)
{
    frameValue<Greatest>(call);
    if (Frame *frame = frameOf(call, false)) {
        for (const auto &[key, value] : frame->values)
            sqlite3_value_free(value.first);
        delete frame;
        *static_cast<Frame **>(sqlite3_aggregate_context(call, 0)) = nullptr;
    }
}

} // namespace

void installExactAggregates(sqlite3 *db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_window_function(
        db, "sum", 1, flags, nullptr, sumStep, sumValue, sumValue, sumInverse, nullptr);
    for (const int argc : { 1, 2 })
        sqlite3_create_window_function(
            db, "avg", argc, flags, nullptr, sumStep, averageValue, averageValue, sumInverse, nullptr);
    sqlite3_create_function_v2(db, "zt_min", 1, flags, nullptr, nullptr, minStep, extremeValue, nullptr);
    sqlite3_create_function_v2(db, "zt_max", 1, flags, nullptr, nullptr, maxStep, extremeValue, nullptr);
    sqlite3_create_window_function(db, "zt_min_over", 1, flags, nullptr, frameStep, frameFinal<false>,
        frameValue<false>, frameInverse, nullptr);
    sqlite3_create_window_function(db, "zt_max_over", 1, flags, nullptr, frameStep, frameFinal<true>,
        frameValue<true>, frameInverse, nullptr);
}

} // namespace zt::embedded
