#pragma once

#include "data/backend.h"
#include "data/dataerror.h"

#include <QString>

namespace zt::embedded {

// A message a statement sends besides its rows: PRINT, RAISERROR, "Changed database context".
// Severity 10 and below is information; above, an error that does not end the batch.
struct Notice
{
    int number = 0;
    int severity = 0;
    int state = 1;
    QString text;
};

// Receives what a batch answers, statement by statement, in the order SQL Server sends it.
class ResultSink
{
public:
    virtual ~ResultSink() = default;
    // False when the rows of the next result set would be thrown away (they are not read then).
    virtual bool wantsRows() const { return true; }
    // The rows of one statement; done follows.
    virtual void resultSet(data::ResultSet &&rows) = 0;
    // A statement that returned rows or changed rows has finished: the count (rows returned or
    // changed), or -1 when it is not reported (SET NOCOUNT ON).
    virtual void done(qint64 count) = 0;
    virtual void notice(const Notice &notice) = 0;
    // A statement failed with an error that ends only that statement (2627, 515, 8152, 544): the
    // error as raised, "The statement has been terminated." (3621) included where SQL Server sends
    // it. No done follows; the batch goes on with its next statement.
    virtual void statementFailed(const data::DataError &error) = 0;
};

} // namespace zt::embedded
