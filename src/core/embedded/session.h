#pragma once

#include "data/backend.h"
#include "instance.h"
#include "serverfunctions.h"

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
    // by the last statement is returned (-1 when it changes none).
    int run(const QString &sql, const QList<QVariant> &params, data::ResultSet *rows);
    const QString &databaseName() const { return m_database.name; }
    // The database's default collation (that of master for the server's own).
    const text::Collation &collation() const { return m_collation; }

private:
    void runStatement(const Statement &statement, const QList<QVariant> &params, qsizetype &nextParam,
        data::ResultSet *&rows, int &changed);
    // Fails the batch when the statement names a column its table lacks.
    void compile(const Statement &statement) const;
    void createTable(const Statement &statement);
    void requireCreateRight(const QString &what) const;
    bool isMaster() const;

    Instance m_instance;
    Principal m_principal;
    OpenDatabase m_database;
    ServerFunctionContext m_functions; // what the server functions of the SQL text answer from
    text::Collation m_collation;
};

} // namespace zt::embedded
