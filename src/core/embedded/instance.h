#pragma once

#include "data/connectionstring.h"
#include "sqlitefile.h"

#include <QString>

#include <memory>

namespace zt::embedded {

// Who a session runs as.
struct Principal
{
    QString name;
    bool integrated = false; // the operating-system user: always sysadmin
};

// Marks a database as used by an open session of this process while it lives; drop and restore
// refuse a database that is in use.
class DatabaseUse final
{
public:
    explicit DatabaseUse(QString key);
    ~DatabaseUse();
    DatabaseUse(const DatabaseUse &) = delete;
    DatabaseUse &operator=(const DatabaseUse &) = delete;

private:
    QString m_key;
};

// A session's database: the open file and its mark of use (the file closes first).
struct OpenDatabase
{
    QString name; // as stored
    std::unique_ptr<DatabaseUse> use;
    std::unique_ptr<SqliteFile> file;
};

// One instance of the embedded server: a folder holding one SQLite file per database, master.db
// among them with the logins. All checks against the files of an instance and the sessions of
// this process happen under one process-wide lock.
class Instance final
{
public:
    // Opens the instance, creating its folder and master (with login sa, empty password) when
    // it is new. Throws DataError for a name that cannot be a folder.
    Instance(const QString &root, const QString &name);

    const QString &folder() const { return m_folder; }

    // Checks a login; error 18456 when it is refused.
    Principal authenticate(const data::Login &login) const;
    bool isSysadmin(const Principal &principal) const;
    bool canCreateDatabases(const Principal &principal) const;

    // Opens a database for a session; error 4060 when it does not exist.
    OpenDatabase open(const QString &database) const;

    // The stored spelling of an existing database (names compare case-insensitively), or empty.
    QString findDatabase(const QString &name) const;

    void createDatabase(const Principal &by, const QString &name) const;
    void dropDatabase(const Principal &by, const QString &name) const;
    void restoreDatabase(
        const Principal &by, const QString &name, const QString &backupPath, bool replace) const;

    void createLogin(const Principal &by, const QString &name, const QString &password) const;
    void dropLogin(const Principal &by, const QString &name) const;
    void alterServerRole(const Principal &by, const QString &role, const QString &member, bool add) const;

private:
    QString databasePath(const QString &storedName) const;
    QString useKey(const QString &storedName) const;
    std::unique_ptr<SqliteFile> openMaster() const;
    void requireSysadmin(const Principal &by) const;

    QString m_folder;
};

} // namespace zt::embedded
