#include "databasefiles.h"

#include "sqlitefile.h"

#include <QDir>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

// The rows of zt_properties that name the files: the data file's, then the log file's.
constexpr const char *Keys[2][2]
    = { { "data_file_name", "data_file_path" }, { "log_file_name", "log_file_path" } };

bool run(sqlite3 *db, const char *sql, const QStringList &texts = {})
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return false;
    const SqliteStatement statement(raw);
    for (int i = 0; i < texts.size(); ++i)
        bindValue(raw, i + 1, texts[i]);
    const int rc = sqlite3_step(raw);
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
}

QString property(sqlite3 *db, const char *name)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT value FROM zt_properties WHERE name = ?", -1, &raw, nullptr)
        != SQLITE_OK)
        return {}; // no table of properties: nothing recorded
    const SqliteStatement statement(raw);
    sqlite3_bind_text(raw, 1, name, -1, SQLITE_STATIC);
    if (sqlite3_step(raw) != SQLITE_ROW)
        return {};
    return QString::fromUtf8(
        reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)), sqlite3_column_bytes(raw, 0));
}

} // namespace

QList<DatabaseFile> defaultFiles(const QString &name, const QString &dataFolder, const QString &logFolder)
{
    return { { name, dataFolder + name + QStringLiteral(".mdf"), false },
        { name + QStringLiteral("_log"), logFolder + name + QStringLiteral("_log.ldf"), true } };
}

QList<DatabaseFile> recordedFiles(sqlite3 *db)
{
    QList<DatabaseFile> files;
    for (const bool log : { false, true }) {
        const QString logical = property(db, Keys[log][0]);
        const QString physical = property(db, Keys[log][1]);
        if (logical.isEmpty() || physical.isEmpty())
            break; // a log without its data file is no record
        files.append({ logical, physical, log });
    }
    return files;
}

bool recordFiles(sqlite3 *db, const QList<DatabaseFile> &files)
{
    if (!forgetFiles(db)
        || !run(db, "CREATE TABLE IF NOT EXISTS zt_properties (name TEXT PRIMARY KEY, value TEXT)"))
        return false;
    for (const DatabaseFile &file : files) {
        for (int part = 0; part < 2; ++part) {
            if (!run(db, "INSERT OR REPLACE INTO zt_properties VALUES (?, ?)",
                    { QString::fromLatin1(Keys[file.log][part]), part == 0 ? file.logical : file.physical }))
                return false;
        }
    }
    return true;
}

bool forgetFiles(sqlite3 *db)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(
            db, "SELECT count(*) FROM sqlite_master WHERE name = 'zt_properties'", -1, &raw, nullptr)
        != SQLITE_OK)
        return false;
    const SqliteStatement statement(raw);
    if (sqlite3_step(raw) != SQLITE_ROW)
        return false;
    if (sqlite3_column_int(raw, 0) == 0)
        return true;
    return run(db,
        "DELETE FROM zt_properties WHERE name IN ('data_file_name', 'data_file_path', 'log_file_name', "
        "'log_file_path')");
}

QString comparablePath(const QString &physical)
{
    return QDir::cleanPath(QString(physical).replace(u'\\', u'/'));
}

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

} // namespace zt::embedded
