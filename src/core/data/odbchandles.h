#pragma once

#include <QList>
#include <QString>

class QSqlDatabase;
class QSqlQuery;

namespace zt::data {

// The ODBC handles behind Qt's ODBC driver, for what the driver does not pass on, and what the
// driver manager says of a statement. A handle is null where Qt's driver holds none (another
// driver, a statement not yet run).
void *statementHandle(const QSqlQuery &query);
void *connectionHandle(const QSqlDatabase &database);

// One diagnostic record of a statement: its text and the server's native error number.
struct DiagnosticRecord
{
    QString text;
    int native = 0;
};

// The statement's diagnostic records, in order; none for a null handle.
QList<DiagnosticRecord> statementDiagnostics(void *statement);

} // namespace zt::data
