#include "batchreply.h"

#include "data/dataerror.h"
#include "results.h"
#include "sqltext.h"

namespace zt::tds {

namespace {

// SQLite names a column without alias by its expression (1, @v, count(*), a + b); SQL Server
// leaves it unnamed. Aliases may hold blanks, so only operators, quotes and calls tell.
bool isExpressionName(const QString &name)
{
    if (name.isEmpty() || name.front().isDigit() || name.front() == u'@')
        return true;
    for (const QChar c : name) {
        if (QStringView(u"()+-*/%|'<>=").contains(c))
            return true;
    }
    return false;
}

} // namespace

void BatchReply::writeDone(std::uint16_t status, std::uint64_t count)
{
    if (m_inProc)
        m_out.doneInProc(status, count);
    else
        m_out.done(status, count);
}

void BatchReply::flush(std::uint16_t status)
{
    if (!m_pending)
        return;
    writeDone(std::uint16_t(m_pendingStatus | status), m_pendingCount);
    m_pending = false;
}

void BatchReply::resultSet(data::ResultSet &&rows)
{
    flush(DoneMore);
    for (data::Column &column : rows.columns) {
        if (column.declType.isEmpty() && isExpressionName(column.name))
            column.name.clear();
    }
    writeResultSet(m_out.out(), rows, m_collation);
}

void BatchReply::done(qint64 count)
{
    flush(DoneMore);
    m_pending = true;
    m_pendingStatus = std::uint16_t((count >= 0 ? DoneCount : 0) | (m_error ? DoneError : 0));
    m_pendingCount = count >= 0 ? std::uint64_t(count) : 0;
    m_error = false;
}

void BatchReply::notice(const embedded::Notice &notice)
{
    flush(DoneMore);
    ServerMessage m;
    m.number = notice.number;
    m.severity = notice.severity;
    m.state = notice.state;
    m.text = notice.text;
    if (notice.severity > 10) {
        m_out.error(m);
        m_error = true;
    } else {
        m_out.info(m);
    }
}

void BatchReply::finish()
{
    if (m_pending) {
        flush(m_more);
    } else {
        writeDone(std::uint16_t((m_error ? DoneError : 0) | m_more), 0);
    }
}

void BatchReply::writeMessages(const data::DataError &error)
{
    for (const ServerMessage &m : messagesOf(error)) {
        if (m.severity == 0)
            m_out.info(m);
        else
            m_out.error(m);
    }
}

void BatchReply::statementFailed(const data::DataError &error)
{
    flush(DoneMore);
    writeMessages(error);
    m_pending = true;
    m_pendingStatus = DoneError;
    m_pendingCount = 0;
    m_error = false;
}

void BatchReply::fail(const data::DataError &error)
{
    flush(DoneMore);
    writeMessages(error);
    writeDone(std::uint16_t(DoneError | m_more), 0);
}

} // namespace zt::tds
