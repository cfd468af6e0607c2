#pragma once

#include "data/backend.h"
#include "instance.h"
#include "resultsink.h"
#include "serverfunctions.h"
#include "sqlitefile.h"

#include <QHash>

#include <optional>

struct sqlite3_stmt;

namespace zt::embedded {

struct Statement;

// A session of the embedded server on one database: runs T-SQL batches, carrying out the
// server's own statements (databases, logins, roles) and handing the rest to SQLite.
class Session final : public data::Backend
{
public:
    Session(Instance instance, Principal principal, OpenDatabase database);

    data::Dialect dialect() const override { return data::Dialect::Sqlite; }
    bool runsTSqlBatches() const override { return true; }
    data::ResultSet query(const QString &sql, const QList<QVariant> &params = {}) override;
    int execute(const QString &sql, const QList<QVariant> &params = {}) override;

    // Runs a batch; the first result set goes to rows (when given), the count of rows changed
    // by the last statement is returned (-1 when it changes none). The first error of a
    // statement that ended alone (or of RAISERROR) is raised once the batch has run.
    int run(const QString &sql, const QList<QVariant> &params, data::ResultSet *rows);
    // Runs a batch, handing every result set, count and message to sink as SQL Server sends
    // them, a statement that ended alone with its error included. Returns the count of the last
    // statement, as run above; an error that ends the batch is raised.
    int run(const QString &sql, const QList<QVariant> &params, ResultSink &sink);
    // A procedure the server offers (sp_tables, sp_columns, ...), called with its arguments.
    void callProcedure(const QString &name, const QList<QVariant> &args, ResultSink &sink);
    const QString &databaseName() const { return m_database.name; }
    // What APP_NAME() answers: the application name of the session's login.
    void setApplicationName(const QString &name) { m_functions.appName = name; }
    bool noCount() const { return m_noCount; }
    // The database's default collation (that of master for the server's own).
    const text::Collation &collation() const { return m_collation; }

private:
    // A statement as SQLite prepared it when its batch was compiled, kept for its run.
    struct Prepared
    {
        SqliteStatement statement;
        qsizetype rest = 0; // where the text after it begins in the statement's UTF-8
    };

    // Runs a statement; prepared, where compile kept it, is its first SQL statement ready to run.
    void runStatement(const Statement &statement, Prepared *prepared, const QList<QVariant> &params,
        qsizetype &nextParam, ResultSink &sink, int &changed);
    // SET, DECLARE, PRINT, RAISERROR, transactions, EXEC (sessioncontrol.cpp).
    void runControl(const Statement &statement, ResultSink &sink);
    void transaction(const QString &verb);
    // The value of a SELECT of one expression, the session's variables bound.
    QVariant evaluate(const QString &select);
    // The last row of a SELECT, the session's variables bound; none when it has no rows.
    std::optional<QList<QVariant>> lastRow(const QString &select);
    // Binds the statement's markers: @variables from the session, the rest from params in order.
    void bindParameters(sqlite3_stmt *statement, const QList<QVariant> &params, qsizetype &nextParam) const;
    void reportCount(ResultSink &sink, qint64 count);
    // Fails the batch when the statement names a column its table lacks. With keep, the
    // statement SQLite prepared is returned for the run where it returns no rows.
    Prepared compile(const Statement &statement, bool keep) const;
    void createTable(const Statement &statement);
    void requireCreateRight(const QString &what) const;
    bool isMaster() const;

    Instance m_instance;
    Principal m_principal;
    OpenDatabase m_database;
    ServerFunctionContext m_functions; // what the server functions of the SQL text answer from
    QHash<QString, QVariant> m_variables; // DECLAREd in the running batch, by lower-case name
    QHash<QString, QString> m_variableTypes;
    bool m_noCount = false;
    text::Collation m_collation;
};

} // namespace zt::embedded
