#pragma once

// The set-up the tests of the SQL Server road share: ztwizard-tds serving a private
// installation, reached through unixODBC and FreeTDS as sa.

#include "accountset/accountsetobjects.h"
#include "data/connectionstring.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "tdsprocess.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <memory>

namespace zt::test {

// The login of a new instance: sa with an empty password.
inline const data::Credentials Sa = data::Credentials::sql(QStringLiteral("sa"), QString());
// What FreeTDS puts before each of the server's records.
inline const QString FreeTds = QStringLiteral("[FreeTDS][SQL Server]");

// A connection string to a database of the server as sa.
inline data::ConnectionString saCatalog(const QString &server, const QString &catalog)
{
    return data::ConnectionString::catalog(data::LoginFragment::fromLogin(Sa), catalog, server);
}

// A test's road, made anew for each test function: startRoad() in init(), stopRoad() in cleanup().
class TdsRoadFixture
{
protected:
    // A private installation, ztwizard-tds serving it, page 2's objects on its local configuration
    // and sa's server record for the server. Empty text when all is ready, otherwise what failed.
    QString startRoad()
    {
        m_install = std::make_unique<TestInstallation>();
        if (!m_install->isValid())
            return QStringLiteral("the test installation could not be made");
        m_tds = std::make_unique<TdsProcess>(m_install->dir());
        if (m_tds->port() <= 0)
            return QStringLiteral("ztwizard-tds did not start");
        install::heldValues() = {};
        m_objects = std::make_unique<accountset::AccountSetObjects>();
        store::openLocalConfiguration(m_objects->Conn_Ty, m_objects->ADOTy);
        storeServerLogin(server(), Sa);
        return {};
    }

    void stopRoad()
    {
        m_objects.reset();
        m_tds.reset();
        m_install.reset();
    }

    QString server() const { return m_tds->serverName(); }

    std::unique_ptr<TestInstallation> m_install;
    std::unique_ptr<TdsProcess> m_tds;
    std::unique_ptr<accountset::AccountSetObjects> m_objects;
};

} // namespace zt::test
