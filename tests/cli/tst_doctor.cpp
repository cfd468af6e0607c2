// The account-set doctor as a whole process on the embedded server: what it names for each planted
// inconsistency, what its repair keeps, and the stores brought back after the command line is
// killed at many points of a creation, a deletion, a backup and a restore.

#include "cliprocess.h"
#include "clitestbase.h"
#include "testhelpers.h"

#include "data/connection.h"
#include "store/localstore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTest>

#include <functional>

using zt::test::CliResult;
using namespace zt;

namespace {

const QString Embedded = QStringLiteral("(embedded)");
const QStringList SetPassword { QStringLiteral("ZTWIZARD_SET_PASSWORD=kl") };

QStringList kinds(const QJsonObject &examination)
{
    QStringList names;
    for (const QJsonValue &f : examination.value(QStringLiteral("findings")).toArray())
        names << f.toObject().value(QStringLiteral("kind")).toString() + u':'
                + f.toObject().value(QStringLiteral("db")).toString();
    names.sort();
    return names;
}

void localExec(const QString &sql)
{
    data::Connection c;
    data::Query q(QStringLiteral("local"));
    zt::store::openLocalConfiguration(c, q);
    data::reexecute(q, sql);
}

// Rows of the marker the test writes into the set whose data must not be lost.
int markerRows(const QString &database)
{
    data::Connection c;
    c.setConnectionString(data::ConnectionString::catalog(
        data::LoginFragment::fromLogin(data::Credentials::integrated()), database, Embedded));
    return zt::test::openQuery(c, QStringLiteral("select count(*) from users where ID = 777"))
        ->textAt(0, 0)
        .toInt();
}

// Rows of the last base-data table in a set, or (empty name) as shipped in Sample.mdb.
int shippedRows(const QString &database)
{
    data::Connection c;
    c.setConnectionString(database.isEmpty()
            ? store::localAccessString(QStringLiteral("Sample.mdb"))
            : data::ConnectionString::catalog(
                data::LoginFragment::fromLogin(data::Credentials::integrated()), database, Embedded));
    return zt::test::openQuery(c, QStringLiteral("select count(*) from xtxxb_other"))->textAt(0, 0).toInt();
}

// The rows of a number in this workstation's list (under the embedded server) and in its directory.
int localRows(const QString &number)
{
    data::Connection c;
    data::Query q(QStringLiteral("local"));
    zt::store::openLocalConfiguration(c, q);
    zt::store::findAccountSetRow(q, number, Embedded);
    return q.recordCount();
}

int directoryRows(const QString &number)
{
    data::Connection c;
    c.setConnectionString(data::ConnectionString::master(
        data::LoginFragment::fromLogin(data::Credentials::integrated()), Embedded));
    return zt::test::openQuery(
        c, QStringLiteral("select * from PBTOVRASQLBASEDATA where ztbh = %1").arg(data::plainLiteral(number)))
        ->recordCount();
}

// A second directory row of the number, as repairs of a workstation listing a set twice wrote.
void listTwiceInTheDirectory(const QString &number)
{
    zt::test::embeddedExec(QStringLiteral("master"),
        QStringLiteral("insert into PBTOVRASQLBASEDATA (ztbh, ztmc, zjmc, kl, jlrq) select ztbh, ztmc, "
                       "zjmc, kl, jlrq from PBTOVRASQLBASEDATA where ztbh = %1")
            .arg(data::plainLiteral(number)));
}

QString databaseFile(const QString &dir, const QString &name)
{
    return dir + QStringLiteral("data/embedded/default/") + name + QStringLiteral(".db");
}

} // namespace

class TestDoctor final : public zt::test::CliTestBase
{
    Q_OBJECT

private slots:
    void init()
    {
        makeInstallation();
        QVERIFY(login(Embedded));
    }
    void cleanup() { dropInstallation(); }

    void namesAndMendsPlantedInconsistencies_data();
    void namesAndMendsPlantedInconsistencies();
    void killedOperationsAreBroughtBack_data();
    void killedOperationsAreBroughtBack();
    void damagedBackupIsRefusedWithNothingLeft();
    void finishCompletesAPartlyBuiltSet();
    void createDeleteCreateLeavesOneRowInEachList();

private:
    // The set of the number on the embedded server, named 套<number>, with the password kl.
    void create(const QString &number)
    {
        QVERIFY(CliTestBase::create(Embedded, number, u'套' + number, SetPassword));
    }
    CliResult doctor(const QStringList &extra = {})
    {
        return run(QStringList { QStringLiteral("--json"), QStringLiteral("doctor"),
                       QStringLiteral("--server"), Embedded }
            + extra);
    }
};

void TestDoctor::namesAndMendsPlantedInconsistencies_data()
{
    using Plant = std::function<void(TestDoctor &, const QString &dir)>;
    QTest::addColumn<Plant>("plant");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("kept"); // files the repair leaves, relative to the installation

    QTest::newRow("empty database") << Plant([](TestDoctor &, const QString &) {
        zt::test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database k1"));
    }) << QStringList { QStringLiteral("empty-database:k1") }
                                    << QStringList {};
    QTest::newRow("tables missing") << Plant([](TestDoctor &, const QString &) {
        zt::test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database k2"));
        zt::test::embeddedExec(QStringLiteral("k2"), QStringLiteral("create table ckdsz (xh int)"));
    }) << QStringList { QStringLiteral("unfinished-creation:k2") }
                                    << QStringList { QStringLiteral("data/backup/k2_*.bak") };
    QTest::newRow("base data partial, nothing registered")
        << Plant([](TestDoctor &t, const QString &) {
               t.create(QStringLiteral("k3"));
               zt::test::embeddedExec(
                   QStringLiteral("k3"), QStringLiteral("delete from kjkmxxb where ID > 3"));
               zt::test::embeddedExec(QStringLiteral("master"),
                   QStringLiteral("delete from PBTOVRASQLBASEDATA where ztbh = 'k3'"));
               localExec(QStringLiteral("delete from ztxxb where ztbh = 'k3'"));
           })
        << QStringList { QStringLiteral("unfinished-creation:k3") }
        << QStringList { QStringLiteral("data/backup/k3_*.bak"),
               QStringLiteral("data/SysBase.aside/k3_S_SysBase.mdb") };
    QTest::newRow("complete, nothing registered") << Plant([](TestDoctor &t, const QString &) {
        t.create(QStringLiteral("k4"));
        zt::test::embeddedExec(
            QStringLiteral("master"), QStringLiteral("delete from PBTOVRASQLBASEDATA where ztbh = 'k4'"));
        localExec(QStringLiteral("delete from ztxxb where ztbh = 'k4'"));
    }) << QStringList { QStringLiteral("unregistered-database:k4") }
                                                  << QStringList { QStringLiteral("data/backup/k4_*.bak") };
    QTest::newRow("database gone under both rows")
        << Plant([](TestDoctor &t, const QString &) {
               t.create(QStringLiteral("k5"));
               zt::test::embeddedExec(QStringLiteral("master"), QStringLiteral("drop database k5"));
           })
        << QStringList { QStringLiteral("local-row-without-database:k5"),
               QStringLiteral("stale-directory-row:k5") }
        << QStringList { QStringLiteral("data/backup/doctor_*_directory_k5.json"),
               QStringLiteral("data/backup/doctor_*_local_k5.json") };
    QTest::newRow("directory row gone") << Plant([](TestDoctor &t, const QString &) {
        t.create(QStringLiteral("k6"));
        zt::test::embeddedExec(
            QStringLiteral("master"), QStringLiteral("delete from PBTOVRASQLBASEDATA where ztbh = 'k6'"));
    }) << QStringList { QStringLiteral("local-row-without-directory-row:k6") }
                                        << QStringList {};
    QTest::newRow("directory row twice")
        << Plant([](TestDoctor &t, const QString &) {
               t.create(QStringLiteral("k9"));
               listTwiceInTheDirectory(QStringLiteral("k9"));
           })
        << QStringList { QStringLiteral("duplicate-directory-row:k9") }
        << QStringList { QStringLiteral("data/backup/doctor_*_directory_k9.json") };
    QTest::newRow("local row twice, directory row gone") << Plant([](TestDoctor &t, const QString &) {
        t.create(QStringLiteral("k10"));
        zt::test::embeddedExec(
            QStringLiteral("master"), QStringLiteral("delete from PBTOVRASQLBASEDATA where ztbh = 'k10'"));
        localExec(QStringLiteral("insert into ztxxb select * from ztxxb where ztbh = 'k10'"));
    }) << QStringList { QStringLiteral("local-row-without-directory-row:k10") }
                                                         << QStringList {};
    QTest::newRow("per-set file of nothing")
        << Plant([](TestDoctor &, const QString &dir) {
               QFile::copy(dir + QStringLiteral("data/SysBase.mdb"),
                   dir + QStringLiteral("data/SysBase/k7_S_SysBase.mdb"));
           })
        << QStringList { QStringLiteral("orphan-per-set-file:k7") }
        << QStringList { QStringLiteral("data/SysBase.aside/k7_S_SysBase.mdb") };
    QTest::newRow("restore's temporary file")
        << Plant([](TestDoctor &, const QString &dir) {
               QFile file(dir + QStringLiteral("data/embedded/default/k8.db.restoring-999999999-1"));
               QVERIFY(file.open(QIODevice::WriteOnly));
           })
        << QStringList { QStringLiteral("leftover-temporary-file:") }
        << QStringList { QStringLiteral("data/SysBase.aside/k8.db.restoring-*") };
}

void TestDoctor::namesAndMendsPlantedInconsistencies()
{
    using Plant = std::function<void(TestDoctor &, const QString &dir)>;
    QFETCH(Plant, plant);
    QFETCH(QStringList, found);
    QFETCH(QStringList, kept);
    const QString dir = m_install->dir();
    create(QStringLiteral("001")); // a sound set beside each planted fault, left alone
    QCOMPARE(doctor().exitCode, 0);

    plant(*this, dir);
    const CliResult before = doctor();
    QCOMPARE(before.exitCode, 1);
    const QJsonObject examination = before.json.value(QStringLiteral("examination")).toObject();
    QCOMPARE(kinds(examination), found);
    for (const QJsonValue &f : examination.value(QStringLiteral("findings")).toArray()) {
        for (const QString &key :
            { QStringLiteral("title"), QStringLiteral("meaning"), QStringLiteral("mend") })
            QVERIFY(!f.toObject().value(key).toString().isEmpty());
    }

    // Without a terminal and without --yes nothing is mended.
    QCOMPARE(doctor({ QStringLiteral("--repair") }).exitCode, 1);
    QCOMPARE(kinds(doctor().json.value(QStringLiteral("examination")).toObject()), found);

    const CliResult repaired = doctor({ QStringLiteral("--repair"), QStringLiteral("--yes") });
    QVERIFY2(repaired.exitCode == 0, qPrintable(repaired.err));
    QVERIFY(
        repaired.json.value(QStringLiteral("after")).toObject().value(QStringLiteral("consistent")).toBool());
    for (const QString &pattern : kept) {
        const QFileInfo where(dir + pattern);
        QVERIFY2(
            !QDir(where.path()).entryList({ where.fileName() }, QDir::Files).isEmpty(), qPrintable(pattern));
    }
    QVERIFY(QFile::exists(databaseFile(dir, QStringLiteral("001"))));
    QCOMPARE(doctor().exitCode, 0);
}

void TestDoctor::killedOperationsAreBroughtBack_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("killAt");
    // Statements counted from the first the command sends, its local reads included: a creation
    // sends 44 (the shipped base data are read table by table), a deletion 7, a backup 4 (the
    // verification last), a restore 10. Each is cut before every one of its statements, the long
    // run of the base-data reads at every fourth.
    for (int n : { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 20, 24, 28, 32, 36, 40, 42, 43, 44 })
        QTest::addRow("create, statement %d", n) << QStringLiteral("create") << n;
    for (int n : { 1, 2, 3, 4, 5, 6, 7 })
        QTest::addRow("delete, statement %d", n) << QStringLiteral("delete") << n;
    for (int n : { 1, 2, 3, 4 })
        QTest::addRow("backup, statement %d", n) << QStringLiteral("backup") << n;
    for (int n : { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 })
        QTest::addRow("restore, statement %d", n) << QStringLiteral("restore") << n;
}

void TestDoctor::killedOperationsAreBroughtBack()
{
    QFETCH(QString, operation);
    QFETCH(int, killAt);
    const QString dir = m_install->dir();
    if (operation != QLatin1StringView("create")) {
        create(QStringLiteral("s1"));
        zt::test::embeddedExec(QStringLiteral("s1"), QStringLiteral("insert into users (ID) values (777)"));
    }
    const QString bak = QStringLiteral("s1_before.bak");
    if (operation == QLatin1StringView("restore")) {
        QCOMPARE(run({ QStringLiteral("backup"), QStringLiteral("--server"), Embedded, QStringLiteral("--db"),
                         QStringLiteral("s1"), QStringLiteral("--to"), bak })
                     .exitCode,
            0);
    }

    QStringList arguments { operation, QStringLiteral("--server"), Embedded };
    if (operation == QLatin1StringView("create"))
        arguments << QStringLiteral("--db") << QStringLiteral("k1") << QStringLiteral("--name")
                  << QStringLiteral("新");
    else if (operation == QLatin1StringView("restore"))
        arguments << QStringLiteral("--from") << bak << QStringLiteral("--db") << QStringLiteral("r1")
                  << QStringLiteral("--name") << QStringLiteral("恢复");
    else
        arguments << QStringLiteral("--db") << QStringLiteral("s1");
    const CliResult killed = run(
        arguments, SetPassword + QStringList { QStringLiteral("ZTWIZARD_KILL_AT_STATEMENT=%1").arg(killAt) });
    QVERIFY2(killed.exitCode == -1, qPrintable(QStringLiteral("not killed: ") + killed.err));

    // The doctor names what is left (or nothing) and its repair leaves the stores consistent.
    const CliResult named = doctor();
    QVERIFY(named.exitCode == 0 || named.exitCode == 1);
    QCOMPARE(named.json.value(QStringLiteral("examination"))
                 .toObject()
                 .value(QStringLiteral("problems"))
                 .toArray()
                 .size(),
        0);
    // A cut-short creation is dropped after its backup, or (every other one here) finished.
    const bool finish = operation == QLatin1StringView("create") && killAt % 2 == 0;
    QStringList repair { QStringLiteral("--repair"), QStringLiteral("--yes") };
    if (finish)
        repair << QStringLiteral("--finish") << QStringLiteral("--name") << QStringLiteral("新");
    const CliResult repaired = run(QStringList { QStringLiteral("--json"), QStringLiteral("doctor"),
                                       QStringLiteral("--server"), Embedded }
            + repair,
        SetPassword);
    QVERIFY2(repaired.exitCode == 0, qPrintable(repaired.err));
    QCOMPARE(doctor().exitCode, 0);
    if (finish && QFile::exists(databaseFile(dir, QStringLiteral("k1"))))
        QCOMPARE(shippedRows(QStringLiteral("k1")), shippedRows(QString()));

    // No data lost: the set with its row is still there, or a backup of it that the server reads.
    if (operation != QLatin1StringView("create")) {
        if (QFile::exists(databaseFile(dir, QStringLiteral("s1")))) {
            QCOMPARE(markerRows(QStringLiteral("s1")), 1);
        } else {
            const QStringList backups
                = QDir(dir + QStringLiteral("data/backup")).entryList({ QStringLiteral("s1_*.bak") });
            QVERIFY(!backups.isEmpty());
            const CliResult restored
                = run({ QStringLiteral("restore"), QStringLiteral("--server"), Embedded,
                          QStringLiteral("--from"), backups.first(), QStringLiteral("--db"),
                          QStringLiteral("s2"), QStringLiteral("--name"), QStringLiteral("回") },
                    SetPassword);
            QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
            QCOMPARE(markerRows(QStringLiteral("s2")), 1);
        }
    }
    // And the way is open again: a creation or restore cut short can be made anew.
    const QString target
        = operation == QLatin1StringView("create") ? QStringLiteral("k1") : QStringLiteral("r1");
    if ((operation == QLatin1StringView("create") || operation == QLatin1StringView("restore"))
        && !QFile::exists(databaseFile(dir, target))) {
        const CliResult again = run(arguments, SetPassword);
        QVERIFY2(again.exitCode == 0, qPrintable(again.err));
        QCOMPARE(doctor().exitCode, 0);
    }
}

void TestDoctor::damagedBackupIsRefusedWithNothingLeft()
{
    const QString dir = m_install->dir();
    create(QStringLiteral("s1"));
    const CliResult backup = run({ QStringLiteral("--json"), QStringLiteral("backup"),
        QStringLiteral("--server"), Embedded, QStringLiteral("--db"), QStringLiteral("s1"),
        QStringLiteral("--to"), QStringLiteral("s1.bak"), QStringLiteral("--verify") });
    QCOMPARE(backup.exitCode, 0);
    QVERIFY(backup.json.value(QStringLiteral("verified")).toBool());
    const QStringList verifyOnly { QStringLiteral("--json"), QStringLiteral("restore"),
        QStringLiteral("--server"), Embedded, QStringLiteral("--from"), QStringLiteral("s1.bak"),
        QStringLiteral("--verify-only") };
    QCOMPARE(run(verifyOnly).json.value(QStringLiteral("valid")), QJsonValue(true));

    // A page in the middle of the file overwritten, as a bad disk or an interrupted copy leaves it.
    QFile file(dir + QStringLiteral("data/backup/s1.bak"));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(file.size() / 2 / 4096 * 4096));
    file.write(QByteArray(4096, '\xA5'));
    file.close();

    const CliResult damaged = run(verifyOnly);
    QCOMPARE(damaged.exitCode, 1);
    QCOMPARE(damaged.json.value(QStringLiteral("valid")), QJsonValue(false));
    QVERIFY2(damaged.err.contains(QStringLiteral("RESTORE detected an error on page (1:")),
        qPrintable(damaged.err));
    QVERIFY2(damaged.err.contains(QStringLiteral("VERIFY DATABASE is terminating abnormally.")),
        qPrintable(damaged.err));

    const QStringList before = QDir(dir + QStringLiteral("data/embedded/default")).entryList(QDir::Files);
    const CliResult restore
        = run({ QStringLiteral("restore"), QStringLiteral("--server"), Embedded, QStringLiteral("--from"),
                  QStringLiteral("s1.bak"), QStringLiteral("--db"), QStringLiteral("r1"),
                  QStringLiteral("--name"), QStringLiteral("坏") },
            SetPassword);
    QCOMPARE(restore.exitCode, 1);
    QVERIFY2(restore.err.startsWith(
                 QStringLiteral("恢复账套出错！[ztwizard][SQL Server]RESTORE detected an error on "
                                "page (1:")),
        qPrintable(restore.err));
    QVERIFY2(restore.err.contains(QStringLiteral("in database \"r1\" as read from the backup set.")),
        qPrintable(restore.err));
    QVERIFY2(restore.err.contains(QStringLiteral("RESTORE DATABASE is terminating abnormally.")),
        qPrintable(restore.err));
    // Nothing left behind: no database, no temporary file, no registration.
    QCOMPARE(QDir(dir + QStringLiteral("data/embedded/default")).entryList(QDir::Files), before);
    QCOMPARE(doctor().exitCode, 0);
}

void TestDoctor::finishCompletesAPartlyBuiltSet()
{
    // As a real server leaves a transfer refused half-way: a table missing, another partly filled.
    create(QStringLiteral("k3"));
    zt::test::embeddedExec(QStringLiteral("k3"), QStringLiteral("delete from xtxxb_other where ID > 1"));
    zt::test::embeddedExec(QStringLiteral("k3"), QStringLiteral("drop table ckdsz"));
    zt::test::embeddedExec(QStringLiteral("master"), QStringLiteral("delete from PBTOVRASQLBASEDATA"));
    localExec(QStringLiteral("delete from ztxxb"));
    const QJsonObject found = doctor().json.value(QStringLiteral("examination")).toObject();
    const QJsonObject finding = found.value(QStringLiteral("findings")).toArray().first().toObject();
    QCOMPARE(
        finding.value(QStringLiteral("missing_tables")).toArray(), QJsonArray { QStringLiteral("ckdsz") });
    QCOMPARE(finding.value(QStringLiteral("partial_tables")).toArray(),
        QJsonArray { QStringLiteral("xtxxb_other") });

    const CliResult finished
        = run({ QStringLiteral("--json"), QStringLiteral("doctor"), QStringLiteral("--server"), Embedded,
                  QStringLiteral("--repair"), QStringLiteral("--yes"), QStringLiteral("--finish"),
                  QStringLiteral("--name"), QStringLiteral("补") },
            SetPassword);
    QVERIFY2(finished.exitCode == 0, qPrintable(finished.err));
    QCOMPARE(shippedRows(QStringLiteral("k3")), shippedRows(QString()));
    QVERIFY(markerRows(QStringLiteral("k3")) == 0); // the table users is as shipped, untouched
    const CliResult listed = run({ QStringLiteral("list"), QStringLiteral("--server"), Embedded });
    QCOMPARE(listed.out, QStringLiteral("k3\t补\t(embedded)\n"));
}

void TestDoctor::createDeleteCreateLeavesOneRowInEachList()
{
    create(QStringLiteral("s1"));
    const CliResult deleted
        = run({ QStringLiteral("--json"), QStringLiteral("delete"), QStringLiteral("--server"), Embedded,
                  QStringLiteral("--db"), QStringLiteral("s1") },
            SetPassword);
    QVERIFY2(deleted.exitCode == 0, qPrintable(deleted.err));
    QCOMPARE(deleted.json.value(QStringLiteral("local_rows_removed")).toInt(), 1);
    QCOMPARE(localRows(QStringLiteral("s1")), 0);
    // Only the per-set file stays, as a deletion leaves it: no local row offers a set that is gone.
    QCOMPARE(kinds(doctor().json.value(QStringLiteral("examination")).toObject()),
        QStringList { QStringLiteral("orphan-per-set-file:s1") });

    create(QStringLiteral("s1"));
    QCOMPARE(doctor().exitCode, 0);
    QCOMPARE(localRows(QStringLiteral("s1")), 1);
    QCOMPARE(directoryRows(QStringLiteral("s1")), 1);

    // A repair that meets the set twice in the directory leaves one row, and writes none.
    listTwiceInTheDirectory(QStringLiteral("s1"));
    QCOMPARE(directoryRows(QStringLiteral("s1")), 2);
    const CliResult repaired = doctor({ QStringLiteral("--repair"), QStringLiteral("--yes") });
    QVERIFY2(repaired.exitCode == 0, qPrintable(repaired.err));
    QCOMPARE(directoryRows(QStringLiteral("s1")), 1);
    QCOMPARE(localRows(QStringLiteral("s1")), 1);
    QCOMPARE(doctor().exitCode, 0);

    // A list that names the set twice (as it could before) and a directory that lost its row: the
    // row is registered again once, not once per local row.
    localExec(QStringLiteral("insert into ztxxb select * from ztxxb where ztbh = 's1'"));
    zt::test::embeddedExec(
        QStringLiteral("master"), QStringLiteral("delete from PBTOVRASQLBASEDATA where ztbh = 's1'"));
    const CliResult registered = doctor({ QStringLiteral("--repair"), QStringLiteral("--yes") });
    QVERIFY2(registered.exitCode == 0, qPrintable(registered.err));
    QCOMPARE(kinds(QJsonObject {
                 { QStringLiteral("findings"), registered.json.value(QStringLiteral("repairs")) } }),
        QStringList { QStringLiteral("local-row-without-directory-row:s1") });
    QCOMPARE(directoryRows(QStringLiteral("s1")), 1);
}

QTEST_GUILESS_MAIN(TestDoctor)
#include "tst_doctor.moc"
