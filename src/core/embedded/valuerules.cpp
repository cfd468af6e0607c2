// The checks that keep the values of number columns as SQL Server keeps them.
#include "valuerules.h"

#include "exact/exactlayer.h"

#include <algorithm>
#include <cstdint>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

QString textOf(sqlite3_value *value)
{
    return QString::fromUtf8(
        reinterpret_cast<const char *>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
}

void raise(sqlite3_context *call, int number, const QString &text)
{
    const QByteArray message = QStringLiteral("zt:%1:%2").arg(number).arg(text).toUtf8();
    sqlite3_result_error(call, message.constData(), int(message.size()));
}

// zt_value_fits(value, kind, precision, scale): 1, or the error SQL Server gives for the value
// in a column of that kind ('i' integer types by name in precision's place, 'd' decimal, 'm'
// money, 's' smallmoney).
void valueFits(sqlite3_context *call, int, sqlite3_value **args)
{
    const int storage = sqlite3_value_type(args[0]);
    const QString kind = textOf(args[1]);
    // Empty text is what the data layer posts for a field left empty; SQL Server reads it as 0.
    const bool binary
        = storage == SQLITE_BLOB && !isExactBlob(sqlite3_value_blob(args[0]), sqlite3_value_bytes(args[0]));
    if (storage == SQLITE_NULL || binary || (storage == SQLITE_TEXT && textOf(args[0]).trimmed().isEmpty())) {
        sqlite3_result_int(call, 1);
        return;
    }
    if (kind.startsWith(u'i')) {
        const QString type = kind.mid(2);
        if (storage == SQLITE_TEXT) {
            raise(call, 245,
                QStringLiteral("Conversion failed when converting the nvarchar value '%1' to data type %2.")
                    .arg(textOf(args[0]), type));
            return;
        }
        const double v = sqlite3_value_double(args[0]);
        const double low = type == QLatin1StringView("tinyint") ? 0
            : type == QLatin1StringView("smallint")             ? -32768
            : type == QLatin1StringView("int")                  ? -2147483648.0
                                                                : -9223372036854775808.0;
        const double high = type == QLatin1StringView("tinyint") ? 255
            : type == QLatin1StringView("smallint")              ? 32767
            : type == QLatin1StringView("int")                   ? 2147483647.0
                                                                 : 9223372036854775807.0;
        if (v < low || v > high) {
            raise(call, 8115,
                QStringLiteral("Arithmetic overflow error converting expression to data type %1.").arg(type));
            return;
        }
        sqlite3_result_int(call, 1);
        return;
    }
    const bool money = kind == QLatin1StringView("m") || kind == QLatin1StringView("s");
    const QString typeName = kind == QLatin1StringView("m") ? QStringLiteral("money")
        : kind == QLatin1StringView("s")                    ? QStringLiteral("smallmoney")
                                                            : QStringLiteral("numeric");
    if (storage == SQLITE_TEXT) {
        raise(call, 8114, QStringLiteral("Error converting data type nvarchar to %1.").arg(typeName));
        return;
    }
    const int scale = money ? 4 : sqlite3_value_int(args[3]);
    const std::optional<Decimal> d = decimalOf(args[0]);
    const std::optional<Decimal> rounded = d ? withScale(*d, scale) : std::nullopt;
    bool fits = false;
    if (rounded && kind == QLatin1StringView("s"))
        fits = rounded->digits >= -2147483648LL && rounded->digits <= 2147483647LL;
    else if (rounded && money)
        fits = rounded->digits >= INT64_MIN && rounded->digits <= INT64_MAX;
    else if (rounded)
        fits = below(*rounded, sqlite3_value_int(args[2]) - scale);
    if (!fits) {
        raise(call, 8115,
            money ? QStringLiteral("Arithmetic overflow error converting expression to data type %1.")
                        .arg(typeName)
                  : QStringLiteral("Arithmetic overflow error converting numeric to data type numeric."));
        return;
    }
    sqlite3_result_int(call, 1);
}

} // namespace

std::optional<QString> valueCheck(
    const QString &quotedColumn, const QString &type, const QStringList &sizeArgs)
{
    QString arguments;
    if (type == QLatin1StringView("int") || type == QLatin1StringView("integer")
        || type == QLatin1StringView("bigint") || type == QLatin1StringView("smallint")
        || type == QLatin1StringView("tinyint")) {
        arguments = QStringLiteral("'i:%1', 0, 0")
                        .arg(type == QLatin1StringView("integer") ? QStringLiteral("int") : type);
    } else if (type == QLatin1StringView("decimal") || type == QLatin1StringView("numeric")) {
        bool ok = false;
        const int precision = sizeArgs.value(0).toInt(&ok);
        const int scale = sizeArgs.value(1).toInt();
        arguments = QStringLiteral("'d', %1, %2")
                        .arg(ok ? std::clamp(precision, 1, 38) : 18)
                        .arg(std::max(scale, 0));
    } else if (type == QLatin1StringView("money")) {
        arguments = QStringLiteral("'m', 19, 4");
    } else if (type == QLatin1StringView("smallmoney")) {
        arguments = QStringLiteral("'s', 10, 4");
    } else {
        return std::nullopt;
    }
    return QStringLiteral("CHECK (zt_value_fits(%1, %2))").arg(quotedColumn, arguments);
}

std::optional<int> storedScale(const QString &type, const QStringList &sizeArgs)
{
    if (type == QLatin1StringView("decimal") || type == QLatin1StringView("numeric"))
        return std::clamp(sizeArgs.value(1).toInt(), 0, 38);
    if (type == QLatin1StringView("money") || type == QLatin1StringView("smallmoney"))
        return 4;
    return std::nullopt;
}

void installValueRules(sqlite3 *db)
{
    sqlite3_create_function_v2(db, "zt_value_fits", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
        nullptr, valueFits, nullptr, nullptr, nullptr);
}

} // namespace zt::embedded
