#pragma once

#include "accountsetobjects.h"
#include "creation.h"
#include "directory.h"
#include "operationresult.h"

#include <QDateTime>
#include <QList>

#include <optional>

namespace zt::accountset {

// Copying a listed network account set to a new set on the same server, with its own number, name
// and password: the source backed up into a file of its own (verified), that backup restored
// under the new number and the new set registered as a creation registers it. The source stays
// untouched and usable throughout; the backup file stays where the server wrote it. A note in
// data/copies (copyjournal.h) lets the doctor find a copy cut short. The first failure ends it;
// nothing done before it is undone. Each front end words the outcome with copyOutcomeText.

enum class CopyStep {
    Checks, // the new set's fields, the source in the directory, the new number free
    Password, // the typed password against the source's directory row
    Journal, // the note written
    Backup, // the source backed up into copyBackupFileName(), verified
    Restore, // the backup restored under the new number
    Register, // the per-set file, the local row and the directory row
};

struct CopyRequest
{
    DirectoryRow source; // the listed set to copy
    QString sourcePassword; // as typed: a copy shows the books under a new password
    AccountSetFields target; // server, the new number, name and password
};

using CopyStepRun = StepRun<CopyStep>;

struct CopyResult : OperationResult<CopyStep>
{
    QString backupFile; // the file the server was asked to write (a bare name)
    QString backup; // where the verified backup lies; empty when none was made
    bool databaseMade = false; // the new number's database is on the server
    bool registered = false; // the local row is written
    bool directoryRowMissing = false; // registered locally, the directory row refused
    QString journal; // the note, when it stays for the doctor
};

// "<source>_copy_<target>_<yyyyMMdd_HHmmss>.bak".
QString copyBackupFileName(
    const QString &source, const QString &target, const QDateTime &when = QDateTime::currentDateTime());

// The checks before a copy, before anything is sent: the new set's as a restore makes them
// (checkRestoreInput), then a new number that is the source's.
std::optional<InputProblem> checkCopyInput(const CopyRequest &request, const QString &passwordAgain);

// Copies the set (Conn_Ty / ADOTy open on the local configuration, as the page keeps them). Reads
// the server's login into login, reads the directory again (the source must be
// listed and its password match, the new number neither listed nor a database on the server),
// then writes the note, backs up, restores and registers. Data errors end up in the result, never
// thrown; a refused directory row too (context.reportDirectoryError is not called).
CopyResult copyAccountSet(AccountSetObjects &objects, const CopyRequest &request, data::ServerLogin &login,
    const CreationContext &context = {}, const QDateTime &when = QDateTime::currentDateTime());

// The outcome for the user, in Chinese: on success the two sets and the backup file; on failure
// what failed with the server's text, what is left and what to do.
QString copyOutcomeText(const CopyRequest &request, const CopyResult &result);

} // namespace zt::accountset
