// Taking over and deleting network account sets, and the sample set, on the embedded server.
#include "accountset/creation.h"
#include "accountset/deletion.h"
#include "accountset/directory.h"
#include "accountset/sample.h"
#include "accountset/takeover.h"
#include "accountsetfixture.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "testhelpers.h"

#include <QFile>
#include <QTest>

using namespace zt;
using namespace Qt::StringLiterals;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;

using test::EmbeddedServer;
using test::IntegratedFragment;
using test::integratedLogin;

class TestNetworkSet : public QObject, private test::AccountSetFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        const QString problem = setUpAccountSets();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        ensureDirectoryTable(*m_objects, integratedLogin());
    }
    void cleanup() { tearDownAccountSets(); }

    void neverListedDirectoryHasNoRows();
    void listingSaysWhyItShowsNothing_data();
    void listingSaysWhyItShowsNothing();
    void questionsNameTheSetInFullWidthBrackets();
    void selectionWritesOneLocalRowAsStored();
    void setListedUnderTheStoredServerNameCounts();
    void deletionPasswordIsExact_data();
    void deletionPasswordIsExact();
    void deletionDropsTheDatabaseAndRemovesTheRow();
    void databaseInUseIsNotDroppedAndTheRowCanGoAlone();
    void irregularNumbersAreDelimitedInTheDrop();
    void takeOverChecksAsksThenCopies_data();
    void takeOverChecksAsksThenCopies();
    void deletionRunsItsStepsAndStopsAtTheFirstFailure_data();
    void deletionRunsItsStepsAndStopsAtTheFirstFailure();
    void sampleRestoresOnceThenTheServerRefuses();

private:
    void addDirectoryRow(
        const QString &number, const QString &name, const QString &server, const QString &password);
    void list();
};

void TestNetworkSet::addDirectoryRow(
    const QString &number, const QString &name, const QString &server, const QString &password)
{
    ensureDirectoryTable(*m_objects, integratedLogin());
    appendDirectoryRow(*m_objects, { server, number, name, password }, QDate(2026, 12, 1));
}

void TestNetworkSet::list()
{
    QVERIFY(listDirectory(*m_objects, EmbeddedServer, m_login));
    QCOMPARE(m_login, integratedLogin());
}

void TestNetworkSet::neverListedDirectoryHasNoRows()
{
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl));
    list();
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl));
    addDirectoryRow(QStringLiteral("zt01"), QStringLiteral("甲"), EmbeddedServer, QString());
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl)); // a snapshot until listed again
    list();
    QVERIFY(hasDirectoryRows(m_objects->ADOztgl));
}

void TestNetworkSet::listingSaysWhyItShowsNothing_data()
{
    QTest::addColumn<QStringList>("rows"); // directory rows' numbers; none: no directory table
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("noTable");
    QTest::addColumn<QStringList>("numbers");
    QTest::newRow("no directory table") << QStringList() << false << true << QStringList();
    QTest::newRow("empty directory") << QStringList { QString() } << true << false << QStringList();
    // Numbers as stored, once each however spaced or cased, in the directory's order.
    QTest::newRow("rows") << QStringList { u"zt02"_s, u" ZT01 "_s, u"zt01"_s, u"Zt02"_s } << true << false
                          << QStringList { u"zt02"_s, u"ZT01"_s };
}

void TestNetworkSet::listingSaysWhyItShowsNothing()
{
    QFETCH(QStringList, rows);
    QFETCH(bool, listed);
    QFETCH(bool, noTable);
    QFETCH(QStringList, numbers);
    if (rows.isEmpty())
        test::embeddedExec(u"master"_s, u"drop table PBTOVRASQLBASEDATA"_s);
    for (const QString &number : rows) {
        if (!number.isEmpty())
            addDirectoryRow(number, u"甲"_s, EmbeddedServer, QString());
    }
    const DirectoryListing listing = listDirectory(*m_objects, EmbeddedServer, m_login);
    QCOMPARE(listing.listed, listed);
    QCOMPARE(listing.noTable, noTable);
    QCOMPARE(listing.error.isEmpty(), listed);
    QCOMPARE(m_login, integratedLogin()); // read before the listing, whatever it came to
    QCOMPARE(listedNumbers(m_objects->ADOztgl), numbers);
}

void TestNetworkSet::questionsNameTheSetInFullWidthBrackets()
{
    const DirectoryRow row { QStringLiteral("zt01"), QStringLiteral("北京公司"), EmbeddedServer, QString() };
    QCOMPARE(selectionQuestion(row), QStringLiteral("确定要将网络账套【北京公司(zt01)】的选择引入吗？"));
    QCOMPARE(deletionQuestion(row),
        QStringLiteral("账套删除后不可恢复，请确定账套已经备份。你确定要删除账套名称为【北京公司(zt01)"
                       "】的账套吗？"));
}

void TestNetworkSet::selectionWritesOneLocalRowAsStored()
{
    addDirectoryRow(
        QStringLiteral("zt01"), QStringLiteral("甲公司"), QStringLiteral("other-host"), QStringLiteral("Pw"));
    list();
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    QCOMPARE(row.server, QStringLiteral("other-host"));
    QVERIFY(!isListedLocally(*m_objects, row));
    selectNetworkAccountSet(*m_objects, row, QStringLiteral(" (embedded) "), nullptr, QDate(2026, 12, 8));
    QVERIFY(
        store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt01"), QStringLiteral(" (embedded) ")));
    QCOMPARE(m_objects->ADOTy.recordCount(), 1);
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("kl")), QStringLiteral("Pw"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QStringLiteral("是"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("jlrq")), QStringLiteral("2026-12-08"));
    QVERIFY(QFile::exists(perSetPath(QStringLiteral("zt01"))));

    // An existing per-set file is kept as it is.
    QFile file(perSetPath(QStringLiteral("zt01")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("kept");
    file.close();
    selectNetworkAccountSet(*m_objects, row, EmbeddedServer, nullptr);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("kept"));
}

void TestNetworkSet::setListedUnderTheStoredServerNameCounts()
{
    addDirectoryRow(QStringLiteral("zt02"), QStringLiteral("乙"), QStringLiteral("srv"), QString());
    list();
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    selectNetworkAccountSet(*m_objects, row, QStringLiteral("10.0.0.5"), nullptr);
    // Registered under another spelling of the server: not the same entry.
    QVERIFY(!isListedLocally(*m_objects, row));
    store::beginAccountSetRow(m_objects->ADOTy,
        { QStringLiteral("zt02"), QStringLiteral("乙"), QDate(2026, 1, 1), QString(),
            QStringLiteral("srv") });
    m_objects->ADOTy.post();
    QVERIFY(isListedLocally(*m_objects, row));
}

void TestNetworkSet::deletionPasswordIsExact_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("matches");
    QTest::newRow("same") << "Secret"
                          << "Secret" << true;
    QTest::newRow("case differs") << "Secret"
                                  << "secret" << false;
    QTest::newRow("trailing blank") << "Secret"
                                    << "Secret " << false;
    QTest::newRow("empty both") << ""
                                << "" << true;
    QTest::newRow("empty stored, typed") << ""
                                         << "x" << false;
}

void TestNetworkSet::deletionPasswordIsExact()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, matches);
    QCOMPARE(deletionPasswordMatches({ QStringLiteral("n"), {}, {}, stored }, typed), matches);
}

void TestNetworkSet::deletionDropsTheDatabaseAndRemovesTheRow()
{
    test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database zt03"));
    addDirectoryRow(QStringLiteral("zt01"), QStringLiteral("甲"), EmbeddedServer, QString());
    addDirectoryRow(QStringLiteral("zt03"), QStringLiteral("丙"), EmbeddedServer, QString());
    list();
    m_objects->ADOztgl.setCurrentRow(1);
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    QCOMPARE(row.number, QStringLiteral("zt03"));
    dropAccountSetDatabase(*m_objects, m_login, row);
    deleteCurrentDirectoryRow(*m_objects);
    QCOMPARE(m_objects->ADOztgl.recordCount(), 1);
    QVERIFY_THROWS_EXCEPTION(
        data::DataError, test::embeddedExec(QStringLiteral("zt03"), QStringLiteral("select 1")));
    list();
    QCOMPARE(m_objects->ADOztgl.recordCount(), 1);
    QCOMPARE(currentDirectoryRow(m_objects->ADOztgl).number, QStringLiteral("zt01"));
}

void TestNetworkSet::databaseInUseIsNotDroppedAndTheRowCanGoAlone()
{
    test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database busy"));
    addDirectoryRow(QStringLiteral("busy"), QStringLiteral("忙"), EmbeddedServer, QString());
    list();
    data::Connection holder;
    holder.setConnectionString(test::embeddedCatalog(QStringLiteral("busy")));
    holder.open();
    try {
        dropAccountSetDatabase(*m_objects, m_login, currentDirectoryRow(m_objects->ADOztgl));
        QFAIL("a database in use was dropped");
    } catch (const data::DataError &e) {
        QCOMPARE(e.message(),
            QStringLiteral(
                "[ztwizard][SQL Server]Cannot drop database \"busy\" because it is currently in use."));
    }
    deleteCurrentDirectoryRow(*m_objects);
    list();
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl));
    holder.close();
    test::embeddedExec(QStringLiteral("busy"), QStringLiteral("select 1")); // the database stays
}

void TestNetworkSet::irregularNumbersAreDelimitedInTheDrop()
{
    test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database [my set]"));
    addDirectoryRow(QStringLiteral("my set"), QStringLiteral("空格"), EmbeddedServer, QString());
    list();
    dropAccountSetDatabase(*m_objects, m_login, currentDirectoryRow(m_objects->ADOztgl));
    QCOMPARE(m_objects->ADOTy1.sqlText(), QStringLiteral("drop database [my set]\r\n"));
    QVERIFY_THROWS_EXCEPTION(
        data::DataError, test::embeddedExec(QStringLiteral("my set"), QStringLiteral("select 1")));
}

namespace {

// How a take-over begins.
enum class TakeOverSituation {
    Unlisted, // the workstation does not list the set yet
    ListedAlready, // it does
    Declined, // the user answers no to the question
    TemplateMissing, // the per-set file cannot be copied: data/SysBase.mdb is gone
};

} // namespace

void TestNetworkSet::takeOverChecksAsksThenCopies_data()
{
    QTest::addColumn<TakeOverSituation>("situation");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<int>("localRowsAfter"); // under the directory row's number

    using enum TakeOverSituation;
    QTest::newRow("taken over") << Unlisted << u"ok"_s << true << 1;
    QTest::newRow("listed locally already") << ListedAlready << u"listed"_s << false << 1;
    QTest::newRow("declined") << Declined << u"declined"_s << true << 0;
    QTest::newRow("per-set template missing") << TemplateMissing << u"failed"_s << true << 0;
}

void TestNetworkSet::takeOverChecksAsksThenCopies()
{
    QFETCH(TakeOverSituation, situation);
    QFETCH(QString, outcome);
    QFETCH(bool, asked);
    QFETCH(int, localRowsAfter);

    addDirectoryRow(QStringLiteral("zt06"), QStringLiteral("己"), EmbeddedServer, QStringLiteral("k"));
    list();
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    if (situation == TakeOverSituation::ListedAlready)
        selectNetworkAccountSet(*m_objects, row, EmbeddedServer, nullptr);
    if (situation == TakeOverSituation::TemplateMissing)
        QVERIFY(QFile::remove(m_install->dir() + QStringLiteral("data/SysBase.mdb")));

    struct FrontEnd final : TakeOverFrontEnd
    {
        bool confirm(const DirectoryRow &row) override
        {
            asked << row.number;
            return answer;
        }
        void takingOver() override { ++started; }
        QStringList asked;
        bool answer = true;
        int started = 0;
    } frontEnd;
    frontEnd.answer = situation != TakeOverSituation::Declined;
    const TakeOverResult result
        = takeOverAccountSet(*m_objects, row, EmbeddedServer, nullptr, frontEnd, QDate(2026, 12, 8));

    const QString got = result.succeeded() ? u"ok"_s
        : result.alreadyListed             ? u"listed"_s
        : result.declined                  ? u"declined"_s
                                           : u"failed"_s;
    QCOMPARE(got, outcome);
    QCOMPARE(frontEnd.asked, asked ? QStringList { QStringLiteral("zt06") } : QStringList {});
    QCOMPARE(frontEnd.started, outcome == u"ok" || outcome == u"failed" ? 1 : 0);
    QCOMPARE(result.failedStep.has_value(), outcome != u"ok");
    QCOMPARE(result.error.isEmpty(), outcome != u"failed");
    QCOMPARE(result.elapsedMs(TakeOverStep::TakeOver).has_value(), frontEnd.started == 1);
    QCOMPARE(localRows(QStringLiteral("zt06")), localRowsAfter);
    QCOMPARE(QFile::exists(perSetPath(QStringLiteral("zt06"))), localRowsAfter == 1);
}

namespace {

QString stepName(DeletionStep step)
{
    switch (step) {
    case DeletionStep::Password:
        return QStringLiteral("password");
    case DeletionStep::Backup:
        return QStringLiteral("backup");
    case DeletionStep::DropDatabase:
        return QStringLiteral("drop");
    case DeletionStep::LocalRows:
        return QStringLiteral("local");
    case DeletionStep::DirectoryRow:
        return QStringLiteral("row");
    }
    return QString();
}

// Answers the failed backup's question as told and remembers what it was asked.
class AnsweringFrontEnd final : public DeletionFrontEnd
{
public:
    explicit AnsweringFrontEnd(bool answer)
        : m_answer(answer)
    { }
    void stepStarting(DeletionStep step) override { started << stepName(step); }
    bool deleteWithoutBackup(const QString &error) override
    {
        asked << error;
        return m_answer;
    }
    QStringList started;
    QStringList asked;

private:
    bool m_answer;
};

// What stands in a deletion's way.
enum class Obstacle {
    None,
    BackupFails, // a file where the backup folder belongs
    DatabaseInUse, // another session holds the database
    DatabaseGone, // the database was dropped before; its directory row stayed
};

// The answer to the failed backup's question, whether to delete without a backup.
enum class Answer { Yes, No };

// A deletion of the set zt05, whose directory row holds the password "kw".
struct Deletion
{
    QString typed = u"kw"_s;
    Obstacle obstacle = Obstacle::None;
    DeletionPlan plan {};
    Answer answer = Answer::Yes;
};

// What a deletion did and left.
struct DeletionOutcome
{
    QString steps; // the steps that ran; a failed one marked with !
    bool asked = false; // whether to delete without the backup
    bool databaseLeft = false;
    bool rowLeft = false;
    bool backupMade = false;
};

} // namespace

void TestNetworkSet::deletionRunsItsStepsAndStopsAtTheFirstFailure_data()
{
    QTest::addColumn<Deletion>("deletion");
    QTest::addColumn<DeletionOutcome>("expected");

    const auto row = [](const char *name, const Deletion &deletion, const DeletionOutcome &expected) {
        QTest::newRow(name) << deletion << expected;
    };
    using enum Obstacle;
    row("wrong password", { .typed = u"KW"_s },
        { .steps = u"password!"_s, .databaseLeft = true, .rowLeft = true });
    row("every step", {}, { .steps = u"password backup drop local row"_s, .backupMade = true });
    row("backup fails, answered no", { .obstacle = BackupFails, .answer = Answer::No },
        { .steps = u"password backup!"_s, .asked = true, .databaseLeft = true, .rowLeft = true });
    row("backup fails, answered yes", { .obstacle = BackupFails, .answer = Answer::Yes },
        { .steps = u"password backup! drop local row"_s, .asked = true });
    row("no backup asked for", { .obstacle = BackupFails, .plan = { .backup = false }, .answer = Answer::No },
        { .steps = u"password drop local row"_s });
    row("database in use", { .obstacle = DatabaseInUse },
        { .steps = u"password backup drop!"_s, .databaseLeft = true, .rowLeft = true, .backupMade = true });
    row("row alone after the database went", { .obstacle = DatabaseGone, .plan = { .dropDatabase = false } },
        { .steps = u"password local row"_s });
}

void TestNetworkSet::deletionRunsItsStepsAndStopsAtTheFirstFailure()
{
    QFETCH(Deletion, deletion);
    QFETCH(DeletionOutcome, expected);

    if (deletion.obstacle != Obstacle::DatabaseGone)
        test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database zt05"));
    addDirectoryRow(QStringLiteral("zt05"), QStringLiteral("戊"), EmbeddedServer, QStringLiteral("kw"));
    list();
    // This workstation lists the set under the server's name and under another spelling of it.
    for (const QString &server : { EmbeddedServer, QStringLiteral("10.0.0.5") }) {
        store::beginAccountSetRow(m_objects->ADOTy,
            { QStringLiteral("zt05"), QStringLiteral("戊"), QDate(2026, 1, 1), {}, server });
        m_objects->ADOTy.post();
    }
    if (deletion.obstacle == Obstacle::BackupFails) { // a file where the backup folder belongs
        QFile blocker(m_install->dir() + QStringLiteral("data/backup"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    data::Connection holder;
    if (deletion.obstacle == Obstacle::DatabaseInUse) {
        holder.setConnectionString(test::embeddedCatalog(QStringLiteral("zt05")));
        holder.open();
    }

    AnsweringFrontEnd frontEnd(deletion.answer == Answer::Yes);
    const DeletionResult result = deleteAccountSet(*m_objects, m_login,
        currentDirectoryRow(m_objects->ADOztgl), deletion.typed, frontEnd, deletion.plan);
    holder.close();

    QStringList ran;
    for (const DeletionStepRun &run : result.steps)
        ran << stepName(run.step) + (run.failed ? u"!"_s : QString());
    QCOMPARE(ran.join(u' '), expected.steps);
    QCOMPARE(frontEnd.started, QStringList(ran.mid(1)).replaceInStrings(u"!"_s, QString()));
    QCOMPARE(!frontEnd.asked.isEmpty(), expected.asked);
    if (expected.asked) { // the server's own text, as the front end shows it
        QCOMPARE(frontEnd.asked, QStringList { result.backupError });
        QVERIFY2(result.backupError.contains(u"Cannot open backup device"_s), qPrintable(result.backupError));
    }
    const bool stopped = expected.steps.endsWith(u'!');
    QCOMPARE(result.succeeded(), !stopped);
    if (stopped)
        QCOMPARE(stepName(*result.failedStep), ran.last().chopped(1));
    QCOMPARE(result.error.isEmpty(), !stopped || expected.steps == u"password!");
    QCOMPARE(result.databaseDropped, !expected.databaseLeft && deletion.plan.dropDatabase);
    QCOMPARE(result.rowRemoved, !expected.rowLeft);
    QVERIFY(!result.databaseGoneRowStayed());
    QCOMPARE(!result.backup.isEmpty(), expected.backupMade);
    if (expected.backupMade)
        QVERIFY(QFile::exists(result.backup));

    bool exists = true;
    try {
        test::embeddedExec(QStringLiteral("zt05"), QStringLiteral("select 1"));
    } catch (const data::DataError &) {
        exists = false;
    }
    QCOMPARE(exists, expected.databaseLeft);
    list();
    QCOMPARE(hasDirectoryRows(m_objects->ADOztgl), expected.rowLeft);
    // Once the database is gone, so is the local row naming it on this server; only that one.
    const bool localRemoved = ran.contains(u"local"_s);
    QCOMPARE(result.localRowsRemoved, localRemoved ? 1 : 0);
    QCOMPARE(
        store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt05"), EmbeddedServer), !localRemoved);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt05"), QStringLiteral("10.0.0.5")));
}

void TestNetworkSet::sampleRestoresOnceThenTheServerRefuses()
{
    restoreSampleAccountSet(*m_objects, EmbeddedServer, m_login);
    QCOMPARE(m_login, integratedLogin());
    QCOMPARE(m_objects->ADOTy1.sqlText(),
        QStringLiteral("restore database TOVRASQL_Sample from disk=N'") + m_install->dir()
            + QStringLiteral("data/TOVRASQL_Sample.bak'\r\n"));
    data::Connection sample;
    sample.setConnectionString(test::embeddedCatalog(SampleNumber));
    data::Query q(QStringLiteral("q"));
    q.setConnection(&sample);
    q.addSql(QStringLiteral("select dwmc from xtxxb"));
    q.open();
    QCOMPARE(q.fieldAsText(QStringLiteral("dwmc")), QStringLiteral("TOVRA示范贸易有限公司"));
    sample.close();

    try {
        restoreSampleAccountSet(*m_objects, EmbeddedServer, m_login);
        QFAIL("the sample was restored over itself");
    } catch (const data::DataError &e) {
        QVERIFY2(e.message().startsWith(
                     QStringLiteral("[ztwizard][SQL Server]The backup set holds a backup of a "
                                    "database other than the existing 'TOVRASQL_Sample' database.")),
            qPrintable(e.message()));
    }
    q.close();
    q.open();
    QCOMPARE(q.recordCount(), 1); // the first restore stays

    // Registration in the rented-build mode writes the local row only.
    CreationContext context;
    registerAccountSet(*m_objects, { EmbeddedServer, SampleNumber, SampleName, QString() },
        CreationMode::RentedBuild, m_login, context);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, SampleNumber, EmbeddedServer));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QString());
    list();
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl));
}

QTEST_GUILESS_MAIN(TestNetworkSet)
#include "tst_networkset.moc"
