// ztaccountset as a whole process on a private installation with the embedded server: the
// command line and its help, the password sources and the terminal, and the commands that reach
// a server without touching an account set (login, check, servers).

#include "cliprocess.h"
#include "clitestbase.h"
#include "data/connection.h"
#include "data/query.h"
#include "ssrpresponder.h"
#include "store/localstore.h"
#include "testhelpers.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>

using zt::test::CliResult;
using zt::test::rowFields;
using zt::test::rowTables;
using zt::test::writeFile;

namespace {

const QString Embedded = QStringLiteral("(embedded)");

QStringList commandNames()
{
    return { QStringLiteral("servers"), QStringLiteral("check"), QStringLiteral("login"),
        QStringLiteral("create"), QStringLiteral("list"), QStringLiteral("take-over"),
        QStringLiteral("delete"), QStringLiteral("backup"), QStringLiteral("restore"),
        QStringLiteral("sample"), QStringLiteral("doctor"), QStringLiteral("rename"),
        QStringLiteral("set-password"), QStringLiteral("copy") };
}

} // namespace

class TestZtAccountSet final : public zt::test::CliTestBase
{
    Q_OBJECT

private slots:
    void init() { makeInstallation(); }
    void cleanup() { dropInstallation(); }

    void everySubcommandHasItsHelp();
    void loginPasswordFromEachSource_data();
    void loginPasswordFromEachSource();
    void passwordsAskedOnTheTerminalWithoutEcho();
    void loginStoresTheServerRecordAndRefusesAWrongPassword();
    void checkReportsWithoutChangingAnything();
    void checkShowsWhatALoginMayNotDo();
    void serversExplainsAnswersAndDrops();
    void serversExplainsSilence();
    void serversListTheStoredOnesMarked();
};

void TestZtAccountSet::everySubcommandHasItsHelp()
{
    const CliResult overall = run({ QStringLiteral("--help") });
    QCOMPARE(overall.exitCode, 0);
    const CliResult json
        = run({ QStringLiteral("doctor"), QStringLiteral("--help"), QStringLiteral("--json") });
    QCOMPARE(json.exitCode, 0);
    QCOMPARE(json.json.value(QStringLiteral("ok")), QJsonValue(true));
    QVERIFY(json.json.value(QStringLiteral("help")).toString().contains(QStringLiteral("--repair")));
    for (const QString &command : commandNames()) {
        QVERIFY2(overall.out.contains(command), qPrintable(command));
        const CliResult r = run({ command, QStringLiteral("--help") });
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral("--json")) && r.out.contains(QStringLiteral("--dir")),
            qPrintable(command));
        QVERIFY2(r.out.section(u'\n', 0, 0).contains(QStringLiteral("用法")), qPrintable(r.out));
        QVERIFY2(r.out.section(u'\n', 0, 0).contains(QStringLiteral("ztaccountset ") + command),
            qPrintable(r.out));
        if (command != QLatin1StringView("servers"))
            QVERIFY2(r.out.contains(QStringLiteral("--server")), qPrintable(command));
    }
}

void TestZtAccountSet::loginPasswordFromEachSource_data()
{
    QTest::addColumn<QByteArray>("fileContent"); // empty: no file option
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("file, right") << QByteArray("s3cret\n") << QStringList {} << QStringLiteral("file") << 0;
    QTest::newRow("file wins over the environment")
        << QByteArray("s3cret\r\n") << QStringList { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=wrong") }
        << QStringLiteral("file") << 0;
    QTest::newRow("environment, right")
        << QByteArray() << QStringList { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=s3cret") }
        << QStringLiteral("environment") << 0;
    QTest::newRow("environment, wrong")
        << QByteArray() << QStringList { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=S3cret") }
        << QStringLiteral("environment") << 1;
    QTest::newRow("file with a trailing blank is another password")
        << QByteArray("s3cret \n") << QStringList {} << QStringLiteral("file") << 1;
}

void TestZtAccountSet::loginPasswordFromEachSource()
{
    QFETCH(QByteArray, fileContent);
    QFETCH(QStringList, env);
    QFETCH(QString, source);
    QFETCH(int, exitCode);
    zt::test::embeddedExec(
        QStringLiteral("master"), QStringLiteral("create login clerk with password='s3cret'"));
    zt::test::embeddedExec(
        QStringLiteral("master"), QStringLiteral("alter server role dbcreator add member clerk"));

    QStringList arguments { QStringLiteral("--json"), QStringLiteral("login"), QStringLiteral("--server"),
        Embedded, QStringLiteral("--user"), QStringLiteral("clerk") };
    QTemporaryFile file;
    if (!fileContent.isEmpty())
        arguments << QStringLiteral("--password-file") << writeFile(file, fileContent);
    const CliResult r = run(arguments, env);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.json.value(QStringLiteral("password_from")).toString(), source);
    QCOMPARE(r.json.value(QStringLiteral("ok")).toBool(), exitCode == 0);
    // The password itself never appears in what the command writes.
    QVERIFY(!r.out.contains(QStringLiteral("s3cret")));
    QVERIFY(!r.err.contains(QStringLiteral("s3cret")));
}

// Runs the command on a terminal of its own (script(1) gives it one) and answers each prompt
// when it appears; returns the exit status and everything the terminal showed.
std::pair<int, QString> runOnTerminal(
    const QStringList &command, const QList<std::pair<QString, QByteArray>> &answers)
{
    QStringList quoted;
    for (QString word : command)
        quoted << u'\'' + word.replace(u'\'', QStringLiteral("'\\''")) + u'\'';
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(
        QStringLiteral("script"), { QStringLiteral("-qec"), quoted.join(u' '), QStringLiteral("/dev/null") });
    if (!process.waitForStarted(10000))
        return { -1, QString() };
    QByteArray shown;
    for (const auto &[prompt, answer] : answers) {
        QElapsedTimer clock;
        clock.start();
        while (!QString::fromUtf8(shown).contains(prompt) && clock.elapsed() < 20000) {
            process.waitForReadyRead(200);
            shown += process.readAll();
        }
        process.write(answer + '\n');
        // What was typed goes only to the program: a prompt later, the terminal has not shown it.
        shown += process.readAll();
    }
    process.waitForFinished(60000);
    shown += process.readAll();
    return { process.exitCode(), QString::fromUtf8(shown) };
}

void TestZtAccountSet::passwordsAskedOnTheTerminalWithoutEcho()
{
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        QSKIP("script(1) is not installed");
    const QString program = QStringLiteral(ZT_ACCOUNTSET_EXE);
    const QString dir = m_install->dir();
    zt::test::embeddedExec(
        QStringLiteral("master"), QStringLiteral("create login clerk with password='tty-pw'"));
    zt::test::embeddedExec(
        QStringLiteral("master"), QStringLiteral("alter server role dbcreator add member clerk"));

    const auto [loginStatus, loginShown] = runOnTerminal(
        { program, QStringLiteral("--dir"), dir, QStringLiteral("login"), QStringLiteral("--server"),
            Embedded, QStringLiteral("--user"), QStringLiteral("clerk") },
        { { QStringLiteral("登录口令："), QByteArray("tty-pw") } });
    QCOMPARE(loginStatus, 0);
    QVERIFY2(!loginShown.contains(QStringLiteral("tty-pw")), qPrintable(loginShown));

    // The account-set password is asked twice, as page 2's two fields: a different second one is
    // the page's refusal.
    const auto [createStatus, createShown]
        = runOnTerminal({ program, QStringLiteral("--dir"), dir, QStringLiteral("create"),
                            QStringLiteral("--server"), Embedded, QStringLiteral("--db"),
                            QStringLiteral("030"), QStringLiteral("--name"), QStringLiteral("t") },
            { { QStringLiteral("账套口令："), QByteArray("one") },
                { QStringLiteral("再次录入账套口令："), QByteArray("two") } });
    QCOMPARE(createStatus, 1);
    QVERIFY2(createShown.contains(QStringLiteral("账套口令校验错误！")), qPrintable(createShown));
    QVERIFY2(!createShown.contains(QStringLiteral("one")) && !createShown.contains(QStringLiteral("two")),
        qPrintable(createShown));
}

void TestZtAccountSet::loginStoresTheServerRecordAndRefusesAWrongPassword()
{
    // sa with its empty password, from an environment variable set to nothing.
    const CliResult sql = run({ QStringLiteral("--json"), QStringLiteral("login"), QStringLiteral("--server"),
                                  Embedded, QStringLiteral("--user"), QStringLiteral("sa") },
        { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=") });
    QCOMPARE(sql.exitCode, 0);
    QCOMPARE(rowTables(sql.json), QStringList { QStringLiteral("xtljb") });
    QJsonObject record = rowFields(sql.json, QStringLiteral("xtljb"));
    QCOMPARE(record.value(QStringLiteral("zjmc")).toString(), Embedded);
    QCOMPARE(record.value(QStringLiteral("1")).toString(), QString());
    QCOMPARE(record.value(QStringLiteral("2")).toString(),
        QStringLiteral("password=***;persist security info=true;user id=sa;"));
    QVERIFY(sql.json.value(QStringLiteral("timings_ms")).toObject().contains(QStringLiteral("total")));

    // The same server with the integrated login: the one record is updated, as page 1 does.
    const CliResult integrated
        = run({ QStringLiteral("--json"), QStringLiteral("login"), QStringLiteral("--server"), Embedded });
    QCOMPARE(integrated.exitCode, 0);
    record = rowFields(integrated.json, QStringLiteral("xtljb"));
    QCOMPARE(record.value(QStringLiteral("1")).toString(),
        QStringLiteral("integrated security=sspi;persist security info=false;"));
    QCOMPARE(record.value(QStringLiteral("2")).toString(), QString());

    // A probe database left behind makes the proof fail with page 1's message; the clean-up drops
    // it, so the next attempt succeeds.
    zt::test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database abcde12345"));
    const CliResult blocked = run({ QStringLiteral("login"), QStringLiteral("--server"), Embedded });
    QCOMPARE(blocked.exitCode, 1);
    QVERIFY2(blocked.err.startsWith(QStringLiteral("连接服务器失败，请重新选择或录入服务器名称！[ztwizard]["
                                                   "SQL Server]Database 'abcde12345' already exists.")),
        qPrintable(blocked.err));
    QCOMPARE(run({ QStringLiteral("login"), QStringLiteral("--server"), Embedded }).exitCode, 0);

    // The rented-database option stores without a probe.
    const CliResult rented
        = run({ QStringLiteral("--json"), QStringLiteral("login"), QStringLiteral("--server"),
                  QStringLiteral("(embedded)\\rent"), QStringLiteral("--user"), QStringLiteral("nobody"),
                  QStringLiteral("--rented") },
            { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=x") });
    QCOMPARE(rented.exitCode, 0);
    QCOMPARE(rented.json.value(QStringLiteral("probed")).toBool(), false);
}

void TestZtAccountSet::checkReportsWithoutChangingAnything()
{
    QVERIFY(login(Embedded));
    QCOMPARE(run({ QStringLiteral("sample"), QStringLiteral("--server"), Embedded }).exitCode, 0);
    const QString databases = m_install->dir() + QStringLiteral("data/embedded/default");
    const QStringList before = QDir(databases).entryList(QDir::Files, QDir::Name);

    const CliResult r
        = run({ QStringLiteral("--json"), QStringLiteral("check"), QStringLiteral("--server"), Embedded });
    QCOMPARE(r.exitCode, 0);
    QStringList keys;
    QJsonObject byKey;
    for (const QJsonValue &line : r.json.value(QStringLiteral("checks")).toArray()) {
        keys << line.toObject().value(QStringLiteral("check")).toString();
        byKey.insert(keys.last(), line.toObject());
        QVERIFY2(line.toObject().value(QStringLiteral("ok")).toBool(), qPrintable(keys.last()));
    }
    QCOMPARE(keys,
        QStringList({ QStringLiteral("reachable"), QStringLiteral("login"), QStringLiteral("create_database"),
            QStringLiteral("create_directory_table"), QStringLiteral("version"), QStringLiteral("collation"),
            QStringLiteral("master_collation"), QStringLiteral("directory_table") }));
    QCOMPARE(byKey.value(QStringLiteral("collation")).toObject().value(QStringLiteral("detail")).toString(),
        QStringLiteral("Chinese_PRC_CI_AS"));
    QVERIFY(byKey.value(QStringLiteral("version"))
                .toObject()
                .value(QStringLiteral("detail"))
                .toString()
                .contains(QStringLiteral("SQLite")));
    // The sample set registered one directory row.
    QCOMPARE(
        byKey.value(QStringLiteral("directory_table")).toObject().value(QStringLiteral("value")).toInt(), 1);
    QCOMPARE(QDir(databases).entryList(QDir::Files, QDir::Name), before);
}

void TestZtAccountSet::checkShowsWhatALoginMayNotDo()
{
    zt::test::embeddedExec(QStringLiteral("master"), QStringLiteral("create login reader with password='r'"));
    const CliResult r = run({ QStringLiteral("--json"), QStringLiteral("check"), QStringLiteral("--server"),
                                Embedded, QStringLiteral("--user"), QStringLiteral("reader") },
        { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=r") });
    QCOMPARE(r.exitCode, 1);
    QMap<QString, bool> ok;
    for (const QJsonValue &line : r.json.value(QStringLiteral("checks")).toArray())
        ok.insert(line.toObject().value(QStringLiteral("check")).toString(),
            line.toObject().value(QStringLiteral("ok")).toBool());
    QCOMPARE(ok.value(QStringLiteral("login")), true);
    QCOMPARE(ok.value(QStringLiteral("create_database")), false);
    QCOMPARE(ok.value(QStringLiteral("create_directory_table")), false);
    QCOMPARE(ok.value(QStringLiteral("directory_table")), true); // absent is no fault
    QVERIFY(r.err.contains(QStringLiteral("可以创建数据库")));

    const CliResult wrong = run({ QStringLiteral("check"), QStringLiteral("--server"), Embedded,
                                    QStringLiteral("--user"), QStringLiteral("reader") },
        { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=x") });
    QCOMPARE(wrong.exitCode, 1);
    QVERIFY2(wrong.err.contains(QStringLiteral("Login failed for user 'reader'.")), qPrintable(wrong.err));
}

void TestZtAccountSet::serversExplainsAnswersAndDrops()
{
    using zt::test::SsrpResponder;
    SsrpResponder responder({ SsrpResponder::svrResp(SsrpResponder::record("KASSE1", "MSSQLSERVER")
                                  + SsrpResponder::record("KASSE1", "ZT")),
        SsrpResponder::svrResp("ServerName;BAD;;").left(5), // truncated: its length field says more
        SsrpResponder::svrResp(SsrpResponder::record("kasse1", "MSSQLSERVER")) });
    const CliResult r
        = run({ QStringLiteral("--json"), QStringLiteral("servers"), QStringLiteral("--explain") },
            { QStringLiteral("ZTWIZARD_BROWSE_TARGET=") + responder.target() });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.json.value(QStringLiteral("servers")).toArray().toVariantList(),
        QVariantList(
            { QStringLiteral("(embedded)"), QStringLiteral("KASSE1"), QStringLiteral("KASSE1\\ZT") }));
    QVERIFY2(
        r.err.contains(QStringLiteral("已发送：CLNT_BCAST_EX（0x02，1 字节）到 UDP ") + responder.target()),
        qPrintable(r.err));
    QVERIFY2(
        r.err.contains(QStringLiteral("已收到：来自 %1 的回答：KASSE1, KASSE1\\ZT").arg(responder.target())),
        qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("长度字段为")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("重复，未再列出：kasse1")), qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("没有服务器回答")));
    QCOMPARE(r.json.value(QStringLiteral("network_answered")).toBool(), true);
}

void TestZtAccountSet::serversExplainsSilence()
{
    using zt::test::SsrpResponder;
    const QString target = QStringLiteral("127.0.0.1:%1").arg(SsrpResponder::closedPort());
    const CliResult r
        = run({ QStringLiteral("--json"), QStringLiteral("servers"), QStringLiteral("--explain") },
            { QStringLiteral("ZTWIZARD_BROWSE_TARGET=") + target });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("没有服务器回答")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("UDP 1434")));
    QCOMPARE(r.json.value(QStringLiteral("servers")).toArray().toVariantList(), QVariantList { Embedded });

    const CliResult off = run({ QStringLiteral("servers") });
    QCOMPARE(off.exitCode, 0);
    QCOMPARE(off.out, QStringLiteral("(embedded)\n"));
}

void TestZtAccountSet::serversListTheStoredOnesMarked()
{
    {
        zt::data::Connection connection;
        zt::data::Query query(QStringLiteral("stored"));
        zt::store::openLocalConfiguration(connection, query);
        zt::store::storeServerRecord(query, QStringLiteral("kasse\\ZT"),
            zt::data::Credentials::sql(QStringLiteral("bob"), QStringLiteral("Geheim7")));
        zt::store::storeServerRecord(
            query, QStringLiteral(" (Embedded) "), zt::data::Credentials::integrated());
    }
    const CliResult plain = run({ QStringLiteral("servers") });
    QCOMPARE(plain.exitCode, 0);
    QCOMPARE(plain.out, QStringLiteral("(embedded)\nkasse\\ZT\t已保存\tSQL 登录 bob\n"));
    const CliResult json = run({ QStringLiteral("--json"), QStringLiteral("servers") });
    QCOMPARE(json.json.value(QStringLiteral("servers")).toArray().toVariantList(), QVariantList { Embedded });
    const QJsonArray stored = json.json.value(QStringLiteral("stored")).toArray();
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored.at(0).toObject(),
        (QJsonObject { { QStringLiteral("name"), QStringLiteral("kasse\\ZT") },
            { QStringLiteral("login"), QStringLiteral("sql") },
            { QStringLiteral("user"), QStringLiteral("bob") }, { QStringLiteral("found"), false } }));
    QCOMPARE(stored.at(1).toObject(),
        (QJsonObject { { QStringLiteral("name"), QStringLiteral(" (Embedded) ") },
            { QStringLiteral("login"), QStringLiteral("integrated") }, { QStringLiteral("found"), true } }));
    QVERIFY(!json.out.contains(QStringLiteral("Geheim7")) && !plain.out.contains(QStringLiteral("Geheim7")));
}

QTEST_GUILESS_MAIN(TestZtAccountSet)
#include "tst_ztaccountset.moc"
