#include "backends.h"

#include "dataerror.h"
#include "odbcbackend.h"

#include <QList>

#include <mutex>

namespace zt::data {

namespace {

struct Registry
{
    std::mutex mutex;
    BackendFactory factory;
    QList<ServerBackend> servers;
};

Registry &registry()
{
    static Registry r;
    return r;
}

} // namespace

void setBackendFactory(BackendFactory f)
{
    Registry &r = registry();
    const std::lock_guard lock(r.mutex);
    r.factory = std::move(f);
}

void registerServerBackend(ServerBackend backend)
{
    Registry &r = registry();
    const std::lock_guard lock(r.mutex);
    for (ServerBackend &known : r.servers) {
        if (known.name == backend.name) {
            known = std::move(backend);
            return;
        }
    }
    r.servers.append(std::move(backend));
}

std::unique_ptr<Backend> openBackend(const ConnectionString &cs)
{
    BackendFactory factory;
    QList<ServerBackend> servers;
    {
        Registry &r = registry();
        const std::lock_guard lock(r.mutex);
        factory = r.factory;
        servers = r.servers;
    }
    if (factory)
        return factory(cs);
    switch (cs.shape()) {
    case ConnectionString::Shape::Empty:
        throw DataError(QStringLiteral("Connection string is empty."));
    case ConnectionString::Shape::LocalAccess:
        return odbc::openDataSource(cs.dataSource(), cs.odbcUser(), cs.odbcPassword(), cs.catalogName());
    default:
        break;
    }
    for (const ServerBackend &server : std::as_const(servers)) {
        if (server.claims(cs.dataSource()))
            return server.open(cs);
    }
    const QString catalog = cs.hasCatalog() ? cs.catalogName() : QString();
    return odbc::openSqlServer(cs.dataSource(), cs.login(), catalog);
}

void checkServerRoad(const QString &serverName)
{
    QList<ServerBackend> servers;
    {
        Registry &r = registry();
        const std::lock_guard lock(r.mutex);
        if (r.factory)
            return;
        servers = r.servers;
    }
    for (const ServerBackend &server : std::as_const(servers)) {
        if (server.claims(serverName))
            return;
    }
    odbc::checkRoad(serverName);
}

} // namespace zt::data
