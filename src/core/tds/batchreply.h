#pragma once

#include "embedded/resultsink.h"
#include "text/collation.h"
#include "tokens.h"

namespace zt::data {
class DataError;
}

namespace zt::tds {

// Writes what a batch answers as SQL Server sends it: each result set with its own metadata,
// rows and DONE (DONEINPROC inside a procedure call), every DONE but the last flagged "more",
// counts only where SET NOCOUNT allows, PRINT and low-severity RAISERROR as INFO tokens and
// higher severities as ERROR tokens, "The statement has been terminated." (3621) as information,
// a statement that failed alone with its messages and a DONE flagged "error" before the next one.
class BatchReply final : public embedded::ResultSink
{
public:
    // Text columns go in the collation given (the database's).
    BatchReply(TokenWriter &out, bool inProc, std::uint16_t more, const text::Collation &collation)
        : m_out(out)
        , m_inProc(inProc)
        , m_more(more)
        , m_collation(collation)
    { }

    void resultSet(data::ResultSet &&rows) override;
    void done(qint64 count) override;
    void notice(const embedded::Notice &notice) override;
    // The statement's messages and its DONE flagged "error"; the batch goes on.
    void statementFailed(const data::DataError &error) override;

    // The batch has ended: its last DONE.
    void finish();
    // The batch has ended with an error: its messages and a DONE flagged "error".
    void fail(const data::DataError &error);

private:
    void flush(std::uint16_t status);
    void writeMessages(const data::DataError &error);
    void writeDone(std::uint16_t status, std::uint64_t count);

    TokenWriter &m_out;
    bool m_inProc;
    std::uint16_t m_more;
    const text::Collation &m_collation;
    bool m_pending = false;
    bool m_error = false;
    std::uint16_t m_pendingStatus = 0;
    std::uint64_t m_pendingCount = 0;
};

} // namespace zt::tds
