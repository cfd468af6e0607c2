// Scheduled backups on the real road: a plan set through ztaccountset, the timer's command run
// against ztwizard-tds serving this installation's embedded instance, the rotation of the copies
// kept, the record a user reads, a failure shown and mended by the doctor.

#include "cliprocess.h"
#include "clitestbase.h"
#include "tdsprocess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTest>

using zt::test::CliResult;

class TestScheduledBackups final : public zt::test::CliTestBase
{
    Q_OBJECT

public:
    TestScheduledBackups()
        : CliTestBase(
            { QStringLiteral("ZTWIZARD_LOGIN_PASSWORD="), QStringLiteral("ZTWIZARD_SET_PASSWORD=t") })
    { }

private slots:
    void init() { makeInstallation(); }
    void cleanup() { dropInstallation(); }

    void planRunsAtItsTimeAndRotatesItsCopies();
    void aFailedSetIsShownAndMendedByTheDoctor();
    void commandLineMistakes_data();
    void commandLineMistakes();

private:
    // Sets the server up with the stored login and the sets of the numbers.
    void prepare(const QString &server, const QStringList &numbers);
    // Moves the plan's setting and its last run a day back, as if set yesterday and run then.
    void dayPasses();
    QStringList rotatingFiles() const
    {
        return QDir(m_install->dir() + QStringLiteral("data/backup"))
            .entryList({ QStringLiteral("*_auto_*.bak") }, QDir::Files, QDir::Name);
    }
};

void TestScheduledBackups::prepare(const QString &server, const QStringList &numbers)
{
    QVERIFY(login(server, QStringLiteral("sa")));
    for (const QString &number : numbers)
        QVERIFY(create(server, number, QStringLiteral("账套") + number));
}

void TestScheduledBackups::dayPasses()
{
    const QDir folder(m_install->dir() + QStringLiteral("data/backupplans"));
    for (const QString &name : folder.entryList({ QStringLiteral("*.json") }, QDir::Files)) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        for (const QString &key : { QStringLiteral("since"), QStringLiteral("last_run_started") }) {
            if (o.contains(key)) {
                const QDateTime moment = QDateTime::fromString(o.value(key).toString(), Qt::ISODate);
                o.insert(key,
                    (moment.isValid() ? moment : QDateTime::currentDateTime())
                        .addDays(-1)
                        .toString(Qt::ISODate));
            }
        }
        file.resize(0);
        file.write(QJsonDocument(o).toJson());
    }
}

void TestScheduledBackups::planRunsAtItsTimeAndRotatesItsCopies()
{
    zt::test::TdsProcess tds(m_install->dir());
    QVERIFY(tds.port() > 0);
    const QString server = tds.serverName();
    prepare(server, {});
    // The first day: a plan for every set on a server where none was registered yet (no
    // directory table) backs nothing up and fails nothing.
    CliResult first = run({ QStringLiteral("backup-plan"), QStringLiteral("set"), QStringLiteral("--server"),
        server, QStringLiteral("--all") });
    QVERIFY2(first.exitCode == 0, qPrintable(first.err));
    first = run({ QStringLiteral("--json"), QStringLiteral("backup-plan"), QStringLiteral("run"),
        QStringLiteral("--server"), server });
    QVERIFY2(first.exitCode == 0, qPrintable(first.err));
    QCOMPARE(first.json.value(QStringLiteral("runs"))
                 .toArray()
                 .at(0)
                 .toObject()
                 .value(QStringLiteral("sets"))
                 .toArray()
                 .size(),
        0);
    prepare(server, { QStringLiteral("ZB01"), QStringLiteral("ZB02") });

    // A plan for every set at the start of the day, two copies each.
    CliResult r = run({ QStringLiteral("backup-plan"), QStringLiteral("set"), QStringLiteral("--server"),
        server, QStringLiteral("--time"), QStringLiteral("00:00"), QStringLiteral("--keep"),
        QStringLiteral("2"), QStringLiteral("--all") });
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    // Set today after its time: the timer's command has nothing to do until tomorrow.
    r = run({ QStringLiteral("--json"), QStringLiteral("backup-plan"), QStringLiteral("run"),
        QStringLiteral("--due") });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.json.value(QStringLiteral("runs")).toArray().size(), 0);
    QVERIFY(rotatingFiles().isEmpty());

    // Three days: copies 1, 2, then 1 again; each day's second call does nothing.
    const QList<QStringList> expected = { { "ZB01_auto_1.bak", "ZB02_auto_1.bak" },
        { "ZB01_auto_1.bak", "ZB01_auto_2.bak", "ZB02_auto_1.bak", "ZB02_auto_2.bak" },
        { "ZB01_auto_1.bak", "ZB01_auto_2.bak", "ZB02_auto_1.bak", "ZB02_auto_2.bak" } };
    for (int day = 0; day < 3; ++day) {
        dayPasses();
        r = run({ QStringLiteral("--json"), QStringLiteral("backup-plan"), QStringLiteral("run"),
            QStringLiteral("--due") });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QJsonArray runs = r.json.value(QStringLiteral("runs")).toArray();
        QCOMPARE(runs.size(), 1);
        const QJsonArray sets = runs.at(0).toObject().value(QStringLiteral("sets")).toArray();
        QCOMPARE(sets.size(), 2);
        for (const QJsonValue &set : sets) {
            QVERIFY(set.toObject().value(QStringLiteral("ok")).toBool());
            QCOMPARE(set.toObject().value(QStringLiteral("slot")).toInt(), day % 2 + 1);
        }
        QCOMPARE(rotatingFiles(), expected.at(day));
        r = run({ QStringLiteral("--json"), QStringLiteral("backup-plan"), QStringLiteral("run"),
            QStringLiteral("--due") });
        QCOMPARE(r.json.value(QStringLiteral("runs")).toArray().size(), 0);
    }

    // What a user reads: each set's last backup as the server recorded it.
    r = run({ QStringLiteral("--json"), QStringLiteral("backup-plan"), QStringLiteral("show"),
        QStringLiteral("--server"), server });
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QJsonArray shown = r.json.value(QStringLiteral("sets")).toArray();
    QCOMPARE(shown.size(), 2);
    for (const QJsonValue &set : shown) {
        QVERIFY(!set.toObject().value(QStringLiteral("last_backup")).toString().isEmpty());
        QVERIFY2(
            set.toObject().value(QStringLiteral("file")).toString().endsWith(QStringLiteral("_auto_1.bak")),
            qPrintable(set.toObject().value(QStringLiteral("file")).toString()));
        QVERIFY(!set.toObject().value(QStringLiteral("failed")).toBool());
    }
    QVERIFY(r.err.contains(QStringLiteral("全部成功")));

    // Fewer copies kept: the next run leaves one file per set on this machine's disk.
    r = run({ QStringLiteral("backup-plan"), QStringLiteral("set"), QStringLiteral("--server"), server,
        QStringLiteral("--keep"), QStringLiteral("1") });
    QCOMPARE(r.exitCode, 0);
    dayPasses();
    r = run({ QStringLiteral("backup-plan"), QStringLiteral("run"), QStringLiteral("--due") });
    QCOMPARE(r.exitCode, 0);
}

void TestScheduledBackups::aFailedSetIsShownAndMendedByTheDoctor()
{
    const QString server = QStringLiteral("(embedded)");
    prepare(server, { QStringLiteral("ZB11") });
    CliResult r
        = run({ QStringLiteral("backup-plan"), QStringLiteral("set"), QStringLiteral("--server"), server,
            QStringLiteral("--time"), QStringLiteral("00:00"), QStringLiteral("--keep"), QStringLiteral("3"),
            QStringLiteral("--db"), QStringLiteral("ZB11"), QStringLiteral("--db"), QStringLiteral("ZB12") });
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    dayPasses();
    // ZB12 is not there yet: the run fails for it alone, and says so.
    r = run({ QStringLiteral("--json"), QStringLiteral("backup-plan"), QStringLiteral("run"),
        QStringLiteral("--due") });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("账套 ZB12 备份出错！")), qPrintable(r.err));
    QCOMPARE(rotatingFiles(), QStringList { QStringLiteral("ZB11_auto_1.bak") });

    r = run({ QStringLiteral("--json"), QStringLiteral("backup-plan"), QStringLiteral("show"),
        QStringLiteral("--server"), server });
    QCOMPARE(r.json.value(QStringLiteral("last_run_failed")).toBool(), true);
    QStringList failed;
    for (const QJsonValue &set : r.json.value(QStringLiteral("sets")).toArray()) {
        if (set.toObject().value(QStringLiteral("failed")).toBool())
            failed << set.toObject().value(QStringLiteral("db")).toString();
    }
    QCOMPARE(failed, QStringList { QStringLiteral("ZB12") });

    r = run({ QStringLiteral("--json"), QStringLiteral("doctor"), QStringLiteral("--server"), server });
    QVERIFY2(r.out.contains(QStringLiteral("failed-scheduled-backup")), qPrintable(r.out));
    // The set made meanwhile: the doctor's mend backs it up now, and the failure is gone.
    prepare(server, { QStringLiteral("ZB12") });
    r = run({ QStringLiteral("--json"), QStringLiteral("doctor"), QStringLiteral("--server"), server,
        QStringLiteral("--repair"), QStringLiteral("--yes") });
    QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
    QCOMPARE(rotatingFiles(),
        (QStringList { QStringLiteral("ZB11_auto_1.bak"), QStringLiteral("ZB12_auto_1.bak") }));
    r = run({ QStringLiteral("--json"), QStringLiteral("doctor"), QStringLiteral("--server"), server });
    QVERIFY2(!r.out.contains(QStringLiteral("failed-scheduled-backup")), qPrintable(r.out));
    // The mend stood for one set, not for the day's run: nothing else was run early.
    QVERIFY(!r.out.contains(QStringLiteral("overdue-backup-plan")));
}

void TestScheduledBackups::commandLineMistakes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::newRow("no action") << QStringList { "backup-plan" } << 2 << "缺少操作";
    QTest::newRow("unknown action") << QStringList { "backup-plan", "start" } << 2 << "未知操作";
    QTest::newRow("set without server") << QStringList { "backup-plan", "set" } << 2 << "服务器名称不可为空";
    QTest::newRow("time not a time") << QStringList { "backup-plan", "set", "--server", "(embedded)",
        "--time", "25:00" } << 2 << "时:分";
    QTest::newRow("keep out of range")
        << QStringList { "backup-plan", "set", "--server", "(embedded)", "--keep", "0" } << 1 << "1 到 99";
    QTest::newRow("all and db") << QStringList { "backup-plan", "set", "--server", "(embedded)", "--all",
        "--db", "A" } << 2 << "只能选一个";
    QTest::newRow("no stored login") << QStringList { "backup-plan", "set", "--server", "(embedded)" } << 1
                                     << "ztaccountset login";
    QTest::newRow("run of a server without plan")
        << QStringList { "backup-plan", "run", "--server", "(embedded)" } << 1 << "没有自动备份计划";
}

void TestScheduledBackups::commandLineMistakes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    const CliResult r = run(arguments);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(said), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestScheduledBackups)
#include "tst_scheduledbackups.moc"
