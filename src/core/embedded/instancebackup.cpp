// Backup and restore of an instance's databases.

#include "instance.h"

#include "backupcheck.h"
#include "install/sharedfiles.h"
#include "servererror.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <sqlite3.h>

namespace zt::embedded {

namespace {

const QString Master = QStringLiteral("master");

// SQLite's application id marks what a file is to the server: a database of an instance, or a
// backup written by BACKUP DATABASE. Only the latter is restored; any other file, SQLite or
// not, is a media family the server cannot process.
constexpr int DatabaseMark = 2054452068; // as createDatabase writes it
constexpr int BackupMark = 2054447723; // "ztbk"

// A backup file holds its first backup set as the file itself, which RESTORE, FILELISTONLY and
// VERIFYONLY read; every set appended after it (BACKUP without INIT onto the file) is kept whole
// in this table of the file, numbered from 2 on, as SQL Server numbers the sets of a media set.
const char *const AppendedSets = "zt_backup_sets";

// True for a backup this server wrote: a SQLite file whose header carries the backup mark. The
// header is read directly, so that a backup damaged further in is still recognised as one and
// refused by the integrity check with the error that names the damage.
bool isServerBackup(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArray("SQLite format 3", 16)))
        return false;
    const auto byte = [&](int i) { return quint32(quint8(header[i])); };
    const quint32 id = byte(68) << 24 | byte(69) << 16 | byte(70) << 8 | byte(71); // big-endian
    return id == quint32(BackupMark);
}

// Gives a restored copy the mark of a database again, and the files it was restored to.
bool markAsDatabase(const QString &path, const QList<DatabaseFile> &files)
{
    sqlite3 *db = nullptr;
    // The sets appended after the first one are not part of the database restored.
    const QByteArray pragma = "PRAGMA application_id = " + QByteArray::number(DatabaseMark)
        + "; DROP TABLE IF EXISTS " + AppendedSets;
    const bool done
        = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
            == SQLITE_OK
        && sqlite3_exec(db, pragma.constData(), nullptr, nullptr, nullptr) == SQLITE_OK
        && recordFiles(db, files);
    sqlite3_close_v2(db);
    return done;
}

// The position of the last backup set a backup file holds (1 for a file of one set).
qint64 lastSetPosition(const QString &path)
{
    sqlite3 *db = nullptr;
    qint64 position = 1;
    sqlite3_stmt *raw = nullptr;
    const QByteArray sql = QByteArray("SELECT max(position) FROM ") + AppendedSets;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, sql.constData(), -1, &raw, nullptr) == SQLITE_OK
        && sqlite3_step(raw) == SQLITE_ROW && sqlite3_column_type(raw, 0) == SQLITE_INTEGER)
        position = sqlite3_column_int64(raw, 0);
    sqlite3_finalize(raw);
    sqlite3_close_v2(db);
    return position;
}

// A name beside target no other writer uses: the process id and a random number.
QString partialName(const QString &target, const char *what)
{
    return target
        + QStringLiteral(".%1-%2-%3")
              .arg(QLatin1StringView(what))
              .arg(QCoreApplication::applicationPid())
              .arg(QRandomGenerator::global()->generate());
}

// Copies the database open in source into a new file at path, as one consistent read of it,
// records the database's files in it, and leaves the copy as a single file (rollback journal, no
// write-ahead log beside it). A file
// in write-ahead mode cannot even be read from a folder the reader may not write, and the
// shipped sample backup lies in one (/opt/ztwizard/data is read-only to users).
QString copyDatabase(sqlite3 *source, const QString &path, const QList<DatabaseFile> &files)
{
    sqlite3 *dest = nullptr;
    int rc = sqlite3_open_v2(
        QFile::encodeName(path).constData(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString error;
    if (rc == SQLITE_OK) {
        if (sqlite3_backup *backup = sqlite3_backup_init(dest, "main", source, "main")) {
            rc = sqlite3_backup_step(backup, -1);
            const int finish = sqlite3_backup_finish(backup);
            if (rc == SQLITE_DONE)
                rc = finish;
        } else {
            rc = sqlite3_errcode(dest);
        }
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(dest, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
        const QByteArray mark = "PRAGMA application_id = " + QByteArray::number(BackupMark);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(dest, mark.constData(), nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK && !recordFiles(dest, files))
            rc = sqlite3_errcode(dest);
    }
    if (rc != SQLITE_OK)
        error = dest ? QString::fromUtf8(sqlite3_errmsg(dest)) : QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_close_v2(dest);
    if (rc != SQLITE_OK && error.isEmpty())
        error = QString::fromUtf8(sqlite3_errstr(rc));
    return error;
}

// Writes into combined the backup file existing with the backup written at set appended after
// its sets. Returns SQLite's message on failure.
QString appendBackupSet(const QString &existing, const QString &set, const QString &combined)
{
    QFile image(set);
    if (!image.open(QIODevice::ReadOnly))
        return image.errorString();
    const QByteArray bytes = image.readAll();
    if (!QFile::copy(existing, combined))
        return QStringLiteral("unable to open %1").arg(combined);
    try {
        SqliteFile file(combined, false);
        const QString table = QLatin1StringView(AppendedSets);
        file.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (position INTEGER PRIMARY KEY, image BLOB)")
                      .arg(table));
        file.value(QStringLiteral("INSERT INTO %1 (position, image) "
                                  "VALUES (coalesce((SELECT max(position) FROM %1), 1) + 1, ?)")
                       .arg(table),
            { bytes });
        file.exec(QStringLiteral("PRAGMA journal_mode = DELETE")); // a single file again, as written
    } catch (const SqliteFile::Failure &failure) {
        return failure.message;
    }
    return QString();
}

} // namespace

QString Instance::backupFilePath(const QString &path) const
{
    // The server runs here, so a path written with Windows separators is read with ours.
    QString resolved = path;
    if (!QFileInfo::exists(resolved) && resolved.contains(u'\\'))
        resolved = QDir::fromNativeSeparators(QString(resolved).replace(u'\\', u'/'));
    if (QDir::isRelativePath(resolved))
        resolved = backupFolder() + u'/' + resolved;
    return QDir::cleanPath(resolved);
}

data::ResultSet Instance::backupFiles(const QString &backupPath) const
{
    const QString path = backupFilePath(backupPath);
    const QString shown = QDir::isRelativePath(backupPath) ? path : backupPath;
    const QFileInfo info(path);
    if (!info.exists())
        throw fileListError(Msg::BackupDeviceMissing, { shown });
    if (!info.isFile() || !info.isReadable())
        throw fileListError(Msg::BackupDeviceDenied, { shown });
    if (!isServerBackup(path))
        throw fileListError(Msg::MediaIncorrectlyFormed, { shown });
    data::ResultSet files;
    files.columns = { { QStringLiteral("LogicalName"), QStringLiteral("nvarchar") },
        { QStringLiteral("PhysicalName"), QStringLiteral("nvarchar") },
        { QStringLiteral("Type"), QStringLiteral("char") },
        { QStringLiteral("FileGroupName"), QStringLiteral("nvarchar") },
        { QStringLiteral("Size"), QStringLiteral("bigint") },
        { QStringLiteral("FileId"), QStringLiteral("bigint") } };
    qlonglong id = 0;
    for (const DatabaseFile &file : filesOfBackup(path)) {
        files.rows.append({ file.logical, file.physical, file.log ? QStringLiteral("L") : QStringLiteral("D"),
            file.log ? QVariant() : QVariant(QStringLiteral("PRIMARY")),
            QVariant::fromValue<qlonglong>(file.log ? 0 : info.size()), ++id });
    }
    return files;
}

void Instance::restoreDatabase(const Principal &by, const QString &name, const QString &backupPath,
    bool replace, const QList<std::pair<QString, QString>> &moves) const
{
    if (!canCreateDatabases(by))
        throw restoreError(Msg::RestorePermission, { name });
    const QString path = backupFilePath(backupPath);
    const QString shown = QDir::isRelativePath(backupPath) ? path : backupPath;
    const QFileInfo info(path);
    if (!info.exists())
        throw restoreError(Msg::BackupDeviceMissing, { shown });
    if (!info.isFile() || !info.isReadable())
        throw restoreError(Msg::BackupDeviceDenied, { shown });
    if (!isServerBackup(path))
        throw restoreError(Msg::MediaIncorrectlyFormed, { shown });

    const QList<DatabaseFile> backedUp = filesOfBackup(path);
    QList<DatabaseFile> placed;
    // The checks made under the instance lock; the exclusive lock of an existing database is
    // returned (null for a new one).
    auto check = [&](QString &existing) -> std::unique_ptr<FileLock> {
        existing = findDatabase(name);
        std::unique_ptr<FileLock> exclusive;
        if (!existing.isEmpty()) {
            exclusive = lockDatabase(existing, FileLock::Mode::Exclusive);
            if (!exclusive)
                throw restoreError(Msg::RestoreInUse);
            if (!replace || existing.compare(Master, Qt::CaseInsensitive) == 0)
                throw restoreError(Msg::RestoreOtherDatabase, { existing });
        }
        if (!isFileName(name))
            throw restoreError(Msg::FileActivation, { databasePath(name) });
        placed = placeRestoredFiles(name, existing, backedUp, moves);
        return exclusive;
    };
    QString existing;
    {
        const auto lock = lockInstance();
        check(existing);
    }

    // Copied beside the target without holding the instance, so a failed copy leaves no half
    // database behind and other processes are not kept waiting.
    const QString target = databasePath(existing.isEmpty() ? name : existing);
    const QString partial = partialName(target, "restoring");
    if (!QFile::copy(path, partial)) {
        QFile::remove(partial);
        throw restoreError(Msg::FileActivation, { target });
    }
    // The backup may be a read-only installation file; the database must be writable, by the
    // group as well where the wizard shares its files with one.
    QFile::setPermissions(
        partial, install::newFilePermissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!markAsDatabase(partial, placed)) {
        removeDatabaseFiles(partial);
        throw restoreError(Msg::FileActivation, { target });
    }

    // The copy is read through before it takes the database's place: a damaged backup is
    // refused with nothing left behind, instead of failing later reads of the account set.
    if (const auto depth = restoreCheckDepth()) {
        if (const auto page = damagedPage(partial, *depth)) {
            QFile::remove(partial);
            QFile::remove(partial + QStringLiteral("-journal"));
            throw restoreError(Msg::BackupSetDamaged, { QStringLiteral("1"), QString::number(*page), name });
        }
    }

    const auto lock = lockInstance();
    std::unique_ptr<FileLock> exclusive;
    try {
        exclusive = check(existing); // another process may have come in meanwhile
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
    const QString finalTarget = databasePath(existing.isEmpty() ? name : existing);
    removeDatabaseFiles(finalTarget);
    if (!QFile::rename(partial, finalTarget)) {
        QFile::remove(partial);
        throw restoreError(Msg::FileActivation, { finalTarget });
    }
}

void Instance::verifyBackup(const Principal &by, const QString &backupPath) const
{
    if (!canCreateDatabases(by))
        throw verifyError(Msg::NoPermission);
    const QString path = backupFilePath(backupPath);
    const QString shown = QDir::isRelativePath(backupPath) ? path : backupPath;
    const QFileInfo info(path);
    if (!info.exists())
        throw verifyError(Msg::BackupDeviceMissing, { shown });
    if (!info.isFile() || !info.isReadable())
        throw verifyError(Msg::BackupDeviceDenied, { shown });
    if (!isServerBackup(path))
        throw verifyError(Msg::MediaIncorrectlyFormed, { shown });
    if (const auto page = damagedPage(path, restoreCheckDepth().value_or(CheckDepth::Quick)))
        throw verifyError(
            Msg::BackupSetDamaged, { QStringLiteral("1"), QString::number(*page), info.completeBaseName() });
}

void Instance::backupDatabase(
    const Principal &by, const QString &name, const QString &backupPath, bool overwrite) const
{
    if (!canCreateDatabases(by))
        throw backupError(Msg::PermissionDenied, { QStringLiteral("BACKUP DATABASE"), name });
    const QString path = backupFilePath(backupPath);
    const QString shown = QDir::isRelativePath(backupPath) ? path : backupPath;

    // The database is held in use while it is copied, so no drop or restore comes between.
    QString stored;
    std::unique_ptr<FileLock> use;
    {
        const auto lock = lockInstance();
        stored = findDatabase(name);
        if (stored.isEmpty())
            throw backupError(Msg::DatabaseMissing, { name });
        use = lockDatabase(stored, FileLock::Mode::Shared);
    }

    if (QDir::isRelativePath(backupPath))
        QDir().mkpath(backupFolder());
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        throw backupError(Msg::BackupPathMissing, { shown });
    if (info.isDir())
        throw backupError(Msg::BackupDeviceDenied, { shown });
    // Without INIT a backup goes after the sets the file holds already; a file that is not a
    // backup of this server cannot take one.
    const bool append = info.exists() && !overwrite;
    if (append && !isServerBackup(path))
        throw backupError(Msg::MediaIncorrectlyFormed, { shown });

    const QDateTime started = QDateTime::currentDateTime();
    const QString partial = partialName(path, "partial");
    QString error;
    try {
        install::createSharedFile(partial); // writable by the group too, like the wizard's other files
        const QList<DatabaseFile> files = databaseFiles(stored);
        SqliteFile source(databasePath(stored), false);
        error = copyDatabase(source.handle(), partial, files);
    } catch (const SqliteFile::Failure &failure) {
        error = failure.message;
    }
    if (error.isEmpty() && append) {
        const QString combined = partialName(path, "appending");
        error = appendBackupSet(path, partial, combined);
        QFile::remove(partial);
        QFile::remove(partial + QStringLiteral("-journal"));
        if (!QFile::rename(combined, partial)) {
            QFile::remove(combined);
            if (error.isEmpty())
                error = QStringLiteral("rename failed");
        }
        QFile::remove(combined + QStringLiteral("-journal"));
    }
    if (error.isEmpty()
        && std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData()) != 0)
        error = QStringLiteral("rename failed");
    if (!error.isEmpty()) {
        QFile::remove(partial);
        QFile::remove(partial + QStringLiteral("-journal"));
        if (!QFileInfo(info.absolutePath()).isWritable()
            || error.contains(QLatin1StringView("unable to open")))
            throw backupError(Msg::BackupDeviceDenied, { shown });
        throw backupError(Msg::Other, { error });
    }
    try {
        recordBackup(stored, path, append ? lastSetPosition(path) : 1, started);
    } catch (const data::DataError &) {
        // The backup is made; only its line in msdb's history is missing.
    }
}

} // namespace zt::embedded
