#include "insertbatch.h"

#include "killpoint.h"
#include "query.h"
#include "sqlliteral.h"

namespace zt::data {

namespace {

// The server ends only the refused statement (2627, 515, 8152) and would go on with the next
// row: the guard ends the batch there. SET XACT_ABORT ON would end it too, but would leave out
// the 3621 the row-by-row copy reported and would stay set on the session.
const QString CheckAfterRow = QStringLiteral(";\r\nIF @@ERROR <> 0 RETURN;\r\n");

// The value as a literal of the batch, or false when it has to travel as a parameter: values
// other than text, and texts holding a NUL character, which statement texts do not carry.
bool toLiteral(const QVariant &value, QString &literal)
{
    if (value.isNull()) {
        literal = QStringLiteral("NULL");
        return true;
    }
    if (value.typeId() != QMetaType::QString)
        return false;
    const QString text = value.toString();
    if (text.contains(QChar(u'\0')))
        return false;
    literal = nationalLiteral(text);
    return true;
}

} // namespace

InsertBatch::InsertBatch(Backend &backend, BatchLimits limits)
    : m_backend(backend)
    , m_limits(limits)
{ }

void InsertBatch::insert(const QString &table, const QStringList &columns, const QList<QVariant> &values)
{
    QStringList literals;
    literals.reserve(values.size());
    bool asLiterals = m_backend.runsTSqlBatches();
    for (const QVariant &value : values) {
        if (!asLiterals || !toLiteral(value, literals.emplaceBack())) {
            asLiterals = false;
            break;
        }
    }
    if (!asLiterals) {
        flush();
        send(insertStatement(table, columns, QStringList(values.size(), QStringLiteral("?"))), values);
        return;
    }
    const QString statement = insertStatement(table, columns, literals) + CheckAfterRow;
    if (m_rows > 0 && (m_rows >= m_limits.rows || m_text.size() + statement.size() > m_limits.characters))
        flush();
    m_text += statement;
    ++m_rows;
}

void InsertBatch::flush()
{
    if (m_rows == 0)
        return;
    const QString text = std::exchange(m_text, QString());
    m_rows = 0;
    send(text, {});
}

void InsertBatch::send(const QString &sql, const QList<QVariant> &params)
{
    ++m_sent;
    beforeStatement();
    m_backend.execute(sql, params);
}

} // namespace zt::data
