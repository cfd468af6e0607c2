#pragma once

#include "backend.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace zt::data {

// Rows appended to tables of a SQL Server in few round trips, with the outcome of posting each
// row on its own. The rows go as batches of INSERT statements, each followed by
// "IF @@ERROR <> 0 RETURN": a refused row (a duplicate key, a NULL in a NOT NULL column, a value
// too long) ends only its own statement, on SQL Server and on the embedded server alike, and the
// guard then ends the batch. The rows before it stay (there is no transaction), nothing after it
// runs, and the server's message for that row is raised, the same text as for the row posted on
// its own: the error and "The statement has been terminated." (SET XACT_ABORT ON would end the
// batch too, but would leave that line out and stay set on the session).
// Values are sent as N'...' literals with quotes doubled; a value that cannot be written as a
// literal goes with its row alone as a parameter. A back end that does not run T-SQL batches
// gets one statement per row.
// How large a batch of rows may grow.
struct BatchLimits
{
    int rows = 1000; // statements per batch
    int characters = 512 * 1024; // length of a batch's text
};

class InsertBatch final
{
public:
    explicit InsertBatch(Backend &backend, BatchLimits limits = {});
    InsertBatch(const InsertBatch &) = delete;
    InsertBatch &operator=(const InsertBatch &) = delete;

    // Appends a row: table and columns delimited (quoteTableName, quoteIdentifier), values null
    // or text. Sends the batch when it is full; throws DataError when the server refuses a row.
    void insert(const QString &table, const QStringList &columns, const QList<QVariant> &values);

    // Sends the rows not yet sent. Rows appended but never flushed are not written.
    void flush();

    // Round trips made so far.
    int batchesSent() const { return m_sent; }

private:
    void send(const QString &sql, const QList<QVariant> &params);

    Backend &m_backend;
    BatchLimits m_limits;
    QString m_text;
    int m_rows = 0;
    int m_sent = 0;
};

} // namespace zt::data
