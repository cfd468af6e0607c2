// ztaccountset on the real road: FreeTDS to ztwizard-tds serving this installation's embedded
// instance on loopback, as a workstation reaches a SQL Server.

#include "cliprocess.h"
#include "clitestbase.h"
#include "data/connection.h"
#include "tdsprocess.h"

#include <QJsonArray>
#include <QTest>

using namespace Qt::StringLiterals;

using zt::test::CliResult;

class TestZtAccountSetTds final : public zt::test::CliTestBase
{
    Q_OBJECT

public:
    TestZtAccountSetTds()
        : CliTestBase({ u"ZTWIZARD_LOGIN_PASSWORD="_s })
    { }

private slots:
    void init() { makeInstallation(); }
    void cleanup() { dropInstallation(); }

    void checkReachesTheServerAndAnswersEveryQuestion();
    void checkOfAServerThatIsNotThere();
    void accountSetLifeCycleThroughTds_data();
    void accountSetLifeCycleThroughTds();
    void halfRegisteredSetsFailTheCommand();
    void serversFindTheInstanceThroughItsBrowser();
};

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

void TestZtAccountSetTds::accountSetLifeCycleThroughTds_data()
{
    QTest::addColumn<QString>("collation");
    QTest::addColumn<bool>("warned"); // check warns that the code page cannot hold Chinese
    QTest::newRow("Chinese_PRC_CI_AS") << u"Chinese_PRC_CI_AS"_s << false;
    QTest::newRow("SQL_Latin1_General_CP1_CI_AS") << u"SQL_Latin1_General_CP1_CI_AS"_s << true;
    QTest::newRow("Chinese_Taiwan_Stroke_CI_AS") << u"Chinese_Taiwan_Stroke_CI_AS"_s << false;
}

void TestZtAccountSetTds::accountSetLifeCycleThroughTds()
{
    QFETCH(QString, collation);
    QFETCH(bool, warned);
    zt::test::TdsProcess tds(m_install->dir(), { QStringLiteral("--collation"), collation });
    QVERIFY(tds.port() > 0);
    const QString server = tds.serverName();
    const QStringList setPassword { QStringLiteral("ZTWIZARD_SET_PASSWORD=t") };

    QVERIFY(login(server, QStringLiteral("sa")));
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
    QCOMPARE(checked.exitCode, 0); // a warning does not fail the check
    for (const QJsonValue &line : checked.json.value(QStringLiteral("checks")).toArray()) {
        const QString key = line.toObject().value(QStringLiteral("check")).toString();
        if (key == QLatin1StringView("directory_table"))
            QCOMPARE(line.toObject().value(QStringLiteral("value")).toInt(), 1);
        if (key.endsWith(QLatin1StringView("collation"))) {
            QCOMPARE(line.toObject().value(QStringLiteral("detail")).toString(), collation);
            QCOMPARE(line.toObject().contains(QStringLiteral("warning")), warned);
        }
    }

    // The sample is built on this server (it cannot restore the shipped backup) and registered.
    const CliResult sample
        = run({ QStringLiteral("--json"), QStringLiteral("sample"), QStringLiteral("--server"), server });
    QVERIFY2(sample.exitCode == 0, qPrintable(sample.err));
    QCOMPARE(sample.json.value(QStringLiteral("origin")).toString(), QStringLiteral("built"));
    QCOMPARE(run({ QStringLiteral("list"), QStringLiteral("--server"), server }).out,
        QStringLiteral("060\t远程分店\t%1\nTOVRASQL_Sample\tTOVRA例子账套\t%1\n").arg(server));

    const CliResult deleted
        = run({ QStringLiteral("--json"), QStringLiteral("delete"), QStringLiteral("--server"), server,
                  QStringLiteral("--db"), QStringLiteral("060") },
            setPassword);
    QVERIFY2(deleted.exitCode == 0, qPrintable(deleted.err));
    QVERIFY(!deleted.json.value(QStringLiteral("backup")).toString().isEmpty());
    QCOMPARE(run({ QStringLiteral("list"), QStringLiteral("--server"), server }).out,
        QStringLiteral("TOVRASQL_Sample\tTOVRA例子账套\t%1\n").arg(server));
}

void TestZtAccountSetTds::halfRegisteredSetsFailTheCommand()
{
    zt::test::TdsProcess tds(
        m_install->dir(), { QStringLiteral("--collation"), u"SQL_Latin1_General_CP1_CI_AS"_s });
    QVERIFY(tds.port() > 0);
    const QString server = tds.serverName();
    QVERIFY(login(server, QStringLiteral("sa")));
    // A directory table whose number column is too narrow for the set's number: the row is refused.
    zt::data::Connection master;
    master.setConnectionString(zt::data::ConnectionString::master(
        zt::data::LoginFragment::fromLogin(zt::data::Credentials::sql(QStringLiteral("sa"), QString())),
        server));
    master.backend().execute(QStringLiteral("create table PBTOVRASQLBASEDATA (id bigint identity (1, 1), "
                                            "ztbh nvarchar(3), ztmc nvarchar(50), zjmc nvarchar(100), "
                                            "net nvarchar(10), jlrq datetime, kl nvarchar(50))"));
    const CliResult created
        = run({ QStringLiteral("create"), QStringLiteral("--server"), server, QStringLiteral("--db"),
                  QStringLiteral("half"), QStringLiteral("--name"), QStringLiteral("半登记公司") },
            { QStringLiteral("ZTWIZARD_SET_PASSWORD=") });
    QCOMPARE(created.exitCode, 1);
    QVERIFY2(created.err.contains(
                 QStringLiteral("加入网络账套出错！错误代码：[FreeTDS][SQL Server]String or binary "
                                "data would be truncated."))
            && created.err.contains(
                QStringLiteral("加入网络账套目录失败：数据库“half”已在服务器上建好并已登记在本机")),
        qPrintable(created.err));
    QVERIFY(!created.err.contains(QStringLiteral("账套创建成功")));

    // A row whose database is gone: --row-only finishes the deletion.
    master.backend().execute(
        QStringLiteral("insert into PBTOVRASQLBASEDATA (ztbh, ztmc, zjmc, kl) values (N'go', N'无', ?, N'')"),
        { server });
    const CliResult finished
        = run({ QStringLiteral("delete"), QStringLiteral("--server"), server, QStringLiteral("--db"),
                  QStringLiteral("go"), QStringLiteral("--row-only") },
            { QStringLiteral("ZTWIZARD_SET_PASSWORD=") });
    QVERIFY2(finished.exitCode == 0, qPrintable(finished.err));
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
