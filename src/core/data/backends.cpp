#include "backends.h"

#include "dataerror.h"
#include "guidance/guidance.h"
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

// The server's or the driver's text of an error, with the line that says what to do after it.
[[noreturn]] void rethrowGuided(const DataError &error)
{
    const QString guided = guidance::withGuidance(error.message());
    if (guided == error.message())
        throw;
    throw DataError(guided, error.numbers());
}

// A server session whose errors carry their guidance, whichever server answered them.
class GuidedBackend final : public Backend
{
public:
    explicit GuidedBackend(std::unique_ptr<Backend> inner)
        : m_inner(std::move(inner))
    { }

    Dialect dialect() const override { return m_inner->dialect(); }
    bool runsTSqlBatches() const override { return m_inner->runsTSqlBatches(); }

    ResultSet query(const QString &sql, const QList<QVariant> &params) override
    {
        try {
            return m_inner->query(sql, params);
        } catch (const DataError &e) {
            rethrowGuided(e);
        }
    }

    int execute(const QString &sql, const QList<QVariant> &params) override
    {
        try {
            return m_inner->execute(sql, params);
        } catch (const DataError &e) {
            rethrowGuided(e);
        }
    }

private:
    std::unique_ptr<Backend> m_inner;
};

template<typename Open> std::unique_ptr<Backend> guided(Open &&open)
{
    try {
        return std::make_unique<GuidedBackend>(open());
    } catch (const DataError &e) {
        rethrowGuided(e);
    }
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
            return guided([&] { return server.open(cs); });
    }
    const QString catalog = cs.hasCatalog() ? cs.catalogName() : QString();
    return guided([&] { return odbc::openSqlServer(cs.dataSource(), cs.login(), catalog); });
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
