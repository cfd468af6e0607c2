#pragma once

#include "backend.h"
#include "connectionstring.h"

#include <QString>

#include <functional>
#include <memory>

namespace zt::data {

// Opens a session for a connection string: the local configuration files through the ODBC
// data source, a server name claimed by a registered server back end through that back end,
// and every other server name through FreeTDS. Throws DataError with the driver's or server's
// text.
std::unique_ptr<Backend> openBackend(const ConnectionString &connectionString);

// Checks the road to a server reached through FreeTDS without logging in: a server that offers
// no encryption or shows a certificate not trusted for it throws DataError (the guard's refusal).
// Server names a registered back end claims need no road.
void checkServerRoad(const QString &serverName);

// A back end for the server names it claims (the embedded server claims "(embedded)" and
// "(embedded)\NAME"). The data layer knows no such back end itself: each program registers its
// own at start-up, before any connection opens.
struct ServerBackend
{
    QString name; // registering a back end of the same name again replaces it
    std::function<bool(const QString &serverName)> claims;
    std::function<std::unique_ptr<Backend>(const ConnectionString &)> open;
};
void registerServerBackend(ServerBackend backend);

// Replaces how sessions are opened (tests of the layer above the back ends); an empty function
// restores the real back ends.
using BackendFactory = std::function<std::unique_ptr<Backend>(const ConnectionString &)>;
void setBackendFactory(BackendFactory factory);

} // namespace zt::data
