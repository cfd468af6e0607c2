// The files an instance's databases are said to lie in, where a restore puts them, and the
// history of backups msdb shows.

#include "instance.h"

#include "servererror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

const QString Master = QStringLiteral("master");

// What Windows says of a folder that is not there, as SQL Server passes it on.
const QString PathNotFound = QStringLiteral("3(The system cannot find the path specified.)");

const QString HistoryTable = QStringLiteral("zt_backup_history");

} // namespace

QString Instance::defaultDataPath() const
{
    return m_folder + u'/';
}

QString Instance::defaultLogPath() const
{
    return m_folder + u'/';
}

QList<DatabaseFile> Instance::databaseFiles(const QString &storedName) const
{
    if (storedName.compare(Master, Qt::CaseInsensitive) == 0)
        return { { Master, defaultDataPath() + QStringLiteral("master.mdf"), false },
            { QStringLiteral("mastlog"), defaultLogPath() + QStringLiteral("mastlog.ldf"), true } };
    try {
        SqliteFile file(databasePath(storedName), false);
        if (QList<DatabaseFile> files = recordedFiles(file.handle()); !files.isEmpty())
            return files;
    } catch (const SqliteFile::Failure &) {
        // a file that cannot be read now keeps the names it would have been created with
    }
    return defaultFiles(storedName, defaultDataPath(), defaultLogPath());
}

QList<DatabaseFile> Instance::filesOfBackup(const QString &path) const
{
    sqlite3 *db = nullptr;
    QList<DatabaseFile> files;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        files = recordedFiles(db);
    sqlite3_close_v2(db);
    if (files.isEmpty())
        files = defaultFiles(QFileInfo(path).completeBaseName(), defaultDataPath(), defaultLogPath());
    return files;
}

QList<DatabaseFile> Instance::placeRestoredFiles(const QString &name, const QString &existing,
    const QList<DatabaseFile> &files, const QList<std::pair<QString, QString>> &moves) const
{
    QList<DatabaseFile> placed = files;
    for (const auto &[logical, physical] : moves) {
        const auto file = std::find_if(placed.begin(), placed.end(),
            [&](const DatabaseFile &f) { return f.logical.compare(logical, Qt::CaseInsensitive) == 0; });
        if (file == placed.end())
            throw restoreError(Msg::LogicalFileMissing, { logical, name });
        file->physical = physical;
    }

    // The other databases' files, as sys.master_files lists them.
    QList<std::pair<QString, QString>> taken; // comparable path, database
    const QStringList stored = QDir(m_folder).entryList({ QStringLiteral("*.db") }, QDir::Files);
    for (const QString &entry : stored) {
        const QString database = entry.chopped(3);
        if (database.compare(existing, Qt::CaseInsensitive) == 0)
            continue; // a database restored over may have its own files overwritten
        for (const DatabaseFile &file : databaseFiles(database))
            taken.append({ comparablePath(file.physical), database });
    }

    QList<std::pair<Msg, QStringList>> problems;
    const QString own = comparablePath(m_folder) + u'/';
    for (const DatabaseFile &file : std::as_const(placed)) {
        const QString path = comparablePath(file.physical);
        const auto owner = std::find_if(taken.begin(), taken.end(),
            [&](const auto &t) { return t.first.compare(path, Qt::CaseInsensitive) == 0; });
        if (folderOf(path) != own || path.size() <= own.size())
            problems.append({ Msg::DirectoryLookup, { file.physical, PathNotFound } });
        else if (owner != taken.end())
            problems.append({ Msg::FileInUse, { file.physical, owner->second } });
        else
            continue;
        problems.append({ Msg::RestoreToLocation, { file.logical, file.physical } });
    }
    if (!problems.isEmpty())
        throw restorePlanError(problems);
    return placed;
}

void Instance::recordBackup(
    const QString &database, const QString &path, qint64 position, const QDateTime &started) const
{
    auto master = openMaster();
    try {
        master->exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (backup_set_id INTEGER PRIMARY KEY, "
                                    "database_name TEXT, physical_device_name TEXT, position INTEGER, "
                                    "backup_start_date TEXT, backup_finish_date TEXT, backup_size INTEGER)")
                         .arg(HistoryTable));
        master->value(
            QStringLiteral("INSERT INTO %1 (database_name, physical_device_name, position, "
                           "backup_start_date, backup_finish_date, backup_size) VALUES (?, ?, ?, ?, ?, ?)")
                .arg(HistoryTable),
            { database, path, position, started, QDateTime::currentDateTime(), QFileInfo(path).size() });
    } catch (const SqliteFile::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
}

QList<QVariantList> Instance::backupHistory() const
{
    QList<QVariantList> rows;
    auto master = openMaster();
    try {
        if (master
                ->value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = ?"), { HistoryTable })
                .toLongLong()
            == 0)
            return rows;
        sqlite3_stmt *raw = nullptr;
        const QByteArray sql = QStringLiteral("SELECT backup_set_id, database_name, physical_device_name, "
                                              "position, backup_start_date, backup_finish_date, backup_size "
                                              "FROM %1 ORDER BY backup_set_id")
                                   .arg(HistoryTable)
                                   .toUtf8();
        if (sqlite3_prepare_v2(master->handle(), sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
            throw SqliteFile::Failure { master->lastError() };
        const SqliteStatement statement(raw);
        while (sqlite3_step(raw) == SQLITE_ROW) {
            QVariantList row;
            for (int i = 0; i < sqlite3_column_count(raw); ++i) {
                if (sqlite3_column_type(raw, i) == SQLITE_INTEGER)
                    row.append(QVariant::fromValue<qlonglong>(sqlite3_column_int64(raw, i)));
                else
                    row.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, i)),
                        sqlite3_column_bytes(raw, i)));
            }
            rows.append(row);
        }
    } catch (const SqliteFile::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
    return rows;
}

} // namespace zt::embedded
