#include "widetextreader.h"

#include "dataerror.h"
#include "odbchandles.h"

#include <QDateTime>
#include <QSqlResult>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <iterator>
#include <optional>

namespace zt::data {

namespace {

bool succeeded(SQLRETURN r)
{
    return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO;
}

// The statement's failure as the driver tells it, with the server's numbers.
DataError diagnostic(SQLHSTMT statement)
{
    QStringList texts;
    QList<int> numbers;
    for (const DiagnosticRecord &record : statementDiagnostics(statement)) {
        texts << record.text;
        if (record.native > 0)
            numbers << record.native;
    }
    return DataError(
        texts.isEmpty() ? QStringLiteral("[unixODBC]The row could not be fetched.") : texts.join(u' '),
        numbers);
}

// The whole value of a text or binary column, read in pieces; nullopt for NULL.
std::optional<QByteArray> readPieces(
    SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT target, int terminator)
{
    QByteArray value;
    char buffer[4096];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN r = SQLGetData(statement, column, target, buffer, sizeof buffer, &indicator);
        if (r == SQL_NO_DATA)
            return value;
        if (!succeeded(r))
            throw diagnostic(statement);
        if (indicator == SQL_NULL_DATA)
            return std::nullopt;
        const bool more = r == SQL_SUCCESS_WITH_INFO
            && (indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof buffer) - terminator);
        const qsizetype got = more ? qsizetype(sizeof buffer) - terminator : qsizetype(indicator);
        value.append(buffer, got);
        if (!more)
            return value;
    }
}

template<typename T> std::optional<T> readFixed(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT target)
{
    T value {};
    SQLLEN indicator = 0;
    if (!succeeded(SQLGetData(statement, column, target, &value, sizeof value, &indicator)))
        throw diagnostic(statement);
    if (indicator == SQL_NULL_DATA)
        return std::nullopt;
    return value;
}

QVariant readValue(SQLHSTMT statement, SQLUSMALLINT column, QMetaType type)
{
    switch (type.id()) {
    case QMetaType::QString: {
        const auto bytes = readPieces(statement, column, SQL_C_WCHAR, sizeof(SQLWCHAR));
        if (!bytes)
            return QVariant(type);
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes->constData()), bytes->size() / 2);
    }
    case QMetaType::QByteArray: {
        const auto bytes = readPieces(statement, column, SQL_C_BINARY, 0);
        return bytes ? QVariant(*bytes) : QVariant(type);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const auto v = readFixed<SQLDOUBLE>(statement, column, SQL_C_DOUBLE);
        return v ? QVariant(double(*v)) : QVariant(type);
    }
    case QMetaType::QDate: {
        const auto v = readFixed<SQL_DATE_STRUCT>(statement, column, SQL_C_TYPE_DATE);
        return v ? QVariant(QDate(v->year, v->month, v->day)) : QVariant(type);
    }
    case QMetaType::QTime: {
        const auto v = readFixed<SQL_TIME_STRUCT>(statement, column, SQL_C_TYPE_TIME);
        return v ? QVariant(QTime(v->hour, v->minute, v->second)) : QVariant(type);
    }
    case QMetaType::QDateTime: {
        const auto v = readFixed<SQL_TIMESTAMP_STRUCT>(statement, column, SQL_C_TYPE_TIMESTAMP);
        if (!v)
            return QVariant(type);
        return QDateTime(QDate(v->year, v->month, v->day),
            QTime(v->hour, v->minute, v->second, int(v->fraction / 1000000)));
    }
    default: { // the integer types (bit among them)
        const auto v = readFixed<SQLBIGINT>(statement, column, SQL_C_SBIGINT);
        if (!v)
            return QVariant(type);
        QVariant value = qlonglong(*v);
        value.convert(type);
        return value;
    }
    }
}

} // namespace

QList<QList<QVariant>> readRowsAsUnicode(const QSqlQuery &query, const QList<QMetaType> &types)
{
    SQLHSTMT statement = statementHandle(query);
    if (!statement)
        throw DataError(QStringLiteral("[unixODBC]The statement handle is not available."));
    QList<QList<QVariant>> rows;
    for (;;) {
        const SQLRETURN r = SQLFetch(statement);
        if (r == SQL_NO_DATA)
            return rows;
        if (!succeeded(r))
            throw diagnostic(statement);
        QList<QVariant> row;
        row.reserve(types.size());
        for (int i = 0; i < types.size(); ++i)
            row.append(readValue(statement, SQLUSMALLINT(i + 1), types.at(i)));
        rows.append(std::move(row));
    }
}

} // namespace zt::data
