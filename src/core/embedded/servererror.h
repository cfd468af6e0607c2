#pragma once

#include "data/dataerror.h"

#include <QString>
#include <QStringList>

namespace zt::embedded {

// SQL Server messages the embedded server answers with (the number of each is in messageText).
enum class Msg {
    SyntaxError,
    UnclosedQuote,
    NotBuiltInFunction,
    InvalidColumn,
    AmbiguousColumn,
    InvalidObject,
    PermissionDenied,
    NullNotAllowed,
    Truncated,
    ExplicitIdentity,
    ConstraintConflict,
    LockTimeout,
    DatabaseExists,
    DuplicateKey,
    ObjectExists,
    DropTableMissing,
    DropDatabaseMissing,
    DatabaseInUse,
    SystemDatabase,
    ReadOnlyDatabase,
    RestoreInUse,
    RestorePermission,
    RestoreOtherDatabase,
    BackupDeviceMissing,
    BackupDeviceDenied,
    MediaIncorrectlyFormed,
    BackupSetDamaged,
    BackupPathMissing,
    BackupDeviceExists,
    DirectoryLookup,
    RestoreToLocation,
    FileInUse,
    RestorePlanning,
    LogicalFileMissing,
    DatabaseMissing,
    CannotOpenDatabase,
    FileActivation,
    CannotUpdateIdentity,
    PrincipalMissing,
    LoginMissing,
    RoleMissing,
    LoginExists,
    NoPermission,
    LoginFailed,
    StatementTerminated,
    ConversionFailed,
    ConvertToNumeric,
    NumericOverflow,
    ExpressionOverflow,
    DivideByZero,
    UndeclaredVariable,
    AssignAndRetrieve,
    CommitWithoutBegin,
    RollbackWithoutBegin,
    ProcedureMissing,
    OtherDatabase,
    SchemaMissing,
    UserMessage,
    Other,
};

// The server's text for a message, its %s placeholders filled in order.
QString messageText(Msg msg, const QStringList &args = {});

// The error as the client sees it: "[ztwizard][SQL Server]" + text.
data::DataError serverError(Msg msg, const QStringList &args = {});

// A statement that changed no row because of the error: the cause followed by "The statement
// has been terminated.", as SQL Server sends it (515, 8152, 2627).
data::DataError statementError(Msg msg, const QStringList &args = {});

// A RESTORE failure: the cause followed by "RESTORE DATABASE is terminating abnormally.".
data::DataError restoreError(Msg msg, const QStringList &args = {});

// A RESTORE refused while it planned where the files go: each cause as SQL Server sends them,
// then 3119 "Problems were identified while planning …" and 3013.
data::DataError restorePlanError(const QList<std::pair<Msg, QStringList>> &causes);

// A RESTORE FILELISTONLY failure: the cause followed by "RESTORE FILELIST is terminating
// abnormally.".
data::DataError fileListError(Msg msg, const QStringList &args = {});

// A RESTORE VERIFYONLY failure: the cause followed by "VERIFY DATABASE is terminating
// abnormally.".
data::DataError verifyError(Msg msg, const QStringList &args = {});

// A BACKUP failure: the cause followed by "BACKUP DATABASE is terminating abnormally.".
data::DataError backupError(Msg msg, const QStringList &args = {});

// Turns a message of the SQLite library into the matching SQL Server message. verb is the
// first keyword of the statement (lower case), database the current database.
data::DataError fromSqlite(
    const QString &sqliteMessage, const QString &verb, const QString &database, const QString &lastToken);

// The number of the message a text (without the "[ztwizard][SQL Server]" prefix) was made
// from, or 0 when it was made from none.
int messageNumber(const QString &text);

// The number of an error's first message (what @@ERROR holds after it), 0 when the server made
// none of its messages.
int errorNumber(const data::DataError &error);

} // namespace zt::embedded
