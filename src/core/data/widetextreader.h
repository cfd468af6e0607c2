#pragma once

#include "backend.h"

#include <QSqlQuery>

namespace zt::data {

// Rows of a SQL Server result read from the statement's ODBC handle, text as UTF-16.
// Qt's ODBC driver turns Unicode off for FreeTDS and then reads text in chunks of the column's
// declared size + 1 bytes, decoding each chunk as UTF-8 on its own: a Chinese value longer than a
// third of its declared size comes back with its characters split across chunks damaged. This
// reads the rows of the query's current result itself: text through SQL_C_WCHAR, whole, the
// other types as Qt's driver gives them. The query must have been executed and not yet read.
// Throws DataError with the driver's diagnostic when a row cannot be fetched.
QList<QList<QVariant>> readRowsAsUnicode(const QSqlQuery &query, const QList<QMetaType> &types);

} // namespace zt::data
