// The backup plan's clock and rotation, and how a set's last backup is told from the server's
// record beside the plan's own.

#include "backupplan/backupstatus.h"
#include "testinstallation.h"

#include <QTest>

using namespace zt::backupplan;

class TestBackupPlan final : public QObject
{
    Q_OBJECT

private slots:
    void dueAtItsTimeOnceADay_data();
    void dueAtItsTimeOnceADay();
    void rotationWrapsAfterTheCopiesKept_data();
    void rotationWrapsAfterTheCopiesKept();
    void aFailureCountsUntilAGoodBackupFollows();
    void planAndStateSurviveAndServersShareNoFile();
};

namespace {

QDateTime at(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

void TestBackupPlan::dueAtItsTimeOnceADay_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("since"); // when the plan was set
    QTest::addColumn<QString>("lastRun"); // empty: never
    QTest::addColumn<QString>("now");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("due");

    QTest::newRow("set at noon for two: not before two") << "02:00"
                                                         << "2026-12-09 12:00"
                                                         << ""
                                                         << "2026-12-10 01:59" << true << false;
    QTest::newRow("set at noon for two: at two") << "02:00"
                                                 << "2026-12-09 12:00"
                                                 << ""
                                                 << "2026-12-10 02:00" << true << true;
    QTest::newRow("set at one for two, same day") << "02:00"
                                                  << "2026-12-10 01:00"
                                                  << ""
                                                  << "2026-12-10 02:15" << true << true;
    QTest::newRow("set after today's time: tomorrow") << "02:00"
                                                      << "2026-12-10 03:00"
                                                      << ""
                                                      << "2026-12-10 23:59" << true << false;
    QTest::newRow("ran today: not again") << "02:00"
                                          << "2026-12-01 00:00"
                                          << "2026-12-10 02:00"
                                          << "2026-12-10 23:00" << true << false;
    QTest::newRow("ran yesterday: today at two") << "02:00"
                                                 << "2026-12-01 00:00"
                                                 << "2026-12-09 02:00"
                                                 << "2026-12-10 02:00" << true << true;
    QTest::newRow("off at two, on at eight") << "02:00"
                                             << "2026-12-01 00:00"
                                             << "2026-12-09 02:00"
                                             << "2026-12-10 08:00" << true << true;
    QTest::newRow("missed yesterday, before today's time") << "02:00"
                                                           << "2026-12-01 00:00"
                                                           << "2026-12-08 02:00"
                                                           << "2026-12-10 01:00" << true << true;
    QTest::newRow("evening plan, morning after") << "23:30"
                                                 << "2026-12-01 00:00"
                                                 << "2026-12-09 23:30"
                                                 << "2026-12-10 09:00" << true << false;
    QTest::newRow("disabled") << "02:00"
                              << "2026-12-01 00:00"
                              << "2026-12-01 02:00"
                              << "2026-12-10 08:00" << false << false;
}

void TestBackupPlan::dueAtItsTimeOnceADay()
{
    QFETCH(QString, time);
    QFETCH(QString, since);
    QFETCH(QString, lastRun);
    QFETCH(QString, now);
    QFETCH(bool, enabled);
    QFETCH(bool, due);
    Plan plan;
    plan.time = QTime::fromString(time, QStringLiteral("HH:mm"));
    plan.since = at(since);
    plan.enabled = enabled;
    PlanState state;
    state.lastRunStarted = at(lastRun);
    QCOMPARE(isDue(plan, state, at(now)), due);
}

void TestBackupPlan::rotationWrapsAfterTheCopiesKept_data()
{
    QTest::addColumn<int>("lastSlot"); // -1: no record
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("next");
    QTest::newRow("first copy") << -1 << 3 << 1;
    QTest::newRow("second") << 1 << 3 << 2;
    QTest::newRow("wraps") << 3 << 3 << 1;
    QTest::newRow("one copy kept") << 1 << 1 << 1;
    QTest::newRow("fewer kept than written before") << 5 << 2 << 1;
}

void TestBackupPlan::rotationWrapsAfterTheCopiesKept()
{
    QFETCH(int, lastSlot);
    QFETCH(int, keep);
    QFETCH(int, next);
    SetState last;
    last.slot = lastSlot;
    QCOMPARE(nextSlot(lastSlot < 0 ? nullptr : &last, keep), next);
    QCOMPARE(rotationFileName(QStringLiteral("ZT01"), next), QStringLiteral("ZT01_auto_%1.bak").arg(next));
}

void TestBackupPlan::aFailureCountsUntilAGoodBackupFollows()
{
    PlanState state;
    state.sets = { { QStringLiteral("A"), at("2026-12-10 02:00"), false, {}, QStringLiteral("磁盘已满"), 1 },
        { QStringLiteral("B"), at("2026-12-10 02:00"), false, {}, QStringLiteral("911"), 0 },
        { QStringLiteral("C"), at("2026-12-10 02:00"), true, QStringLiteral("/b/C_auto_1.bak"), {}, 1 } };
    // A was backed up by hand after the failure; B's last good one is older; C's history is closed.
    const QHash<QString, RecordedBackup> recorded
        = { { QStringLiteral("a"), { at("2026-12-10 09:00"), QStringLiteral("/b/A_hand.bak") } },
              { QStringLiteral("b"), { at("2026-12-09 02:00"), QStringLiteral("/b/B_auto_1.bak") } } };
    const QList<SetStatus> s = backupStatus({ "A", "B", "C", "D" }, recorded, state);
    QCOMPARE(s.size(), 4);
    QVERIFY(!s[0].failed);
    QCOMPARE(s[0].file, QStringLiteral("/b/A_hand.bak"));
    QVERIFY(s[1].failed);
    QCOMPARE(s[1].file, QStringLiteral("/b/B_auto_1.bak"));
    QVERIFY(s[1].outcomeText().contains(QStringLiteral("911")));
    QVERIFY(!s[2].failed);
    QCOMPARE(s[2].file, QStringLiteral("/b/C_auto_1.bak"));
    QCOMPARE(s[3].timeText(), QStringLiteral("从未备份"));
}

void TestBackupPlan::planAndStateSurviveAndServersShareNoFile()
{
    zt::test::TestInstallation install;
    QVERIFY(install.isValid());
    Plan plan;
    plan.server = QStringLiteral("host\\INST");
    plan.time = QTime(3, 15);
    plan.keep = 4;
    plan.allSets = false;
    plan.sets = { QStringLiteral("甲01") };
    savePlan(plan);
    Plan other;
    other.server = QStringLiteral("../etc");
    savePlan(other);

    const auto back = loadPlan(QStringLiteral(" HOST\\inst "));
    QVERIFY(back);
    QCOMPARE(back->time, QTime(3, 15));
    QCOMPARE(back->sets, plan.sets);
    QVERIFY(back->since.isValid());
    QCOMPARE(allPlans().size(), 2);
    for (const QString &file : QDir(planFolder()).entryList(QDir::Files))
        QVERIFY2(!file.contains(u'/') && !file.startsWith(u'.'), qPrintable(file));

    PlanState state;
    state.entry(QStringLiteral("甲01"))
        = { QStringLiteral("甲01"), at("2026-12-10 02:00"), true, QStringLiteral("x"), {}, 2 };
    saveState(plan.server, state);
    QCOMPARE(loadState(plan.server).find(QStringLiteral("甲01"))->slot, 2);
    QVERIFY(!loadState(other.server).find(QStringLiteral("甲01")));

    removePlan(plan.server);
    QVERIFY(!loadPlan(plan.server));
    QCOMPARE(loadState(plan.server).sets.size(), 0);
}

QTEST_GUILESS_MAIN(TestBackupPlan)
#include "tst_backupplan.moc"
