#pragma once

// What the command-line test classes share: a private installation made anew for each test
// function, ztaccountset run on it with the environment the class always gives it, and the steps
// most tests begin with (a server's login stored, a set created). A class derives from
// CliTestBase, names its usual environment in its constructor, and calls makeInstallation() in
// its init() and dropInstallation() in its cleanup(). (Qt Test would call a base's init() and
// cleanup() slots itself, but only those of a class moc has read, and moc reads only the test's
// own source file.)

#include "cliprocess.h"
#include "testinstallation.h"

#include <QDebug>
#include <QObject>
#include <QTest>

#include <memory>

namespace zt::test {

class CliTestBase : public QObject
{
protected:
    // usual: environment entries as runCli takes them ("NAME=value", "-NAME"), given to every run,
    // for instance "ZTWIZARD_LOGIN_PASSWORD=" for an empty password.
    explicit CliTestBase(const QStringList &usual = {})
        : m_usual(usual)
    { }

    void makeInstallation()
    {
        m_install = std::make_unique<TestInstallation>();
        QVERIFY(m_install->isValid());
    }

    void dropInstallation() { m_install.reset(); }

    // Runs ztaccountset on this installation with the usual environment and env after it.
    CliResult run(const QStringList &arguments, const QStringList &env = {}) const
    {
        return runIn(m_install->dir(), arguments, env);
    }

    // The same on another installation, a second workstation.
    CliResult runIn(const QString &dir, const QStringList &arguments, const QStringList &env = {}) const
    {
        return runCli(dir, arguments, m_usual + env);
    }

    // Stores the server's login as page 1 does: the integrated login, or the SQL login of the user
    // with the password the usual environment gives. False when ztaccountset refused, its words shown;
    // a test checks it (QVERIFY(login(...))) so that it stops there.
    [[nodiscard]] bool login(const QString &server, const QString &user = {}) const
    {
        QStringList arguments { QStringLiteral("login"), QStringLiteral("--server"), server };
        if (!user.isEmpty())
            arguments << QStringLiteral("--user") << user;
        return succeeded(run(arguments));
    }

    // Creates the set of the number on the server, its password from the usual environment or env.
    // False when ztaccountset refused, as for login().
    [[nodiscard]] bool create(
        const QString &server, const QString &number, const QString &name, const QStringList &env = {}) const
    {
        return succeeded(run({ QStringLiteral("create"), QStringLiteral("--server"), server,
                                 QStringLiteral("--db"), number, QStringLiteral("--name"), name },
            env));
    }

    static bool succeeded(const CliResult &r)
    {
        if (r.exitCode != 0)
            qWarning().noquote() << "ztaccountset ended with" << r.exitCode << r.err;
        return r.exitCode == 0;
    }

    std::unique_ptr<TestInstallation> m_install;

private:
    QStringList m_usual;
};

} // namespace zt::test
