#pragma once

#include "accountsetobjects.h"
#include "creation.h"
#include "directory.h"
#include "operationresult.h"

#include <QDateTime>

#include <optional>

namespace zt::accountset {

// Backups of account sets: a safety copy before a deletion, a backup on request, and an account
// set brought back from a backup file. A backup is made by the server ("BACKUP DATABASE"): a bare
// file name lands in the server's own backup folder (on the embedded server data/backup of the
// installation directory).

// "<number>_<yyyyMMdd_HHmmss>.bak".
QString backupFileName(const QString &number, const QDateTime &when = QDateTime::currentDateTime());

// Where a backup file lies, as the user is told: on the embedded server the full path on this
// machine; on a real server the file as given (a bare name in the server's backup folder).
QString backupLocation(const QString &server, const QString &file);

// Why a backup file name cannot be used (empty, control characters), or nothing.
std::optional<QString> unusableBackupFile(const QString &file);

// Backing a listed set up into a file on its server, as one step.
enum class BackupStep {
    Backup, // the backup written, read through by the server (verified) and its location asked
};

struct BackupResult : OperationResult<BackupStep>
{
    QString location; // where the verified backup lies (backupDatabase)
};

// Backs the set of the number up into file (backupDatabase). Data errors end up in the result,
// never thrown.
[[nodiscard]] BackupResult backupAccountSet(
    AccountSetObjects &objects, const data::ServerLogin &login, const QString &number, const QString &file);

// Backs the database of the account-set number up on the server with the login,
// into file; a file of that name is replaced, and the file written is then read through by the
// server (verifyBackupFile). The number and the file are checked before anything is sent. Returns
// the full path of the file on the server's disk, as the server recorded the backup
// (msdb.dbo.backupmediafamily), or backupLocation() where it records none the login may read.
// Throws data::DataError with the server's text.
QString backupDatabase(
    AccountSetObjects &objects, const data::ServerLogin &login, const QString &number, const QString &file);

// How the user is told where a backup lies: "备份文件（在服务器上）：" + location, on the embedded
// server "备份文件（在本机上）：" + location.
QString backupFileText(const QString &server, const QString &location);

// Has the server read a backup file through without restoring it (RESTORE VERIFYONLY): throws
// data::DataError with the server's text (3183 for a damaged file) when it is not sound.
void verifyBackupFile(AccountSetObjects &objects, const data::ServerLogin &login, const QString &file);

// The safety copy before a deletion: the directory row's database into
// backupFileName(row.number, when). Returns the location. Throws data::DataError.
QString backupBeforeDeletion(AccountSetObjects &objects, const data::ServerLogin &login,
    const DirectoryRow &row, const QDateTime &when = QDateTime::currentDateTime());

// Bringing an account set back from a backup file, step by step; the first failure ends it.
enum class RestoreStep {
    Restore, // the backup restored as the new database (restoreBackupAsDatabase)
    PerSetFile, // the per-set system file, copied when missing
    Registration, // the local row and the directory row, as a creation registers them
};

struct RestoreResult : OperationResult<RestoreStep>
{
    bool databaseMade = false; // the restored database is on the server
    bool registered = false; // the local row is written
    bool directoryRowMissing = false; // registered locally, the directory row refused
};

// An account set to bring back from a backup file.
struct RestoreRequest
{
    AccountSetFields fields; // server, the new database name (the number), name, password
    QString backupFile; // as the server reads it; a bare name is in the server's backup folder
    CreationMode mode = CreationMode::Network;
};

// The checks before a restore: creation's checks and messages, then the database name's and the
// backup file's refusals (focus on the database field; Focus::Unchanged for the file).
std::optional<InputProblem> checkRestoreInput(const RestoreRequest &request, const QString &passwordAgain);

// Reads the server's login into login, asks the server for its default data and
// log folders (SERVERPROPERTY, else master's folders), the files its databases use
// (sys.master_files) and the backup's files (RESTORE FILELISTONLY), restores the backup under the
// database name with its files moved into those folders under names of their own (the backup may
// come from a server with other folders; refused by the server when the database exists: nothing is
// registered then), makes sure the per-set system file exists and registers the account set as a
// creation in the mode does. Data errors end up in the result, never thrown; nothing is written
// before the Restore step for refused names.
[[nodiscard]] RestoreResult restoreAccountSet(AccountSetObjects &objects, const RestoreRequest &request,
    data::ServerLogin &login, const CreationContext &context);

// The first half of restoreAccountSet: the backup restored under the database name, with its files
// moved as described there; no per-set file, nothing registered. Throws data::DataError.
void restoreBackupAsDatabase(
    AccountSetObjects &objects, const RestoreRequest &request, data::ServerLogin &login);

} // namespace zt::accountset
