#pragma once

#include "instance.h"

#include <QCoreApplication>

struct sqlite3;

namespace zt::embedded {

// What a session's server functions answer from: its instance, login and database. The session
// owns it; it outlives the SQLite handle the functions are registered on.
struct ServerFunctionContext
{
    const Instance *instance = nullptr;
    const Principal *principal = nullptr;
    QString database;
    int spid = 0; // @@SPID
    int tranCount = 0; // @@TRANCOUNT
    qint64 rowCount = 0; // @@ROWCOUNT
    int error = 0; // @@ERROR: the number of the last statement's error, 0 after one that succeeded
    // APP_NAME(): the program that logged in; this process's own name in process, the LOGIN7's
    // application name behind ztwizard-tds.
    QString appName = QCoreApplication::applicationName();
};

// Registers on a session's SQLite handle the few server functions a pre-flight check asks for:
// SERVERPROPERTY('Collation' | 'Edition' | 'ProductVersion' | 'InstanceDefaultDataPath' |
// 'InstanceDefaultLogPath' | 'InstanceDefaultBackupPath'), DATABASEPROPERTYEX(db,
// 'Collation'), IS_SRVROLEMEMBER(role),
// HAS_PERMS_BY_NAME(securable, class, permission) for 'CREATE ANY DATABASE' and
// 'CREATE TABLE', OBJECT_ID(name), and zt_server_variable(name) behind @@VERSION and
// @@SERVERNAME. Anything they do not know answers NULL, as SQL Server does.
void registerServerFunctions(sqlite3 *db, const ServerFunctionContext *context);

// Registers the built-in T-SQL functions SQLite lacks: DB_NAME([id]), DB_ID([name]),
// SUSER_SNAME(), SUSER_NAME(), USER_NAME(), SCHEMA_NAME([id]), APP_NAME(), DATALENGTH(x),
// REPLICATE(s, n) and SPACE(n).
void registerBuiltinFunctions(sqlite3 *db, const ServerFunctionContext *context);

// The version the server gives itself, in SERVERPROPERTY('ProductVersion'), @@VERSION and the
// TDS login acknowledgement (15.0.2000: SQL Server 2019, whose T-SQL it answers).
inline constexpr auto ProductVersion = "15.0.2000.5";

// The text of @@VERSION: SQL Server's form, naming the embedded server.
QString versionText();

} // namespace zt::embedded
