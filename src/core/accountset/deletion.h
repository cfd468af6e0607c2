#pragma once

#include "accountsetobjects.h"
#include "directory.h"
#include "operationresult.h"

#include <QDateTime>
#include <QList>

#include <optional>

namespace zt::accountset {

// The confirmation, with the full-width brackets around "name(number)".
QString deletionQuestion(const DirectoryRow &row);

// The deletion password check: exact, case-sensitive, untrimmed (an empty or NULL kl matches an
// empty field).
bool deletionPasswordMatches(const DirectoryRow &row, const QString &typed);

// Sends "drop database <number>" on the server connection string of the login.
// A number that is not a regular identifier is delimited. Throws data::DataError.
void dropAccountSetDatabase(
    AccountSetObjects &objects, const data::ServerLogin &login, const DirectoryRow &row);

// Deleting a listed account set: the directory row's password, the verified safety backup, the
// database dropped, this workstation's local rows of the set removed and the directory row
// removed, in that order. The first failure ends it; nothing done before it is undone. Each front
// end words the outcome itself.

enum class DeletionStep {
    Password, // the typed password against the row's kl
    Backup, // the safety copy (backupBeforeDeletion), verified
    DropDatabase, // "drop database <number>"
    LocalRows, // this workstation's rows of the set in ztxxb (removeLocalRows)
    DirectoryRow, // the directory row removed from the table and the listing
};

// What the front end asks for beforehand.
struct DeletionPlan
{
    bool backup = true; // false: no safety copy (the command line's --no-backup)
    bool dropDatabase = true; // false: the database is gone already, only the row goes
};

// What the front end answers while the deletion runs.
class DeletionFrontEnd
{
public:
    virtual ~DeletionFrontEnd() = default;
    // Before each step after the password check.
    virtual void stepStarting(DeletionStep) { }
    // The safety copy failed with the server's text: true deletes without one, false deletes
    // nothing.
    virtual bool deleteWithoutBackup(const QString &error) = 0;
};

using DeletionStepRun = StepRun<DeletionStep>;

struct DeletionResult : OperationResult<DeletionStep>
{
    QString backup; // where the safety copy lies; empty when none was made
    QString backupError; // the failed safety copy's text, also when deleted without one
    bool databaseDropped = false;
    int localRowsRemoved = 0;
    bool rowRemoved = false;

    // The database is gone, its directory row is not: finished by removing the row alone.
    bool databaseGoneRowStayed() const
    {
        return (failedStep == DeletionStep::LocalRows || failedStep == DeletionStep::DirectoryRow)
            && databaseDropped;
    }
};

// Removes this workstation's local rows of the directory row's set on the server: number ztbh and
// server name zjmc the server as given or trimmed (the local rows take over and creation write).
// Rows naming the server otherwise, and other workstations' lists, stay. Returns how many went.
// Throws data::DataError.
int removeLocalRows(AccountSetObjects &objects, const QString &server, const DirectoryRow &row);

// Deletes the current directory row's account set (ADOztgl positioned on row) on the server with
// the held login. Data errors end up in the result, never thrown.
DeletionResult deleteAccountSet(AccountSetObjects &objects, const data::ServerLogin &login,
    const DirectoryRow &row, const QString &typedPassword, DeletionFrontEnd &frontEnd,
    const DeletionPlan &plan = {}, const QDateTime &when = QDateTime::currentDateTime());

} // namespace zt::accountset
