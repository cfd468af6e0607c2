// ztaccountset's account-set commands as whole processes on a private installation with the
// embedded server: create, list, take-over, delete, sample, backup and restore, each with its
// success, its main refusals, its exit status and the rows its JSON reports.

#include "cliprocess.h"
#include "clitestbase.h"

#include "data/connection.h"
#include "store/localstore.h"

#include <QJsonArray>
#include <QTemporaryFile>
#include <QTest>

using zt::test::CliResult;
using zt::test::rowFields;
using zt::test::rowTables;
using zt::test::writeFile;

namespace {

const QString Embedded = QStringLiteral("(embedded)");

} // namespace

class TestZtAccountSetSets final : public zt::test::CliTestBase
{
    Q_OBJECT

private slots:
    void init() { makeInstallation(); }
    void cleanup() { dropInstallation(); }

    void accountSetLifeCycle();
    void creationRefusalsKeepThePagesTexts_data();
    void creationRefusalsKeepThePagesTexts();
    void takeOverAfterTheLocalRowIsGone();
    void sampleOnceThenRefused();
    void backupRestoreAndTheSafetyCopy();
};

void TestZtAccountSetSets::accountSetLifeCycle()
{
    QVERIFY(login(Embedded));
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

void TestZtAccountSetSets::creationRefusalsKeepThePagesTexts_data()
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

void TestZtAccountSetSets::creationRefusalsKeepThePagesTexts()
{
    QFETCH(QString, db);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QVERIFY(login(Embedded));
    const CliResult r = run({ QStringLiteral("--json"), QStringLiteral("create"), QStringLiteral("--server"),
                                Embedded, QStringLiteral("--db"), db, QStringLiteral("--name"), name },
        { QStringLiteral("ZTWIZARD_SET_PASSWORD=") });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(message), qPrintable(r.err));
    QCOMPARE(r.json.value(QStringLiteral("ok")).toBool(true), false);
    QCOMPARE(r.json.value(QStringLiteral("rows")).toArray().size(), 0);
}

void TestZtAccountSetSets::takeOverAfterTheLocalRowIsGone()
{
    QVERIFY(login(Embedded));
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

void TestZtAccountSetSets::sampleOnceThenRefused()
{
    // Without a stored server record the login fragment is empty and the server refuses.
    const CliResult noLogin = run({ QStringLiteral("sample"), QStringLiteral("--server"), Embedded });
    QCOMPARE(noLogin.exitCode, 1);

    QVERIFY(login(Embedded));
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

void TestZtAccountSetSets::backupRestoreAndTheSafetyCopy()
{
    QVERIFY(login(Embedded));
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
    QVERIFY(backedUp.err.startsWith(QStringLiteral("账套备份成功！\n备份文件（在本机上）：")));
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

QTEST_GUILESS_MAIN(TestZtAccountSetSets)
#include "tst_ztaccountset_sets.moc"
