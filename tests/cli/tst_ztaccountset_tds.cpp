// ztaccountset on the real road: FreeTDS to ztwizard-tds serving this installation's embedded
// instance on loopback, as a workstation reaches a SQL Server.

#include "cliprocess.h"
#include "tdsprocess.h"
#include "testinstallation.h"

#include <QJsonArray>
#include <QTest>

using zt::test::CliResult;
using zt::test::runCli;

class TestZtAccountSetTds final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void checkReachesTheServerAndAnswersEveryQuestion();
    void checkOfAServerThatIsNotThere();
    void accountSetLifeCycleThroughTds();
    void serversFindTheInstanceThroughItsBrowser();

private:
    CliResult run(const QStringList &arguments, const QStringList &env = {})
    {
        return runCli(
            m_install->dir(), arguments, QStringList { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=") } + env);
    }

    std::unique_ptr<zt::test::TestInstallation> m_install;
};

void TestZtAccountSetTds::init()
{
    m_install = std::make_unique<zt::test::TestInstallation>();
    QVERIFY(m_install->isValid());
}

void TestZtAccountSetTds::cleanup()
{
    m_install.reset();
}

void TestZtAccountSetTds::checkReachesTheServerAndAnswersEveryQuestion()
{
    zt::test::TdsProcess tds(m_install->dir());
    QVERIFY(tds.port() > 0);
    const CliResult r = run({ QStringLiteral("--json"), QStringLiteral("check"), QStringLiteral("--server"),
        tds.serverName(), QStringLiteral("--user"), QStringLiteral("sa") });
    QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
    QJsonObject byKey;
    for (const QJsonValue &line : r.json.value(QStringLiteral("checks")).toArray())
        byKey.insert(line.toObject().value(QStringLiteral("check")).toString(), line);
    QCOMPARE(byKey.size(), 8);
    QVERIFY(byKey.value(QStringLiteral("reachable"))
                .toObject()
                .value(QStringLiteral("detail"))
                .toString()
                .startsWith(QStringLiteral("127.0.0.1:%1").arg(tds.port())));
    QCOMPARE(byKey.value(QStringLiteral("collation")).toObject().value(QStringLiteral("detail")).toString(),
        QStringLiteral("Chinese_PRC_CI_AS"));
    QCOMPARE(
        byKey.value(QStringLiteral("create_database")).toObject().value(QStringLiteral("ok")).toBool(), true);
    QCOMPARE(
        byKey.value(QStringLiteral("directory_table")).toObject().value(QStringLiteral("detail")).toString(),
        QStringLiteral("absent"));
}

void TestZtAccountSetTds::checkOfAServerThatIsNotThere()
{
    int port = 0;
    {
        zt::test::TdsProcess gone(m_install->dir());
        port = gone.port();
    }
    const CliResult r = run({ QStringLiteral("--json"), QStringLiteral("check"), QStringLiteral("--server"),
        QStringLiteral("127.0.0.1,%1").arg(port), QStringLiteral("--user"), QStringLiteral("sa") });
    QCOMPARE(r.exitCode, 1);
    const QJsonArray checks = r.json.value(QStringLiteral("checks")).toArray();
    QCOMPARE(checks.size(), 1); // nothing else is asked of a server that cannot be reached
    QCOMPARE(
        checks.first().toObject().value(QStringLiteral("check")).toString(), QStringLiteral("reachable"));
    QVERIFY(r.err.startsWith(QStringLiteral("服务器可连接：")));
}

void TestZtAccountSetTds::accountSetLifeCycleThroughTds()
{
    zt::test::TdsProcess tds(m_install->dir());
    QVERIFY(tds.port() > 0);
    const QString server = tds.serverName();
    const QStringList setPassword { QStringLiteral("ZTWIZARD_SET_PASSWORD=t") };

    const CliResult login = run({ QStringLiteral("login"), QStringLiteral("--server"), server,
        QStringLiteral("--user"), QStringLiteral("sa") });
    QVERIFY2(login.exitCode == 0, qPrintable(login.err));
    const CliResult created
        = run({ QStringLiteral("--json"), QStringLiteral("create"), QStringLiteral("--server"), server,
                  QStringLiteral("--db"), QStringLiteral("060"), QStringLiteral("--name"),
                  QStringLiteral("远程分店") },
            setPassword);
    QVERIFY2(created.exitCode == 0, qPrintable(created.err));
    QCOMPARE(created.json.value(QStringLiteral("rows")).toArray().size(), 2);
    const CliResult duplicate
        = run({ QStringLiteral("create"), QStringLiteral("--server"), server, QStringLiteral("--db"),
                  QStringLiteral("060"), QStringLiteral("--name"), QStringLiteral("x") },
            setPassword);
    QCOMPARE(duplicate.exitCode, 1);
    QVERIFY2(duplicate.err.startsWith(
                 QStringLiteral("新增账套出错！[FreeTDS][SQL Server]Database '060' already exists.")),
        qPrintable(duplicate.err));

    const CliResult listed = run({ QStringLiteral("list"), QStringLiteral("--server"), server });
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(listed.out, QStringLiteral("060\t远程分店\t%1\n").arg(server));

    const CliResult checked = run({ QStringLiteral("--json"), QStringLiteral("check"),
        QStringLiteral("--server"), server, QStringLiteral("--user"), QStringLiteral("sa") });
    for (const QJsonValue &line : checked.json.value(QStringLiteral("checks")).toArray()) {
        if (line.toObject().value(QStringLiteral("check")).toString() == QLatin1StringView("directory_table"))
            QCOMPARE(line.toObject().value(QStringLiteral("value")).toInt(), 1);
    }

    const CliResult deleted
        = run({ QStringLiteral("--json"), QStringLiteral("delete"), QStringLiteral("--server"), server,
                  QStringLiteral("--db"), QStringLiteral("060") },
            setPassword);
    QVERIFY2(deleted.exitCode == 0, qPrintable(deleted.err));
    QVERIFY(!deleted.json.value(QStringLiteral("backup")).toString().isEmpty());
    QCOMPARE(run({ QStringLiteral("list"), QStringLiteral("--server"), server }).out, QString());
}

void TestZtAccountSetTds::serversFindTheInstanceThroughItsBrowser()
{
    zt::test::TdsProcess tds(m_install->dir(),
        { QStringLiteral("--instance"), QStringLiteral("DEMO"), QStringLiteral("--browser"),
            QStringLiteral("127.0.0.1:0") });
    QVERIFY(tds.browserPort() > 0);
    const CliResult r
        = run({ QStringLiteral("--json"), QStringLiteral("servers"), QStringLiteral("--explain") },
            { QStringLiteral("ZTWIZARD_BROWSE_TARGET=127.0.0.1:%1").arg(tds.browserPort()) });
    QCOMPARE(r.exitCode, 0);
    const QVariantList servers = r.json.value(QStringLiteral("servers")).toArray().toVariantList();
    QCOMPARE(servers.size(), 2);
    QVERIFY2(
        servers.at(1).toString().endsWith(QStringLiteral("\\DEMO")), qPrintable(servers.at(1).toString()));
    QVERIFY2(r.err.contains(QStringLiteral("已收到：来自 127.0.0.1:%1 的回答：").arg(tds.browserPort())),
        qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestZtAccountSetTds)
#include "tst_ztaccountset_tds.moc"
