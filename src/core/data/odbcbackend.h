#pragma once

#include "backend.h"
#include "connectionstring.h"

#include <memory>

namespace zt::data::odbc {

// Where a SQL Server name leads: "host" (port 1433), "host,port", or "host\INSTANCE" (port found
// by asking the host's SQL Server Browser).
struct ServerAddress
{
    QString host;
    int port = 1433;
    QString instance; // empty for the default instance or an explicit port
};

ServerAddress parseServerName(const QString &serverName);
// The address of a server name; throws DataError for a port that is not one.
ServerAddress checkedAddress(const QString &serverName);
// A named instance's port, asked of the host's SQL Server Browser (one request, one second);
// throws DataError when it does not answer. Nothing for an address without an instance.
void resolveInstance(ServerAddress &address);

// The ODBC connection text openSqlServer hands to FreeTDS: the driver, the server's freetds.conf
// section (its address, TDS version, encryption and certificate check), the TDS version and the
// encryption again, UTF-8, the program's name (APP=, QCoreApplication::applicationName(), left
// out when empty), the catalog (none: the login's default database), the login, and a ';' at the
// end. A login value holding ';' or starting with '{' or a blank is braced as it is (FreeTDS
// knows no doubled '}'). Throws DataError for a text QODBC would misread (".dsn").
QString sqlServerConnectionText(
    const QString &section, const QString &encryption, const Credentials &login, const QString &catalog);

// A value as it may stand in an ODBC connection string: brace-quoted when it holds ';', '{' or
// '}' (a '}' inside doubled), unchanged otherwise.
QString quoteOdbcValue(const QString &value);

std::unique_ptr<Backend> openDataSource(
    const QString &dsn, const QString &user, const QString &password, const QString &file);
std::unique_ptr<Backend> openSqlServer(
    const QString &serverName, const Credentials &login, const QString &catalog);
// Looks at the road to a server without logging in (encryption, certificate) and throws
// DataError with the refusal when the guard would refuse a connection; a server that cannot be
// reached passes, its connection will say so.
void checkRoad(const QString &serverName);

} // namespace zt::data::odbc
