// What every ztaccountset command promises a script, over all subcommands at once: a command line
// it cannot use ends with exit status 2 (and one JSON object saying so), and no secret ever
// appears in what a command writes.

#include "cliprocess.h"
#include "clitestbase.h"
#include "testhelpers.h"

#include "data/connection.h"
#include "store/localstore.h"

#include <QJsonArray>
#include <QTemporaryFile>
#include <QTest>

#include <sys/stat.h>

using zt::test::CliResult;
using zt::test::runCli;
using zt::test::writeFile;

namespace {

const QString Embedded = QStringLiteral("(embedded)");

} // namespace

class TestZtAccountSetContract final : public zt::test::CliTestBase
{
    Q_OBJECT

private slots:
    void init() { makeInstallation(); }
    void cleanup() { dropInstallation(); }

    void commandLineProblemsAreUsageErrors_data();
    void commandLineProblemsAreUsageErrors();
    void noSecretInAnyCommandsJson();
};

void TestZtAccountSetContract::commandLineProblemsAreUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<QString>("message");
    const QString server = QStringLiteral("--server");
    const QString db = QStringLiteral("--db");
    const QString name = QStringLiteral("--name");
    const QStringList setPassword { QStringLiteral("ZTWIZARD_SET_PASSWORD=p") };
    const auto row
        = [](const char *title, const QStringList &arguments, const QString &message,
              const QStringList &env = {}) { QTest::newRow(title) << arguments << env << message; };

    row("no command", {}, QStringLiteral("缺少命令"));
    row("unknown command", { QStringLiteral("frobnicate") }, QStringLiteral("未知命令"));
    row("unknown option", { QStringLiteral("list"), server, Embedded, QStringLiteral("--colour") },
        QStringLiteral("未知选项“colour”")); // Qt's own text, in Chinese
    row("option without its value", { QStringLiteral("list"), server }, QStringLiteral("--server"));
    row("missing server", { QStringLiteral("create"), db, QStringLiteral("001"), name, QStringLiteral("x") },
        QStringLiteral("缺少选项 --server"));
    row("missing number", { QStringLiteral("take-over"), server, Embedded }, QStringLiteral("缺少选项 --db"));
    row("restore without a number",
        { QStringLiteral("restore"), server, Embedded, QStringLiteral("--from"), QStringLiteral("x.bak"),
            name, QStringLiteral("x") },
        QStringLiteral("缺少选项 --db"), setPassword);
    row("stray argument", { QStringLiteral("list"), server, Embedded, QStringLiteral("extra") },
        QStringLiteral("多余的参数"));
    row("unknown mode",
        { QStringLiteral("sample"), server, Embedded, QStringLiteral("--mode"), QStringLiteral("cloud") },
        QStringLiteral("未知的创建方式：cloud"));
    row("unknown mode of a creation",
        { QStringLiteral("create"), server, Embedded, db, QStringLiteral("001"), name, QStringLiteral("x"),
            QStringLiteral("--mode"), QStringLiteral("cloud") },
        QStringLiteral("未知的创建方式：cloud"), setPassword);
    row("rented login without a user",
        { QStringLiteral("login"), server, Embedded, QStringLiteral("--rented") }, QStringLiteral("--user"));
    row("doctor --finish without --repair",
        { QStringLiteral("doctor"), server, Embedded, QStringLiteral("--finish"), name, QStringLiteral("x") },
        QStringLiteral("--finish"), setPassword);
    // No file option, no environment variable and no terminal (the child has none).
    const QString noPassword = QStringLiteral("缺少口令");
    row("login password on the terminal without one",
        { QStringLiteral("login"), server, Embedded, QStringLiteral("--user"), QStringLiteral("sa") },
        noPassword);
    row("check password on the terminal without one",
        { QStringLiteral("check"), server, Embedded, QStringLiteral("--user"), QStringLiteral("sa") },
        noPassword);
    row("create without any password source",
        { QStringLiteral("create"), server, Embedded, db, QStringLiteral("001"), name, QStringLiteral("x") },
        noPassword);
    row("delete without any password source",
        { QStringLiteral("delete"), server, Embedded, db, QStringLiteral("001") }, noPassword);
    row("restore without any password source",
        { QStringLiteral("restore"), server, Embedded, QStringLiteral("--from"), QStringLiteral("x.bak"), db,
            QStringLiteral("001"), name, QStringLiteral("x") },
        noPassword);
    row("copy without the set's present password",
        { QStringLiteral("copy"), server, Embedded, db, QStringLiteral("001"), QStringLiteral("--to"),
            QStringLiteral("002"), name, QStringLiteral("x") },
        noPassword, setPassword);
    row("copy without a new number",
        { QStringLiteral("copy"), server, Embedded, db, QStringLiteral("001"), name, QStringLiteral("x") },
        QStringLiteral("缺少选项 --to"), setPassword);
    row("doctor --finish without any password source",
        { QStringLiteral("doctor"), server, Embedded, QStringLiteral("--repair"), QStringLiteral("--finish"),
            name, QStringLiteral("x") },
        noPassword);
    row("password file is a pipe",
        { QStringLiteral("delete"), server, Embedded, db, QStringLiteral("001"),
            QStringLiteral("--set-password-file"), QStringLiteral("@fifo") },
        QStringLiteral("不是普通文件"));
    row("password file missing",
        { QStringLiteral("delete"), server, Embedded, db, QStringLiteral("001"),
            QStringLiteral("--set-password-file"), QStringLiteral("/nonexistent/pw") },
        QStringLiteral("无法读取口令文件"));
    // An empty server name, on every command that takes one.
    const QStringList emptyServer[] = {
        { QStringLiteral("check") },
        { QStringLiteral("login") },
        { QStringLiteral("create"), db, QStringLiteral("001"), name, QStringLiteral("x") },
        { QStringLiteral("list") },
        { QStringLiteral("take-over"), db, QStringLiteral("001") },
        { QStringLiteral("delete"), db, QStringLiteral("001") },
        { QStringLiteral("backup"), db, QStringLiteral("001") },
        { QStringLiteral("restore"), QStringLiteral("--from"), QStringLiteral("x.bak"), db,
            QStringLiteral("001"), name, QStringLiteral("x") },
        { QStringLiteral("restore"), QStringLiteral("--from"), QStringLiteral("x.bak"),
            QStringLiteral("--verify-only") },
        { QStringLiteral("doctor") },
        { QStringLiteral("sample") },
        { QStringLiteral("copy"), db, QStringLiteral("001"), QStringLiteral("--to"), QStringLiteral("002"),
            name, QStringLiteral("x") },
    };
    for (const QStringList &command : emptyServer) {
        const QByteArray title = "empty server: " + command.join(u' ').toUtf8();
        QTest::newRow(title.constData())
            << (QStringList { command.first(), server, QString() } + command.mid(1)) << setPassword
            << QStringLiteral("服务器名称");
    }
}

void TestZtAccountSetContract::commandLineProblemsAreUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, env);
    QFETCH(QString, message);
    // A FIFO without a writer would block a reader for ever.
    const QString fifo = m_install->dir() + QStringLiteral("pw.fifo");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    arguments.replaceInStrings(QStringLiteral("@fifo"), fifo);
    const CliResult r = run(arguments, env);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    // With --json a script gets one object for the refusal too.
    const CliResult json = run(QStringList { QStringLiteral("--json") } + arguments, env);
    QCOMPARE(json.exitCode, 2);
    QCOMPARE(json.out.count(u'\n'), 1);
    QCOMPARE(json.json.value(QStringLiteral("ok")), QJsonValue(false));
    QCOMPARE(json.json.value(QStringLiteral("exit")).toInt(), 2);
    QVERIFY2(json.json.value(QStringLiteral("error")).toString().contains(message), qPrintable(json.out));

    // An installation directory that does not exist is a usage error before anything runs.
    const CliResult noDir = runCli(QStringLiteral("/nonexistent/ztwizard"),
        { QStringLiteral("list"), QStringLiteral("--server"), Embedded });
    QCOMPARE(noDir.exitCode, 2);
}

void TestZtAccountSetContract::noSecretInAnyCommandsJson()
{
    const QString loginPassword = QStringLiteral("LgPw4711x");
    const QString setPassword = QStringLiteral("StPw0815y");
    zt::test::embeddedExec(QStringLiteral("master"),
        QStringLiteral("create login keeper with password='%1'").arg(loginPassword));
    zt::test::embeddedExec(
        QStringLiteral("master"), QStringLiteral("alter server role sysadmin add member keeper"));
    QTemporaryFile loginFile;
    QTemporaryFile setFile;
    const QString loginPath = writeFile(loginFile, loginPassword.toUtf8() + '\n');
    const QString setPath = writeFile(setFile, setPassword.toUtf8() + '\n');

    const QStringList server { QStringLiteral("--server"), Embedded };
    const QStringList asKeeper { QStringLiteral("--user"), QStringLiteral("keeper"),
        QStringLiteral("--password-file"), loginPath };
    const QStringList withSetPassword { QStringLiteral("--set-password-file"), setPath };
    struct Step
    {
        const char *what;
        QStringList arguments;
        int exitCode;
    };
    // Every subcommand, in an order where each has something to show: the stored login, a set
    // with its password in the local list and the directory, a backup, a restored set, a set
    // taken over on a workstation without it, the doctor's findings after a deletion.
    const QList<Step> steps = {
        { "servers", { QStringLiteral("servers") }, 0 },
        { "check", QStringList { QStringLiteral("check") } + server + asKeeper, 0 },
        { "login", QStringList { QStringLiteral("login") } + server + asKeeper, 0 },
        { "create",
            QStringList { QStringLiteral("create") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("201"), QStringLiteral("--name"),
                    QStringLiteral("甲") }
                + withSetPassword,
            0 },
        { "list", QStringList { QStringLiteral("list") } + server, 0 },
        { "rename",
            QStringList { QStringLiteral("rename") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("201"), QStringLiteral("--name"),
                    QStringLiteral("甲乙"), QStringLiteral("--current-password-file"), setPath },
            0 },
        { "set-password",
            QStringList { QStringLiteral("set-password") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("201"),
                    QStringLiteral("--current-password-file"), setPath }
                + withSetPassword,
            0 },
        { "backup",
            QStringList { QStringLiteral("backup") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("201"), QStringLiteral("--to"),
                    QStringLiteral("k.bak") },
            0 },
        { "restore --verify-only",
            QStringList { QStringLiteral("restore") } + server
                + QStringList { QStringLiteral("--from"), QStringLiteral("k.bak"),
                    QStringLiteral("--verify-only") },
            0 },
        { "take-over refused",
            QStringList { QStringLiteral("take-over") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("201") },
            1 },
        { "take-over", {}, 0 }, // after the local rows are gone, below
        { "restore",
            QStringList { QStringLiteral("restore") } + server
                + QStringList { QStringLiteral("--from"), QStringLiteral("k.bak"), QStringLiteral("--db"),
                    QStringLiteral("202"), QStringLiteral("--name"), QStringLiteral("乙") }
                + withSetPassword,
            0 },
        { "copy",
            QStringList { QStringLiteral("copy") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("201"), QStringLiteral("--to"),
                    QStringLiteral("203"), QStringLiteral("--name"), QStringLiteral("丙"),
                    QStringLiteral("--current-password-file"), setPath }
                + withSetPassword,
            0 },
        { "sample", QStringList { QStringLiteral("sample") } + server, 0 },
        { "delete",
            QStringList { QStringLiteral("delete") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("202") } + withSetPassword,
            0 },
        { "delete with a wrong password",
            QStringList { QStringLiteral("delete") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("201") },
            1 },
        { "doctor", QStringList { QStringLiteral("doctor") } + server, 1 },
        { "doctor --repair",
            QStringList { QStringLiteral("doctor") } + server
                + QStringList { QStringLiteral("--repair"), QStringLiteral("--yes") },
            0 },
    };
    int rowsSeen = 0;
    for (Step step : steps) {
        if (QByteArray(step.what) == "take-over") {
            zt::data::Connection local;
            local.setConnectionString(zt::store::localAccessString(QStringLiteral("MORVEK.mdb")));
            local.backend().execute(QStringLiteral("delete from ztxxb"));
            step.arguments = QStringList { QStringLiteral("take-over") } + server
                + QStringList { QStringLiteral("--db"), QStringLiteral("201") };
        }
        const CliResult r = run(QStringList { QStringLiteral("--json") } + step.arguments,
            { QStringLiteral("ZTWIZARD_SET_PASSWORD=wrong") });
        QVERIFY2(r.exitCode == step.exitCode,
            qPrintable(QStringLiteral("%1: %2 %3").arg(step.what).arg(r.exitCode).arg(r.out + r.err)));
        QVERIFY2(!r.json.isEmpty(), step.what);
        for (const QString &secret : { loginPassword, setPassword })
            QVERIFY2(!r.out.contains(secret) && !r.err.contains(secret),
                qPrintable(QString::fromLatin1(step.what) + u'\n' + r.out));
        // Every stored row shows its kl only as set or not.
        for (const QJsonValue &row : r.json.value(QStringLiteral("rows")).toArray()) {
            const QJsonObject fields = row.toObject().value(QStringLiteral("fields")).toObject();
            for (auto field = fields.begin(); field != fields.end(); ++field) {
                if (field.key().compare(QStringLiteral("kl"), Qt::CaseInsensitive) == 0) {
                    QVERIFY2(field.value().toString() == QStringLiteral("***")
                            || field.value().toString().isEmpty(),
                        step.what);
                    ++rowsSeen;
                }
            }
        }
    }
    QVERIFY2(rowsSeen >= 4, qPrintable(QString::number(rowsSeen)));
}

QTEST_GUILESS_MAIN(TestZtAccountSetContract)
#include "tst_ztaccountset_contract.moc"
