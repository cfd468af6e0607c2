#pragma once

#include <QList>
#include <QString>

struct sqlite3;

namespace zt::embedded {

// The files SQL Server keeps a database in, as the embedded server names them: a data file and a
// log file, each with a logical and a physical name (sys.master_files, RESTORE FILELISTONLY,
// WITH MOVE). The database itself stays one SQLite file of the instance; the names are recorded
// in it (zt_properties), so that they travel with its backups.
struct DatabaseFile
{
    QString logical;
    QString physical;
    bool log = false;
};

// The files CREATE DATABASE gives a database: "<name>" in "<dataFolder><name>.mdf" and
// "<name>_log" in "<logFolder><name>_log.ldf". The folders end with a separator.
QList<DatabaseFile> defaultFiles(const QString &name, const QString &dataFolder, const QString &logFolder);

// The files recorded in an open database or backup file; empty when it records none (a file
// made before the names were recorded).
QList<DatabaseFile> recordedFiles(sqlite3 *db);
// Records the files in an open database or backup file, replacing what it recorded. False when
// SQLite refused.
bool recordFiles(sqlite3 *db, const QList<DatabaseFile> &files);
// Removes the record from an open backup file: it then restores as one made before the names
// were recorded, into the restoring server's own folders.
bool forgetFiles(sqlite3 *db);

// A physical name as the server compares it: Windows separators read as ours, "." and ".."
// resolved.
QString comparablePath(const QString &physical);
// The folder of a comparable path, with its trailing separator.
QString folderOf(const QString &path);

} // namespace zt::embedded
