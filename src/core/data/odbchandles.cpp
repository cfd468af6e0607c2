#include "odbchandles.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <iterator>

namespace zt::data {

namespace {

// QODBC hands its handles out as a QVariant of void*.
void *handleIn(const QVariant &handle)
{
    if (!handle.isValid() || handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return nullptr;
    return *static_cast<const SQLHANDLE *>(handle.constData());
}

} // namespace

void *statementHandle(const QSqlQuery &query)
{
    return query.result() ? handleIn(query.result()->handle()) : nullptr;
}

void *connectionHandle(const QSqlDatabase &database)
{
    return database.driver() ? handleIn(database.driver()->handle()) : nullptr;
}

QList<DiagnosticRecord> statementDiagnostics(void *statement)
{
    QList<DiagnosticRecord> records;
    if (!statement)
        return records;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6];
        SQLINTEGER native = 0;
        SQLWCHAR text[1024];
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(SQL_HANDLE_STMT, statement, record, state, &native, text,
                SQLSMALLINT(std::size(text)), &length)))
            break;
        records.append({ QString::fromUtf16(reinterpret_cast<const char16_t *>(text),
                             std::clamp<int>(length, 0, int(std::size(text)) - 1)),
            int(native) });
    }
    return records;
}

} // namespace zt::data
