#include "columnvalues.h"

#include "exact/exactlayer.h"

#include <QDateTime>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

// Digits of text[from, from + count) as a number, or -1.
int digits(const QString &text, qsizetype from, qsizetype count)
{
    if (from + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The stored forms "yyyy-MM-dd[ hh:mm[:ss[.zzz]]]" read directly: listing a large directory
// reads one per row, and the format parser is slow.
QDateTime parseCanonicalDateTime(const QString &text)
{
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    if (year < 0 || month < 0 || day < 0 || text.at(4) != u'-' || text.at(7) != u'-')
        return {};
    const QDate date(year, month, day);
    if (text.size() == 10)
        return QDateTime(date, QTime(0, 0));
    if (text.size() < 16 || text.at(10) != u' ' || text.at(13) != u':')
        return {};
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2);
    int second = 0, ms = 0;
    if (text.size() > 16) {
        second = digits(text, 17, 2);
        if (text.at(16) != u':' || second < 0)
            return {};
        if (text.size() > 19) {
            ms = digits(text, 20, 3);
            if (text.size() != 23 || text.at(19) != u'.' || ms < 0)
                return {};
        } else if (text.size() != 19) {
            return {};
        }
    }
    const QTime time(hour, minute, second, ms);
    return date.isValid() && time.isValid() ? QDateTime(date, time) : QDateTime();
}

QDateTime parseDateTime(const QString &text)
{
    if (const QDateTime value = parseCanonicalDateTime(text); value.isValid())
        return value;
    return QDateTime::fromString(QString(text).replace(u' ', u'T'), Qt::ISODateWithMs);
}

} // namespace

QString plainType(const char *declared)
{
    if (!declared)
        return {};
    QString type = QString::fromUtf8(declared).toLower();
    const qsizetype paren = type.indexOf(u'(');
    if (paren >= 0)
        type.truncate(paren);
    return type.trimmed();
}

TypeClass typeClass(const QString &type)
{
    static const QStringList integers = { QStringLiteral("bigint"), QStringLiteral("int"),
        QStringLiteral("integer"), QStringLiteral("smallint"), QStringLiteral("tinyint") };
    static const QStringList reals = { QStringLiteral("float"), QStringLiteral("real"),
        QStringLiteral("decimal"), QStringLiteral("numeric"), QStringLiteral("money"),
        QStringLiteral("smallmoney"), QStringLiteral("double"), QStringLiteral("double precision") };
    static const QStringList dateTimes
        = { QStringLiteral("datetime"), QStringLiteral("smalldatetime"), QStringLiteral("datetime2") };
    static const QStringList binaries = { QStringLiteral("binary"), QStringLiteral("varbinary"),
        QStringLiteral("image"), QStringLiteral("blob") };
    if (type.isEmpty())
        return TypeClass::Unknown;
    if (integers.contains(type))
        return TypeClass::Integer;
    if (reals.contains(type))
        return TypeClass::Real;
    if (type == QLatin1StringView("bit"))
        return TypeClass::Bit;
    if (dateTimes.contains(type))
        return TypeClass::DateTime;
    if (type == QLatin1StringView("date"))
        return TypeClass::Date;
    if (binaries.contains(type))
        return TypeClass::Binary;
    return TypeClass::Text;
}

QVariant columnValue(sqlite3_stmt *statement, int column, TypeClass type, int scale)
{
    const int storage = sqlite3_column_type(statement, column);
    if (storage == SQLITE_NULL)
        return {};
    const qint64 integer = sqlite3_column_int64(statement, column);
    const double real = sqlite3_column_double(statement, column);
    QString text;
    if (storage == SQLITE_TEXT)
        text = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
            sqlite3_column_bytes(statement, column));
    if (storage == SQLITE_BLOB && (type == TypeClass::Real || type == TypeClass::Unknown)) {
        // An exact number beyond a double's digits (see exact/exactlayer.h).
        const void *data = sqlite3_column_blob(statement, column);
        const int size = sqlite3_column_bytes(statement, column);
        if (isExactBlob(data, size)) {
            registerExactNumber();
            QString digits = QString::fromLatin1(static_cast<const char *>(data), size);
            const qsizetype point = digits.indexOf(u'.');
            const qsizetype decimals = point < 0 ? 0 : digits.size() - point - 1;
            if (scale > decimals)
                digits += (point < 0 ? QStringLiteral(".") : QString()) + QString(scale - decimals, u'0');
            return QVariant::fromValue(ExactNumber { digits });
        }
    }
    if (storage == SQLITE_BLOB && (type == TypeClass::Binary || type == TypeClass::Unknown)) {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(statement, column));
        return QByteArray(data, sqlite3_column_bytes(statement, column));
    }
    if (storage == SQLITE_BLOB)
        text = QString::fromUtf8(static_cast<const char *>(sqlite3_column_blob(statement, column)),
            sqlite3_column_bytes(statement, column));

    bool ok = false;
    switch (type) {
    case TypeClass::Integer:
        if (storage == SQLITE_INTEGER)
            return QVariant::fromValue<qlonglong>(integer);
        if (storage == SQLITE_FLOAT)
            return real;
        if (const qlonglong parsed = text.trimmed().toLongLong(&ok); ok)
            return parsed;
        return text;
    case TypeClass::Real:
        if (storage != SQLITE_TEXT)
            return real;
        if (const double parsed = text.trimmed().toDouble(&ok); ok)
            return parsed;
        return text;
    case TypeClass::Bit:
        if (storage != SQLITE_TEXT)
            return real != 0;
        if (text == QLatin1StringView("1")
            || text.compare(QLatin1StringView("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text == QLatin1StringView("0")
            || text.compare(QLatin1StringView("false"), Qt::CaseInsensitive) == 0)
            return false;
        return text;
    case TypeClass::DateTime:
        if (storage == SQLITE_TEXT) {
            const QDateTime value = parseDateTime(text);
            return value.isValid() ? QVariant(value) : QVariant(text);
        }
        break;
    case TypeClass::Date:
        if (storage == SQLITE_TEXT) {
            const QDate value = QDate::fromString(text.left(10), Qt::ISODate);
            return value.isValid() ? QVariant(value) : QVariant(text);
        }
        break;
    case TypeClass::Unknown:
        break;
    case TypeClass::Binary:
    case TypeClass::Text:
        if (storage == SQLITE_INTEGER)
            return QString::number(integer);
        if (storage == SQLITE_FLOAT)
            return QString::number(real, 'g', 15);
        return text;
    }
    // Values the declared type does not explain keep their stored kind.
    if (storage == SQLITE_INTEGER)
        return QVariant::fromValue<qlonglong>(integer);
    if (storage == SQLITE_FLOAT)
        return real;
    return text;
}

} // namespace zt::embedded
