#pragma once

#include "instance.h"

struct sqlite3;

namespace zt::embedded {

// What a session's server functions answer from: its instance, login and database. The session
// owns it; it outlives the SQLite handle the functions are registered on.
struct ServerFunctionContext
{
    const Instance *instance = nullptr;
    const Principal *principal = nullptr;
    QString database;
};

// Registers on a session's SQLite handle the few server functions a pre-flight check asks for:
// SERVERPROPERTY('Collation' | 'Edition' | 'ProductVersion'), DATABASEPROPERTYEX(db,
// 'Collation'), IS_SRVROLEMEMBER(role),
// HAS_PERMS_BY_NAME(securable, class, permission) for 'CREATE ANY DATABASE' and
// 'CREATE TABLE', OBJECT_ID(name), and zt_server_variable(name) behind @@VERSION and
// @@SERVERNAME. Anything they do not know answers NULL, as SQL Server does.
void registerServerFunctions(sqlite3 *db, const ServerFunctionContext *context);

// The text of @@VERSION.
QString versionText();

} // namespace zt::embedded
