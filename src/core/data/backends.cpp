#include "backends.h"

#include "dataerror.h"
#include "embedded/embeddedserver.h"
#include "odbcbackend.h"

namespace zt::data {

namespace {
BackendFactory &factory()
{
    static BackendFactory f;
    return f;
}
} // namespace

void setBackendFactory(BackendFactory f)
{
    factory() = std::move(f);
}

std::unique_ptr<Backend> openBackend(const ConnectionString &cs)
{
    if (factory())
        return factory()(cs);
    switch (cs.shape()) {
    case ConnectionString::Shape::Empty:
        throw DataError(QStringLiteral("Connection string is empty."));
    case ConnectionString::Shape::LocalAccess:
        return odbc::openDataSource(cs.dataSource(), cs.odbcUser(), cs.odbcPassword(), cs.catalogName());
    default:
        break;
    }
    const QString catalog = cs.hasCatalog() ? cs.catalogName() : QString();
    if (embedded::isEmbeddedServerName(cs.dataSource()))
        return embedded::connect(
            embedded::defaultRoot(), embedded::instanceOf(cs.dataSource()), cs.login(), catalog);
    return odbc::openSqlServer(cs.dataSource(), cs.login(), catalog);
}

} // namespace zt::data
