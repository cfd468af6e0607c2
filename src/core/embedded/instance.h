#pragma once

#include "data/backend.h"
#include "data/connectionstring.h"
#include "databasefiles.h"
#include "filelock.h"
#include "sqlitefile.h"
#include "text/collation.h"

#include <QDateTime>
#include <QString>

#include <memory>

namespace zt::embedded {

// Who a session runs as.
struct Principal
{
    QString name;
    bool integrated = false; // the operating-system user: always sysadmin
};

// Marks a database as used by an open session while it lives: a shared lock on the database's
// lock file, so that drop and restore, which need it exclusively, refuse a database that any
// session of any process uses.
class DatabaseUse final
{
public:
    explicit DatabaseUse(std::unique_ptr<FileLock> lock);
    ~DatabaseUse();
    DatabaseUse(const DatabaseUse &) = delete;
    DatabaseUse &operator=(const DatabaseUse &) = delete;

private:
    std::unique_ptr<FileLock> m_lock;
};

// A session's database: the open file and its mark of use (the file closes first).
struct OpenDatabase
{
    QString name; // as stored
    std::unique_ptr<DatabaseUse> use;
    std::unique_ptr<SqliteFile> file;
};

// One instance of the embedded server: a folder holding one SQLite file per database, master.db
// among them with the logins. Several processes may serve one instance at once: every look at its
// databases and every change of them happens under the instance's exclusive lock file
// (.locks/instance.lock), and each database has a lock file of its own (.locks/<name>.lock) that
// sessions hold shared and drop and restore take exclusively. Lock files are never removed.
class Instance final
{
public:
    // Opens the instance, creating its folder and master (with login sa, empty password) when
    // it is new. A new instance takes collationIfNew as its default collation (empty: the
    // environment's ZTWIZARD_EMBEDDED_COLLATION, else Chinese_PRC_CI_AS); an existing one keeps
    // its own. Throws DataError for a name that cannot be a folder or an unknown collation.
    Instance(const QString &root, const QString &name, const QString &collationIfNew = {});

    const QString &folder() const { return m_folder; }

    // The server's default collation, recorded in master when the instance was made: that of
    // master and of databases created without COLLATE.
    const text::Collation &collation() const { return m_collation; }
    // The collation of an existing database (Chinese_PRC_CI_AS for a file made before
    // collations were recorded); nullopt when there is no such database.
    std::optional<text::Collation> databaseCollation(const QString &name) const;
    // The collation recorded in a database file; fallback when none is.
    static text::Collation recordedCollation(SqliteFile &file, const text::Collation &fallback);

    // Checks a login; error 18456 when it is refused.
    Principal authenticate(const data::Credentials &login) const;
    bool isSysadmin(const Principal &principal) const;
    bool canCreateDatabases(const Principal &principal) const;

    // Opens a database for a session; error 4060 when it does not exist.
    OpenDatabase open(const QString &database) const;

    // The stored spelling of an existing database (names compare case-insensitively), or empty.
    QString findDatabase(const QString &name) const;

    // collation empty: the server's.
    void createDatabase(const Principal &by, const QString &name, const QString &collation = {}) const;
    void dropDatabase(const Principal &by, const QString &name) const;
    // RESTORE DATABASE: the backup's files go where it recorded them, or where moves (logical
    // name, physical name) put them; either must be the instance's folder and no other database's
    // file (5133 or 1834 with 3156, 3119 and 3013; 3234 for a logical name the backup lacks).
    void restoreDatabase(const Principal &by, const QString &name, const QString &backupPath, bool replace,
        const QList<std::pair<QString, QString>> &moves = {}) const;
    // Reads a backup through as a restore would, without restoring it (RESTORE VERIFYONLY):
    // 3201, 3241 or 3183, each followed by 3013.
    void verifyBackup(const Principal &by, const QString &backupPath) const;
    // The files a backup would restore, as RESTORE FILELISTONLY lists them: its data and log file.
    data::ResultSet backupFiles(const QString &backupPath) const;
    // Writes a consistent copy of a database (while other sessions use it) to backupPath; an
    // existing file is replaced when overwrite is set, else the copy is appended to the backup
    // sets it holds (restores read the first). Errors 262, 911, 3201, 3241, each followed by 3013.
    void backupDatabase(
        const Principal &by, const QString &name, const QString &backupPath, bool overwrite) const;

    // The folder a relative backup file name refers to: "backup" beside the instances' root
    // (data/backup of the installation directory).
    QString backupFolder() const;

    // Where the server puts new databases' files (SERVERPROPERTY('InstanceDefaultDataPath') and
    // 'InstanceDefaultLogPath'): the instance's folder, with a trailing separator. Only files
    // named in it can be restored.
    QString defaultDataPath() const;
    QString defaultLogPath() const;
    // The files of an existing database: those recorded in it, else CREATE DATABASE's names in
    // the default folders.
    QList<DatabaseFile> databaseFiles(const QString &storedName) const;
    // The rows of msdb.dbo.backupset and msdb.dbo.backupmediafamily (backup_set_id = media_set_id,
    // database_name, physical_device_name, position, start and finish dates, size), oldest first.
    QList<QVariantList> backupHistory() const;

    void createLogin(const Principal &by, const QString &name, const QString &password) const;
    void dropLogin(const Principal &by, const QString &name) const;
    void alterServerRole(const Principal &by, const QString &role, const QString &member, bool add) const;

    // A database or instance name that can be one file name in the instance folder.
    static bool isFileName(const QString &name);

private:
    QString databasePath(const QString &storedName) const;
    QString lockPath(const QString &storedName) const;
    // The instance's exclusive lock, waited for.
    std::unique_ptr<FileLock> lockInstance() const;
    // The database's lock: shared (waited for) or exclusive (null when the database is in use).
    std::unique_ptr<FileLock> lockDatabase(const QString &storedName, FileLock::Mode mode) const;
    // A backup path as the server reads it: Windows separators read as ours, a relative path
    // taken in the backup folder.
    QString backupFilePath(const QString &path) const;
    static void removeDatabaseFiles(const QString &path);
    // The files a backup file records, else those of a database named after the file in the
    // default folders (a backup made before the names were recorded, or the shipped sample).
    QList<DatabaseFile> filesOfBackup(const QString &path) const;
    // Where a restore of name from a backup with those files puts them: the problems found, as
    // SQL Server reports them, throw; the exclusive database (existing, empty for a new one)
    // may have its own files overwritten. Called under the instance lock.
    QList<DatabaseFile> placeRestoredFiles(const QString &name, const QString &existing,
        const QList<DatabaseFile> &files, const QList<std::pair<QString, QString>> &moves) const;
    // Adds a finished backup to the history msdb shows.
    void recordBackup(
        const QString &database, const QString &path, qint64 position, const QDateTime &started) const;
    std::unique_ptr<SqliteFile> openMaster() const;
    void requireSysadmin(const Principal &by) const;

    QString m_folder;
    QString m_root;
    text::Collation m_collation;
};

} // namespace zt::embedded
