#include "loginprobe.h"

#include "data/backends.h"
#include "store/localstore.h"

namespace zt::servercheck {

data::ConnectionString probeString(const QString &serverName, const data::Credentials &login)
{
    if (login.kind == data::Credentials::Kind::Integrated)
        return data::ConnectionString::windowsLoginProbe(serverName);
    return data::ConnectionString::sqlLoginProbe(login.user, login.password, serverName);
}

void probeLogin(data::Connection &connection, data::Query &query, const data::ConnectionString &probe)
{
    data::pointAt(connection, query, probe);
    data::reexecute(query, QStringLiteral("create database ") + QLatin1String(ProbeDatabase));
    data::reexecute(query, QStringLiteral("drop database ") + QLatin1String(ProbeDatabase));
}

void dropProbeDatabase(data::Query &query)
{
    // A connection that never opened left no database, and opening it now would send the login
    // a second time.
    if (!query.connection() || !query.connection()->isOpen())
        return;
    try {
        data::reexecute(query, QStringLiteral("drop database ") + QLatin1String(ProbeDatabase));
    } catch (...) {
        // Only a probe database left by the failed attempt is removed here; mostly there is none,
        // or the server cannot be reached at all.
    }
}

void confirmServerLogin(data::Connection &probeConnection, data::Query &probeQuery, data::Query &storeQuery,
    const QString &serverName, const data::Credentials &login, bool rented)
{
    if (!rented)
        probeLogin(probeConnection, probeQuery, probeString(serverName, login));
    else
        data::checkServerRoad(serverName); // nothing is sent, but the road is decided now, on page 1

    store::storeServerRecord(storeQuery, serverName, login);
}

} // namespace zt::servercheck
