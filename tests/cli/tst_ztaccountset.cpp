// ztaccountset as a whole process on a private installation with the embedded server: the
// command line itself, the password sources, every subcommand's success and main refusal, exit
// statuses and the JSON each operation writes.

#include "cliprocess.h"
#include "ssrpresponder.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include "data/connection.h"
#include "store/localstore.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>

#include <sys/stat.h>

using zt::test::CliResult;
using zt::test::runCli;

namespace {

const QString Embedded = QStringLiteral("(embedded)");

QStringList commandNames()
{
    return { QStringLiteral("servers"), QStringLiteral("check"), QStringLiteral("login"),
        QStringLiteral("create"), QStringLiteral("list"), QStringLiteral("take-over"),
        QStringLiteral("delete"), QStringLiteral("backup"), QStringLiteral("restore"),
        QStringLiteral("sample"), QStringLiteral("doctor") };
}

// The tables of the rows an operation reported, in order.
QStringList rowTables(const QJsonObject &json)
{
    QStringList tables;
    for (const QJsonValue &row : json.value(QStringLiteral("rows")).toArray())
        tables << row.toObject().value(QStringLiteral("table")).toString();
    return tables;
}

QJsonObject rowFields(const QJsonObject &json, const QString &table)
{
    for (const QJsonValue &row : json.value(QStringLiteral("rows")).toArray()) {
        if (row.toObject().value(QStringLiteral("table")).toString() == table)
            return row.toObject().value(QStringLiteral("fields")).toObject();
    }
    return {};
}

QString writeFile(QTemporaryFile &file, const QByteArray &content)
{
    file.open();
    file.write(content);
    file.close();
    return file.fileName();
}

} // namespace

class TestZtAccountSet final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everySubcommandHasItsHelp();
    void loginPasswordFromEachSource_data();
    void loginPasswordFromEachSource();
    void passwordsAskedOnTheTerminalWithoutEcho();
    void loginStoresTheServerRecordAndRefusesAWrongPassword();
    void checkReportsWithoutChangingAnything();
    void checkShowsWhatALoginMayNotDo();
    void accountSetLifeCycle();
    void creationRefusalsKeepThePagesTexts_data();
    void creationRefusalsKeepThePagesTexts();
    void takeOverAfterTheLocalRowIsGone();
    void sampleOnceThenRefused();
    void backupRestoreAndTheSafetyCopy();
    void serversExplainsAnswersAndDrops();
    void serversExplainsSilence();

private:
    CliResult run(const QStringList &arguments, const QStringList &env = {})
    {
        return runCli(m_install->dir(), arguments, env);
    }
    // The server connection record of the embedded server with the integrated login.
    void login()
    {
        const CliResult r = run({ QStringLiteral("login"), QStringLiteral("--server"), Embedded });
        QCOMPARE(r.exitCode, 0);
    }

    std::unique_ptr<zt::test::TestInstallation> m_install;
};

void TestZtAccountSet::init()
{
    m_install = std::make_unique<zt::test::TestInstallation>();
    QVERIFY(m_install->isValid());
}

void TestZtAccountSet::cleanup()
{
    m_install.reset();
}

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
    login();
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

void TestZtAccountSet::accountSetLifeCycle()
{
    login();
    const QStringList setPassword { QStringLiteral("ZTWIZARD_SET_PASSWORD=kl-9") };
    const CliResult created
        = run({ QStringLiteral("--json"), QStringLiteral("create"), QStringLiteral("--server"), Embedded,
                  QStringLiteral("--db"), QStringLiteral(" 007 "), QStringLiteral("--name"),
                  QStringLiteral("华东分店") },
            setPassword);
    QCOMPARE(created.exitCode, 0);
    QCOMPARE(created.err, QStringLiteral("账套创建成功\n")); // no bar: standard error is no terminal
    QCOMPARE(created.json.value(QStringLiteral("command")).toString(), QStringLiteral("create"));
    QCOMPARE(created.json.value(QStringLiteral("db")).toString(), QStringLiteral("007"));
    QCOMPARE(rowTables(created.json),
        QStringList({ QStringLiteral("ztxxb"), QStringLiteral("PBTOVRASQLBASEDATA") }));
    const QJsonObject local = rowFields(created.json, QStringLiteral("ztxxb"));
    QCOMPARE(local.value(QStringLiteral("ztbh")).toString(), QStringLiteral("007"));
    QCOMPARE(local.value(QStringLiteral("ztmc")).toString(), QStringLiteral("华东分店"));
    QCOMPARE(local.value(QStringLiteral("net")).toString(), QStringLiteral("是"));
    QCOMPARE(local.value(QStringLiteral("kl")).toString(), QStringLiteral("***"));
    const QJsonObject timings = created.json.value(QStringLiteral("timings_ms")).toObject();
    for (const QString &step :
        { QStringLiteral("total"), QStringLiteral("create"), QStringLiteral("base_data_transfer") })
        QVERIFY2(timings.contains(step), qPrintable(step));
    QVERIFY(QFile::exists(m_install->dir() + QStringLiteral("data/SysBase/007_S_SysBase.mdb")));

    const CliResult listed = run({ QStringLiteral("list"), QStringLiteral("--server"), Embedded });
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(listed.out, QStringLiteral("007\t华东分店\t(embedded)\n"));

    // Taken over where it is listed locally already: the page's refusal.
    const CliResult again = run({ QStringLiteral("take-over"), QStringLiteral("--server"), Embedded,
        QStringLiteral("--db"), QStringLiteral("007") });
    QCOMPARE(again.exitCode, 1);
    QCOMPARE(again.err, QStringLiteral("已经存在服务器名称和账套名称相同的账套！\n"));

    QTemporaryFile wrongFile;
    const CliResult wrong = run({ QStringLiteral("delete"), QStringLiteral("--server"), Embedded,
        QStringLiteral("--db"), QStringLiteral("007"), QStringLiteral("--no-backup"),
        QStringLiteral("--set-password-file"), writeFile(wrongFile, "KL-9\n") });
    QCOMPARE(wrong.exitCode, 1);
    QCOMPARE(wrong.err, QStringLiteral("账套口令错误！\n"));

    const CliResult missing
        = run({ QStringLiteral("delete"), QStringLiteral("--server"), Embedded, QStringLiteral("--db"),
                  QStringLiteral("008"), QStringLiteral("--no-backup") },
            setPassword);
    QCOMPARE(missing.exitCode, 1);

    const CliResult deleted
        = run({ QStringLiteral("--json"), QStringLiteral("delete"), QStringLiteral("--server"), Embedded,
                  QStringLiteral("--db"), QStringLiteral("007"), QStringLiteral("--no-backup") },
            setPassword);
    QCOMPARE(deleted.exitCode, 0);
    QCOMPARE(deleted.err, QStringLiteral("此账套已成功删除！\n"));
    QCOMPARE(deleted.json.value(QStringLiteral("rows"))
                 .toArray()
                 .first()
                 .toObject()
                 .value(QStringLiteral("action"))
                 .toString(),
        QStringLiteral("removed"));
    QVERIFY(!QFile::exists(m_install->dir() + QStringLiteral("data/embedded/default/007.db")));
    const CliResult empty
        = run({ QStringLiteral("--json"), QStringLiteral("list"), QStringLiteral("--server"), Embedded });
    QCOMPARE(empty.exitCode, 0);
    QCOMPARE(empty.json.value(QStringLiteral("directory")).toArray().size(), 0);
}

void TestZtAccountSet::creationRefusalsKeepThePagesTexts_data()
{
    QTest::addColumn<QString>("db");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("blank number") << QStringLiteral("  ") << QStringLiteral("x")
                                  << QStringLiteral("数据库名称不能为空！\n");
    QTest::newRow("empty name") << QStringLiteral("010") << QString()
                                << QStringLiteral("账套名称不能为空！\n");
    QTest::newRow("path in the number")
        << QStringLiteral("../x") << QStringLiteral("x") << QStringLiteral("新增账套出错！");
    QTest::newRow("existing database")
        << QStringLiteral("master") << QStringLiteral("x")
        << QStringLiteral("新增账套出错！[ztwizard][SQL Server]Database 'master' already exists.");
}

void TestZtAccountSet::creationRefusalsKeepThePagesTexts()
{
    QFETCH(QString, db);
    QFETCH(QString, name);
    QFETCH(QString, message);
    login();
    const CliResult r = run({ QStringLiteral("--json"), QStringLiteral("create"), QStringLiteral("--server"),
                                Embedded, QStringLiteral("--db"), db, QStringLiteral("--name"), name },
        { QStringLiteral("ZTWIZARD_SET_PASSWORD=") });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(message), qPrintable(r.err));
    QCOMPARE(r.json.value(QStringLiteral("ok")).toBool(true), false);
    QCOMPARE(r.json.value(QStringLiteral("rows")).toArray().size(), 0);
}

void TestZtAccountSet::takeOverAfterTheLocalRowIsGone()
{
    login();
    QCOMPARE(run({ QStringLiteral("create"), QStringLiteral("--server"), Embedded, QStringLiteral("--db"),
                     QStringLiteral("020"), QStringLiteral("--name"), QStringLiteral("总店") },
                 { QStringLiteral("ZTWIZARD_SET_PASSWORD=p") })
                 .exitCode,
        0);
    // Another workstation: no local row and no per-set file yet.
    {
        zt::data::Connection local;
        local.setConnectionString(zt::store::localAccessString(QStringLiteral("MORVEK.mdb")));
        local.backend().execute(QStringLiteral("delete from ztxxb"));
    }
    QVERIFY(QFile::remove(m_install->dir() + QStringLiteral("data/SysBase/020_S_SysBase.mdb")));

    const CliResult r = run({ QStringLiteral("--json"), QStringLiteral("take-over"),
        QStringLiteral("--server"), Embedded, QStringLiteral("--db"), QStringLiteral("020") });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QStringLiteral("网络账套选择引入成功\n"));
    const QJsonObject local = rowFields(r.json, QStringLiteral("ztxxb"));
    QCOMPARE(local.value(QStringLiteral("ztbh")).toString(), QStringLiteral("020"));
    QCOMPARE(local.value(QStringLiteral("net")).toString(), QStringLiteral("是"));
    QVERIFY(QFile::exists(m_install->dir() + QStringLiteral("data/SysBase/020_S_SysBase.mdb")));

    const CliResult unknown = run({ QStringLiteral("take-over"), QStringLiteral("--server"), Embedded,
        QStringLiteral("--db"), QStringLiteral("021") });
    QCOMPARE(unknown.exitCode, 1);
    QVERIFY(unknown.err.contains(QStringLiteral("021")));
}

void TestZtAccountSet::sampleOnceThenRefused()
{
    // Without a stored server record the login fragment is empty and the server refuses.
    const CliResult noLogin = run({ QStringLiteral("sample"), QStringLiteral("--server"), Embedded });
    QCOMPARE(noLogin.exitCode, 1);

    login();
    const CliResult r
        = run({ QStringLiteral("--json"), QStringLiteral("sample"), QStringLiteral("--server"), Embedded });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QStringLiteral("『TOVRA例子账套』创建成功！\n"));
    QCOMPARE(rowFields(r.json, QStringLiteral("ztxxb")).value(QStringLiteral("ztmc")).toString(),
        QStringLiteral("TOVRA例子账套"));
    QCOMPARE(rowFields(r.json, QStringLiteral("PBTOVRASQLBASEDATA")).value(QStringLiteral("ztbh")).toString(),
        QStringLiteral("TOVRASQL_Sample"));

    const CliResult twice = run({ QStringLiteral("sample"), QStringLiteral("--server"), Embedded });
    QCOMPARE(twice.exitCode, 1);
    QVERIFY2(
        twice.err.contains(QStringLiteral("3013")) || twice.err.contains(QStringLiteral("RESTORE DATABASE")),
        qPrintable(twice.err));
}

void TestZtAccountSet::backupRestoreAndTheSafetyCopy()
{
    login();
    const QStringList setPassword { QStringLiteral("ZTWIZARD_SET_PASSWORD=b") };
    QCOMPARE(run({ QStringLiteral("create"), QStringLiteral("--server"), Embedded, QStringLiteral("--db"),
                     QStringLiteral("040"), QStringLiteral("--name"), QStringLiteral("分店") },
                 setPassword)
                 .exitCode,
        0);
    const QString backups = m_install->dir() + QStringLiteral("data/backup/");

    const CliResult backedUp
        = run({ QStringLiteral("--json"), QStringLiteral("backup"), QStringLiteral("--server"), Embedded,
            QStringLiteral("--db"), QStringLiteral("040"), QStringLiteral("--to"), QStringLiteral("x.bak") });
    QCOMPARE(backedUp.exitCode, 0);
    QCOMPARE(backedUp.json.value(QStringLiteral("backup")).toString(),
        QDir::cleanPath(backups + QStringLiteral("x.bak")));
    QVERIFY(QFile::exists(backups + QStringLiteral("x.bak")));
    QVERIFY(backedUp.err.startsWith(QStringLiteral("账套备份成功！\n备份文件：")));
    const CliResult notListed = run({ QStringLiteral("backup"), QStringLiteral("--server"), Embedded,
        QStringLiteral("--db"), QStringLiteral("049") });
    QCOMPARE(notListed.exitCode, 1);

    const QStringList restore { QStringLiteral("--json"), QStringLiteral("restore"),
        QStringLiteral("--server"), Embedded, QStringLiteral("--from"), QStringLiteral("x.bak"),
        QStringLiteral("--db"), QStringLiteral("041"), QStringLiteral("--name"), QStringLiteral("分店副本") };
    const CliResult restored = run(restore, setPassword);
    QCOMPARE(restored.exitCode, 0);
    QCOMPARE(restored.err, QStringLiteral("账套恢复成功！\n"));
    QCOMPARE(rowTables(restored.json),
        QStringList({ QStringLiteral("ztxxb"), QStringLiteral("PBTOVRASQLBASEDATA") }));
    QCOMPARE(rowFields(restored.json, QStringLiteral("ztxxb")).value(QStringLiteral("ztmc")).toString(),
        QStringLiteral("分店副本"));
    const CliResult again = run(restore, setPassword);
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.startsWith(QStringLiteral("恢复账套出错！")), qPrintable(again.err));
    QStringList missing = restore;
    missing.replace(5, QStringLiteral("missing.bak"));
    missing.replace(7, QStringLiteral("042"));
    QCOMPARE(run(missing, setPassword).exitCode, 1);

    // Deleting keeps a safety copy unless told not to.
    const CliResult deleted
        = run({ QStringLiteral("--json"), QStringLiteral("delete"), QStringLiteral("--server"), Embedded,
                  QStringLiteral("--db"), QStringLiteral("040") },
            setPassword);
    QCOMPARE(deleted.exitCode, 0);
    const QString safety = deleted.json.value(QStringLiteral("backup")).toString();
    QVERIFY2(safety.startsWith(QDir::cleanPath(backups) + QStringLiteral("/040_")) && QFile::exists(safety),
        qPrintable(safety));
    QCOMPARE(deleted.err, QStringLiteral("此账套已成功删除！\n备份文件：") + safety + u'\n');
}

void TestZtAccountSet::serversExplainsAnswersAndDrops()
{
    using zt::test::SsrpResponder;
    SsrpResponder responder({ SsrpResponder::svrResp(SsrpResponder::record("KASSE1", "MSSQLSERVER")
                                  + SsrpResponder::record("KASSE1", "ZT")),
        SsrpResponder::svrResp("ServerName;BAD;;").left(5), // truncated: its length field says more
        SsrpResponder::svrResp(SsrpResponder::record("kasse1", "MSSQLSERVER")) });
    const CliResult r = runCli(m_install->dir(),
        { QStringLiteral("--json"), QStringLiteral("servers"), QStringLiteral("--explain") },
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
    const CliResult r = runCli(m_install->dir(),
        { QStringLiteral("--json"), QStringLiteral("servers"), QStringLiteral("--explain") },
        { QStringLiteral("ZTWIZARD_BROWSE_TARGET=") + target });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("没有服务器回答")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("UDP 1434")));
    QCOMPARE(r.json.value(QStringLiteral("servers")).toArray().toVariantList(), QVariantList { Embedded });

    const CliResult off = run({ QStringLiteral("servers") });
    QCOMPARE(off.exitCode, 0);
    QCOMPARE(off.out, QStringLiteral("(embedded)\n"));
}

QTEST_GUILESS_MAIN(TestZtAccountSet)
#include "tst_ztaccountset.moc"
