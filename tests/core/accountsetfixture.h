#pragma once

// What the tests of account-set operations on the embedded server start from, made anew for each
// test function: a private installation, page 2's objects on its local configuration, the
// integrated login stored for "(embedded)" as page 1 stores it, and the login fragment and
// creation context an operation is handed. A test class holds it as a base: setUpAccountSets() in
// init(), tearDownAccountSets() in cleanup().

#include "accountset/accountsetobjects.h"
#include "accountset/creation.h"
#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QDate>
#include <QStringList>

#include <memory>

namespace zt::test {

// The embedded server's default instance, and the stored text of the integrated login.
inline const QString EmbeddedServer = QStringLiteral("(embedded)");
inline const QString IntegratedFragment = QString::fromLatin1(data::LoginFragment::IntegratedText);

// A server with the integrated login, as read from a stored row.
inline data::ServerLogin integratedLogin(const QString &server = EmbeddedServer)
{
    return { server, data::LoginFragment::fromLogin(data::Credentials::integrated()) };
}

// A database of an embedded instance, reached with the integrated login.
inline data::ConnectionString embeddedCatalog(const QString &catalog, const QString &server = EmbeddedServer)
{
    return data::ConnectionString::catalog(
        data::LoginFragment::fromLogin(data::Credentials::integrated()), catalog, server);
}

class AccountSetFixture
{
protected:
    // Empty text when all is ready, otherwise what failed. The context's date is 2026-12-08 and
    // the directory rows it could not append are collected in m_reported.
    QString setUpAccountSets()
    {
        m_install = std::make_unique<TestInstallation>();
        if (!m_install->isValid())
            return QStringLiteral("the test installation could not be made");
        install::heldValues() = {};
        m_objects = std::make_unique<accountset::AccountSetObjects>();
        m_login = {};
        m_reported.clear();
        m_context = {};
        m_context.reportDirectoryError = [this](const QString &message) { m_reported << message; };
        m_context.today = QDate(2026, 12, 8);
        try {
            store::openLocalConfiguration(m_objects->Conn_Ty, m_objects->ADOTy);
            useLogin(data::Credentials::integrated());
        } catch (const data::DataError &e) {
            return e.message();
        }
        return {};
    }

    void tearDownAccountSets()
    {
        m_objects.reset();
        m_install.reset();
    }

    // Stores the login for the embedded server in place of the integrated one.
    void useLogin(const data::Credentials &login) { storeServerLogin(EmbeddedServer, login); }

    // The rows the statement gives on a database of the embedded server.
    int rowCount(const QString &catalog, const QString &sql)
    {
        data::Connection c;
        c.setConnectionString(embeddedCatalog(catalog));
        return openQuery(c, sql)->recordCount();
    }

    // This workstation's rows of the number under the embedded server.
    int localRows(const QString &number)
    {
        return store::findAccountSetRow(m_objects->ADOTy, number, EmbeddedServer)
            ? int(m_objects->ADOTy.recordCount())
            : 0;
    }

    // The directory's rows of the number; none while there is no directory table.
    int directoryRows(const QString &number)
    {
        try {
            return rowCount(QStringLiteral("master"),
                QStringLiteral("select * from PBTOVRASQLBASEDATA where ztbh = %1")
                    .arg(store::sqlLiteral(number)));
        } catch (const data::DataError &) {
            return 0;
        }
    }

    QString backupFolder() const { return m_install->dir() + QStringLiteral("data/backup"); }

    std::unique_ptr<TestInstallation> m_install;
    std::unique_ptr<accountset::AccountSetObjects> m_objects;
    data::ServerLogin m_login; // the server with the login an operation read from xtljb
    accountset::CreationContext m_context;
    QStringList m_reported; // the messages of directory rows that could not be appended
};

} // namespace zt::test
