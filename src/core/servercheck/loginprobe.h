#pragma once

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/query.h"

#include <QString>

namespace zt::servercheck {

// Page 1's proof of a login and its stored server connection record, shared by the page and the
// command line.

// The probe database: created and at once dropped to prove that a login may connect and create
// databases.
inline constexpr auto ProbeDatabase = "abcde12345";

// The failure message of the proof or the store, before the error's own text.
inline const QString LoginFailed = QStringLiteral("连接服务器失败，请重新选择或录入服务器名称！");

// The probe connection string of a login: the SQL-login or the Windows-login form.
data::ConnectionString probeString(const QString &serverName, const data::Credentials &login);

// Closes the connection, gives it the probe string and attaches the query, then creates and drops
// the probe database. The connection stays open. Throws data::DataError.
void probeLogin(data::Connection &connection, data::Query &query, const data::ConnectionString &probe);

// The clean-up of a failed attempt: drops the probe database with whatever connection the query
// has. Every error is ignored.
void dropProbeDatabase(data::Query &query);

// The whole proof and store behind "下一步&N": unless the rented-database option is set, probes
// the login; then writes the server connection record of the name through the query on the local
// configuration database. Throws on the first failure; the caller cleans up with
// dropProbeDatabase.
void confirmServerLogin(data::Connection &probeConnection, data::Query &probeQuery, data::Query &storeQuery,
    const QString &serverName, const data::Credentials &login, bool rented);

} // namespace zt::servercheck
