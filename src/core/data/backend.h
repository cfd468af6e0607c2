#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace zt::data {

// SQL flavour the back end understands, for the few statements the data layer writes itself
// (row updates and deletions of an updatable result set).
enum class Dialect {
    Sqlite, // SQLite files: the local configuration files and the embedded server
    SqlServer, // a real SQL Server through FreeTDS
};

struct Column
{
    QString name;
    // Declared type in lower case without size ("nvarchar", "int", "datetime", "date", ...);
    // empty when the back end does not know it.
    QString declType;
    // The declaration as written, in lower case with its size ("decimal(18, 2)"), or for an
    // expression of exact numbers the type SQL Server gives it ("decimal(38,2)" for the sum of a
    // decimal(18, 2), "money"); empty when the back end does not know it.
    QString declaredType = {};
    // The code page a char/varchar column holds its values in (its collation's); 0 when the
    // back end does not know it.
    int codePage = 0;
};

// A result set read to its end. A null QVariant is SQL NULL.
struct ResultSet
{
    QList<Column> columns;
    QList<QList<QVariant>> rows;
};

// One open session on a database. Opening happens when the back end is created (see
// openBackend); destroying it closes the session. Every failure throws DataError with the
// driver's or server's message text.
class Backend
{
public:
    virtual ~Backend() = default;
    Backend(const Backend &) = delete;
    Backend &operator=(const Backend &) = delete;

    virtual Dialect dialect() const = 0;

    // Runs a statement that returns rows (the first result set of a batch).
    virtual ResultSet query(const QString &sql, const QList<QVariant> &params = {}) = 0;

    // Runs a statement or a batch of statements that returns no rows; the result is the number
    // of rows affected by the last statement (or -1 when unknown).
    virtual int execute(const QString &sql, const QList<QVariant> &params = {}) = 0;

    // True when the back end is a SQL Server (or the embedded server) that runs T-SQL batches:
    // many statements in one round trip, compiled before any of them runs; a statement refused
    // with 2627, 515, 8152 or 544 ends alone and the next one runs, so "IF @@ERROR <> 0 RETURN"
    // is what ends the batch after it; and execute raises the first error of the batch's
    // statements.
    // A back end that answers false gets one statement at a time.
    virtual bool runsTSqlBatches() const { return false; }

protected:
    Backend() = default;
};

} // namespace zt::data
