#pragma once

#include "data/backend.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace zt::test {

// A back end that writes down every statement that reaches it and passes it on to another back
// end (owned or borrowed); without one it answers in the dialect given, rows from answer (none
// when unset), as a server that runs T-SQL batches.
class RecordingBackend final : public data::Backend
{
public:
    explicit RecordingBackend(std::unique_ptr<data::Backend> inner, QStringList *log = nullptr)
        : m_owned(std::move(inner))
        , m_inner(m_owned.get())
        , m_log(log)
    { }
    explicit RecordingBackend(data::Backend &inner, QStringList *log = nullptr)
        : m_inner(&inner)
        , m_log(log)
    { }
    explicit RecordingBackend(data::Dialect dialect, QStringList *log = nullptr)
        : m_dialect(dialect)
        , m_log(log)
    { }

    data::Dialect dialect() const override { return m_inner ? m_inner->dialect() : m_dialect; }
    data::ResultSet query(const QString &sql, const QList<QVariant> &params) override
    {
        record(sql);
        if (m_inner)
            return m_inner->query(sql, params);
        return answer ? answer(sql) : data::ResultSet {};
    }
    int execute(const QString &sql, const QList<QVariant> &params) override
    {
        record(sql);
        if (m_inner)
            return m_inner->execute(sql, params);
        if (answer)
            answer(sql);
        return 0;
    }
    bool runsTSqlBatches() const override { return batches && (!m_inner || m_inner->runsTSqlBatches()); }

    // The statements, in the order they came.
    const QStringList &statements() const { return m_statements; }
    int calls() const { return int(m_statements.size()); }

    // Without an inner back end: the rows a statement returns (it may throw data::DataError).
    std::function<data::ResultSet(const QString &sql)> answer;
    // False: the back end takes one statement at a time.
    bool batches = true;

private:
    void record(const QString &sql)
    {
        m_statements.append(sql);
        if (m_log)
            m_log->append(sql);
    }

    std::unique_ptr<data::Backend> m_owned;
    data::Backend *m_inner = nullptr;
    data::Dialect m_dialect = data::Dialect::SqlServer;
    QStringList *m_log;
    QStringList m_statements;
};

} // namespace zt::test
