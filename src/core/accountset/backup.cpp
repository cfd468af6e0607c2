#include "backup.h"

#include "data/dataerror.h"
#include "data/sqlliteral.h"
#include "embedded/embeddedserver.h"
#include "identifiers.h"
#include "install/installation.h"
#include "store/localstore.h"

#include <QDir>

#include <algorithm>

namespace zt::accountset {

using data::ConnectionString;
using data::ServerLogin;

namespace {

// A path as a T-SQL text: N'...' so that Chinese folder names reach the server unchanged.
QString pathLiteral(const QString &path)
{
    return data::nationalLiteral(path);
}

void useServer(AccountSetObjects &o, const ServerLogin &login)
{
    // A session already open to the server with the login serves again: a series of backups
    // (a plan's run over every set) logs in once. Its statements name their database.
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::server(login), data::Session::KeepSession);
}

// Where the server puts new databases' files: SERVERPROPERTY's default data and log folders (SQL
// Server 2012 on), else the folders of master's own files, each with its trailing separator; empty
// when the server names neither.
struct ServerFolders
{
    QString data;
    QString log;
    QStringList taken; // every database's files, as sys.master_files lists them
};

QString withSeparator(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(u'\\') || folder.endsWith(u'/'))
        return folder;
    return folder + (folder.contains(u'\\') ? u'\\' : u'/');
}

QString folderPart(const QString &path)
{
    return path.left(std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/')) + 1);
}

ServerFolders serverFolders(data::Query &q)
{
    ServerFolders folders;
    data::reopen(q,
        QStringLiteral(
            "select cast(serverproperty('InstanceDefaultDataPath') as nvarchar(260)) as data_path, "
            "cast(serverproperty('InstanceDefaultLogPath') as nvarchar(260)) as log_path"));
    folders.data = withSeparator(q.fieldAsText(QStringLiteral("data_path")));
    folders.log = withSeparator(q.fieldAsText(QStringLiteral("log_path")));
    data::reopen(q, QStringLiteral("select database_id, type, physical_name from sys.master_files"));
    for (q.first(); !q.isEof(); q.next()) {
        const QString physical = q.fieldAsText(QStringLiteral("physical_name"));
        folders.taken << physical;
        if (q.fieldAsText(QStringLiteral("database_id")) != u"1")
            continue;
        if (q.fieldAsText(QStringLiteral("type")) == u"0" && folders.data.isEmpty())
            folders.data = folderPart(physical);
        else if (q.fieldAsText(QStringLiteral("type")) == u"1" && folders.log.isEmpty())
            folders.log = folderPart(physical);
    }
    q.close();
    return folders;
}

// A file name in folder that no database's file has: stem + suffix, else stem_2 + suffix, ….
QString freeFileName(
    const ServerFolders &server, const QString &folder, const QString &stem, const QString &suffix)
{
    for (int n = 1;; ++n) {
        const QString name = (n == 1 ? stem : stem + u'_' + QString::number(n)) + suffix;
        if (!server.taken.contains(folder + name, Qt::CaseInsensitive))
            return name;
    }
}

// The MOVE clauses that put the restored database's files where the server puts a new database's,
// as SQL Server Management Studio restores: "<database>.mdf" in the default data folder,
// "<database>_log.ldf" in the default log folder, further files "<database>_<n><suffix>" beside
// the data file, each name one no other database's file has. The folders recorded in a backup are
// those of the server it was made on, which this server may not have. Where the server names no
// default folder, a file stays in the folder the backup recorded.
QString moveClauses(data::Query &files, const ServerFolders &server, const QString &database)
{
    QStringList moves;
    QStringList chosen;
    int further = 0;
    bool dataFile = false;
    for (files.first(); !files.isEof(); files.next()) {
        const QString logical = files.fieldAsText(QStringLiteral("LogicalName"));
        const QString physical = files.fieldAsText(QStringLiteral("PhysicalName"));
        const QString type = files.fieldAsText(QStringLiteral("Type")).trimmed().toUpper();
        const QString recordedFolder = folderPart(physical);
        if (logical.isEmpty() || recordedFolder.isEmpty())
            continue;
        const QString name = physical.mid(recordedFolder.size());
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString suffix = dot < 0 ? QString() : name.mid(dot);
        const bool log = type == u"L";
        QString folder = log ? server.log : server.data;
        if (folder.isEmpty())
            folder = recordedFolder;
        QString stem = database;
        QString ending = QStringLiteral(".mdf");
        if (log) {
            stem = database + QStringLiteral("_log");
            ending = QStringLiteral(".ldf");
        } else if (dataFile) {
            stem = database + u'_' + QString::number(++further);
            ending = suffix;
        }
        dataFile = dataFile || !log;
        ServerFolders taken = server;
        taken.taken += chosen;
        const QString target = folder + freeFileName(taken, folder, stem, ending);
        chosen << target;
        moves << QStringLiteral("move ") + pathLiteral(logical) + QStringLiteral(" to ")
                + pathLiteral(target);
    }
    return moves.isEmpty() ? QString() : QStringLiteral(" with ") + moves.join(QStringLiteral(", "));
}

// The full path of the database's latest backup, as the server recorded it in msdb; empty when it
// records none the login may read.
QString latestBackupPath(data::Query &q, const QString &database)
{
    try {
        data::reopen(q,
            QStringLiteral("select top 1 f.physical_device_name from msdb.dbo.backupset s "
                           "join msdb.dbo.backupmediafamily f on f.media_set_id = s.media_set_id "
                           "where s.database_name = ")
                + data::nationalLiteral(database)
                + QStringLiteral(
                    " and s.type = 'D' order by s.backup_finish_date desc, s.backup_set_id desc"));
    } catch (const data::DataError &) {
        return {}; // msdb may be closed to the login; the backup is made all the same
    }
    const QString path = q.isEof() ? QString() : q.fieldAsText(QStringLiteral("physical_device_name"));
    q.close();
    return path;
}

} // namespace

QString backupFileName(const QString &number, const QDateTime &when)
{
    return number + u'_' + when.toString(QStringLiteral("yyyyMMdd_HHmmss")) + QStringLiteral(".bak");
}

QString backupLocation(const QString &server, const QString &file)
{
    if (embedded::isEmbeddedServerName(server) && QDir::isRelativePath(file))
        return QDir::cleanPath(install::directory() + QStringLiteral("data/backup/") + file);
    return file;
}

std::optional<QString> unusableBackupFile(const QString &file)
{
    if (trimmed(file).isEmpty())
        return QStringLiteral("备份文件名称不能为空！");
    for (const QChar c : file) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return QStringLiteral("备份文件名称不能包含控制字符。");
    }
    return std::nullopt;
}

BackupResult backupAccountSet(
    AccountSetObjects &o, const ServerLogin &login, const QString &number, const QString &file)
{
    BackupResult result;
    result.run(BackupStep::Backup, [&] { result.location = backupDatabase(o, login, number, file); });
    return result;
}

QString backupDatabase(
    AccountSetObjects &o, const ServerLogin &login, const QString &number, const QString &file)
{
    if (const auto problem = unusableDatabaseName(number))
        throw data::DataError(*problem);
    if (const auto problem = unusableBackupFile(file))
        throw data::DataError(*problem);
    useServer(o, login);
    data::reexecute(o.ADOTy1,
        QStringLiteral("backup database ") + sqlName(number) + QStringLiteral(" to disk=") + pathLiteral(file)
            + QStringLiteral(" with init"));
    data::reexecute(o.ADOTy1, QStringLiteral("restore verifyonly from disk=") + pathLiteral(file));
    const QString recorded = latestBackupPath(o.ADOTy1, number);
    return recorded.isEmpty() ? backupLocation(login.server, file) : recorded;
}

QString backupFileText(const QString &server, const QString &location)
{
    return (embedded::isEmbeddedServerName(server) ? QStringLiteral("备份文件（在本机上）：")
                                                   : QStringLiteral("备份文件（在服务器上）："))
        + location;
}

void verifyBackupFile(AccountSetObjects &o, const ServerLogin &login, const QString &file)
{
    if (const auto problem = unusableBackupFile(file))
        throw data::DataError(*problem);
    useServer(o, login);
    data::reexecute(o.ADOTy1, QStringLiteral("restore verifyonly from disk=") + pathLiteral(file));
}

QString backupBeforeDeletion(
    AccountSetObjects &o, const ServerLogin &login, const DirectoryRow &row, const QDateTime &when)
{
    return backupDatabase(o, login, row.number, backupFileName(row.number, when));
}

std::optional<InputProblem> checkRestoreInput(const RestoreRequest &request, const QString &passwordAgain)
{
    if (auto problem = checkCreationInput(request.fields, passwordAgain))
        return problem;
    if (const auto problem = unusableDatabaseName(trimmed(request.fields.database)))
        return InputProblem { *problem, InputProblem::Focus::Database };
    if (const auto problem = unusableBackupFile(request.backupFile))
        return InputProblem { *problem, InputProblem::Focus::Unchanged };
    return std::nullopt;
}

void restoreBackupAsDatabase(AccountSetObjects &o, const RestoreRequest &request, ServerLogin &login)
{
    AccountSetFields fields = request.fields;
    fields.database = trimmed(request.fields.database);
    if (const auto problem = unusableDatabaseName(fields.database))
        throw data::DataError(*problem);
    if (const auto problem = unusableBackupFile(request.backupFile))
        throw data::DataError(*problem);
    login = store::readServerLogin(o.ADOTy, fields.server);
    useServer(o, login);
    const QString disk = QStringLiteral(" from disk=") + pathLiteral(request.backupFile);
    const ServerFolders folders = serverFolders(o.ADOTy1);
    data::reopen(o.ADOTy1, QStringLiteral("restore filelistonly") + disk);
    const QString moves = moveClauses(o.ADOTy1, folders, fields.database);
    o.ADOTy1.close();
    data::reexecute(o.ADOTy1, QStringLiteral("restore database ") + sqlName(fields.database) + disk + moves);
}

RestoreResult restoreAccountSet(
    AccountSetObjects &o, const RestoreRequest &request, ServerLogin &login, const CreationContext &context)
{
    RestoreResult result;
    if (!result.run(RestoreStep::Restore, [&] { restoreBackupAsDatabase(o, request, login); }))
        return result;
    result.databaseMade = true;
    AccountSetFields fields = request.fields;
    fields.database = trimmed(request.fields.database);
    if (!result.run(RestoreStep::PerSetFile, [&] { ensurePerSetFile(fields.database, context.progress); }))
        return result;
    registerAsLastStep(result, RestoreStep::Registration, o, fields, request.mode, login, context);
    return result;
}

} // namespace zt::accountset
