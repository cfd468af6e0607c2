// Taking over and deleting network account sets, and the sample set, on the embedded server.
#include "accountset/creation.h"
#include "accountset/deletion.h"
#include "accountset/directory.h"
#include "accountset/sample.h"
#include "accountset/takeover.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QFile>
#include <QTest>

using namespace zt;
using namespace Qt::StringLiterals;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;

namespace {
const QString Server = QStringLiteral("(embedded)");
const QString Integrated = QString::fromLatin1(LoginFragment::IntegratedText);
} // namespace

class TestNetworkSet : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void neverListedDirectoryHasNoRows();
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

    std::unique_ptr<test::TestInstallation> m_install;
    std::unique_ptr<AccountSetObjects> m_objects;
    QString m_fragment;
};

void TestNetworkSet::init()
{
    m_install = std::make_unique<test::TestInstallation>();
    QVERIFY(m_install->isValid());
    install::heldValues() = {};
    m_objects = std::make_unique<AccountSetObjects>();
    store::openLocalConfiguration(m_objects->Conn_Ty, m_objects->ADOTy);
    store::storeServerRecord(m_objects->ADOTy, Server, Credentials::integrated());
    ensureDirectoryTable(*m_objects, Integrated, Server);
}

void TestNetworkSet::cleanup()
{
    m_objects.reset();
    m_install.reset();
}

void TestNetworkSet::addDirectoryRow(
    const QString &number, const QString &name, const QString &server, const QString &password)
{
    ensureDirectoryTable(*m_objects, Integrated, Server);
    appendDirectoryRow(*m_objects, { server, number, name, password }, QDate(2026, 12, 1));
}

void TestNetworkSet::list()
{
    QVERIFY(listDirectory(*m_objects, Server, m_fragment));
    QCOMPARE(m_fragment, Integrated);
}

void TestNetworkSet::neverListedDirectoryHasNoRows()
{
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl));
    list();
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl));
    addDirectoryRow(QStringLiteral("zt01"), QStringLiteral("甲"), Server, QString());
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl)); // a snapshot until listed again
    list();
    QVERIFY(hasDirectoryRows(m_objects->ADOztgl));
}

void TestNetworkSet::questionsNameTheSetInFullWidthBrackets()
{
    const DirectoryRow row { QStringLiteral("zt01"), QStringLiteral("北京公司"), Server, QString() };
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
    selectNetworkAccountSet(*m_objects, row, Server, nullptr);
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
    addDirectoryRow(QStringLiteral("zt01"), QStringLiteral("甲"), Server, QString());
    addDirectoryRow(QStringLiteral("zt03"), QStringLiteral("丙"), Server, QString());
    list();
    m_objects->ADOztgl.setCurrentRow(1);
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    QCOMPARE(row.number, QStringLiteral("zt03"));
    dropAccountSetDatabase(*m_objects, m_fragment, Server, row);
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
    addDirectoryRow(QStringLiteral("busy"), QStringLiteral("忙"), Server, QString());
    list();
    data::Connection holder;
    holder.setConnectionString(
        ConnectionString::catalog(LoginFragment::fromText(Integrated), QStringLiteral("busy"), Server));
    holder.open();
    try {
        dropAccountSetDatabase(*m_objects, m_fragment, Server, currentDirectoryRow(m_objects->ADOztgl));
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
    addDirectoryRow(QStringLiteral("my set"), QStringLiteral("空格"), Server, QString());
    list();
    dropAccountSetDatabase(*m_objects, m_fragment, Server, currentDirectoryRow(m_objects->ADOztgl));
    QCOMPARE(m_objects->ADOTy1.sqlText(), QStringLiteral("drop database [my set]\r\n"));
    QVERIFY_THROWS_EXCEPTION(
        data::DataError, test::embeddedExec(QStringLiteral("my set"), QStringLiteral("select 1")));
}

void TestNetworkSet::takeOverChecksAsksThenCopies_data()
{
    QTest::addColumn<QString>("situation"); // "", "listed", "declined", "no template"
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<int>("localRows"); // under the directory row's number afterwards

    QTest::newRow("taken over") << QString() << u"ok"_s << true << 1;
    QTest::newRow("listed locally already") << u"listed"_s << u"listed"_s << false << 1;
    QTest::newRow("declined") << u"declined"_s << u"declined"_s << true << 0;
    QTest::newRow("per-set template missing") << u"no template"_s << u"failed"_s << true << 0;
}

void TestNetworkSet::takeOverChecksAsksThenCopies()
{
    QFETCH(QString, situation);
    QFETCH(QString, outcome);
    QFETCH(bool, asked);
    QFETCH(int, localRows);

    addDirectoryRow(QStringLiteral("zt06"), QStringLiteral("己"), Server, QStringLiteral("k"));
    list();
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    if (situation == u"listed")
        selectNetworkAccountSet(*m_objects, row, Server, nullptr);
    if (situation == u"no template")
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
    frontEnd.answer = situation != u"declined";
    const TakeOverResult result
        = takeOverAccountSet(*m_objects, row, Server, nullptr, frontEnd, QDate(2026, 12, 8));

    const QString got = result.succeeded() ? u"ok"_s
        : result.alreadyListed             ? u"listed"_s
        : result.declined                  ? u"declined"_s
                                           : u"failed"_s;
    QCOMPARE(got, outcome);
    QCOMPARE(frontEnd.asked, asked ? QStringList { QStringLiteral("zt06") } : QStringList {});
    QCOMPARE(frontEnd.started, outcome == u"ok" || outcome == u"failed" ? 1 : 0);
    QCOMPARE(result.failedStep.has_value(), outcome == u"failed");
    QCOMPARE(result.error.isEmpty(), outcome != u"failed");
    QCOMPARE(result.elapsedMs >= 0, frontEnd.started == 1);
    const bool found = store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt06"), Server);
    QCOMPARE(found ? int(m_objects->ADOTy.recordCount()) : 0, localRows);
    QCOMPARE(QFile::exists(perSetPath(QStringLiteral("zt06"))), localRows == 1);
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

} // namespace

void TestNetworkSet::deletionRunsItsStepsAndStopsAtTheFirstFailure_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("situation"); // "", "backup fails", "in use", "already dropped"
    QTest::addColumn<bool>("planBackup");
    QTest::addColumn<bool>("planDrop");
    QTest::addColumn<bool>("answer"); // to the failed backup's question
    QTest::addColumn<QString>("steps"); // the steps that ran; a failed one marked with !
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("databaseLeft");
    QTest::addColumn<bool>("rowLeft");
    QTest::addColumn<bool>("backupMade");

    QTest::newRow("wrong password") << u"KW"_s << QString() << true << true << true << u"password!"_s << false
                                    << true << true << false;
    QTest::newRow("every step") << u"kw"_s << QString() << true << true << true
                                << u"password backup drop local row"_s << false << false << false << true;
    QTest::newRow("backup fails, answered no") << u"kw"_s << u"backup fails"_s << true << true << false
                                               << u"password backup!"_s << true << true << true << false;
    QTest::newRow("backup fails, answered yes")
        << u"kw"_s << u"backup fails"_s << true << true << true << u"password backup! drop local row"_s
        << true << false << false << false;
    QTest::newRow("no backup asked for") << u"kw"_s << u"backup fails"_s << false << true << false
                                         << u"password drop local row"_s << false << false << false << false;
    QTest::newRow("database in use") << u"kw"_s << u"in use"_s << true << true << true
                                     << u"password backup drop!"_s << false << true << true << true;
    QTest::newRow("row alone after the database went")
        << u"kw"_s << u"already dropped"_s << true << false << true << u"password local row"_s << false
        << false << false << false;
}

void TestNetworkSet::deletionRunsItsStepsAndStopsAtTheFirstFailure()
{
    QFETCH(QString, typed);
    QFETCH(QString, situation);
    QFETCH(bool, planBackup);
    QFETCH(bool, planDrop);
    QFETCH(bool, answer);
    QFETCH(QString, steps);
    QFETCH(bool, asked);
    QFETCH(bool, databaseLeft);
    QFETCH(bool, rowLeft);
    QFETCH(bool, backupMade);

    if (situation != u"already dropped")
        test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database zt05"));
    addDirectoryRow(QStringLiteral("zt05"), QStringLiteral("戊"), Server, QStringLiteral("kw"));
    list();
    // This workstation lists the set under the server's name and under another spelling of it.
    for (const QString &server : { Server, QStringLiteral("10.0.0.5") }) {
        store::beginAccountSetRow(m_objects->ADOTy,
            { QStringLiteral("zt05"), QStringLiteral("戊"), QDate(2026, 1, 1), {}, server });
        m_objects->ADOTy.post();
    }
    if (situation == u"backup fails") { // a file where the backup folder belongs
        QFile blocker(m_install->dir() + QStringLiteral("data/backup"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    data::Connection holder;
    if (situation == u"in use") {
        holder.setConnectionString(
            ConnectionString::catalog(LoginFragment::fromText(Integrated), QStringLiteral("zt05"), Server));
        holder.open();
    }

    AnsweringFrontEnd frontEnd(answer);
    const DeletionResult result = deleteAccountSet(*m_objects, m_fragment, Server,
        currentDirectoryRow(m_objects->ADOztgl), typed, frontEnd, { planBackup, planDrop });
    holder.close();

    QStringList ran;
    for (const DeletionStepRun &run : result.steps)
        ran << stepName(run.step) + (run.failed ? u"!"_s : QString());
    QCOMPARE(ran.join(u' '), steps);
    QCOMPARE(frontEnd.started, QStringList(ran.mid(1)).replaceInStrings(u"!"_s, QString()));
    QCOMPARE(!frontEnd.asked.isEmpty(), asked);
    if (asked) { // the server's own text, as the front end shows it
        QCOMPARE(frontEnd.asked, QStringList { result.backupError });
        QVERIFY2(result.backupError.contains(u"Cannot open backup device"_s), qPrintable(result.backupError));
    }
    const bool stopped = steps.endsWith(u'!');
    QCOMPARE(result.succeeded(), !stopped);
    if (stopped)
        QCOMPARE(stepName(*result.failedStep), ran.last().chopped(1));
    QCOMPARE(result.error.isEmpty(), !stopped || steps == u"password!");
    QCOMPARE(result.databaseDropped, !databaseLeft && planDrop);
    QCOMPARE(result.rowRemoved, !rowLeft);
    QVERIFY(!result.databaseGoneRowStayed());
    QCOMPARE(!result.backup.isEmpty(), backupMade);
    if (backupMade)
        QVERIFY(QFile::exists(result.backup));

    bool exists = true;
    try {
        test::embeddedExec(QStringLiteral("zt05"), QStringLiteral("select 1"));
    } catch (const data::DataError &) {
        exists = false;
    }
    QCOMPARE(exists, databaseLeft);
    list();
    QCOMPARE(hasDirectoryRows(m_objects->ADOztgl), rowLeft);
    // Once the database is gone, so is the local row naming it on this server; only that one.
    const bool localRemoved = ran.contains(u"local"_s);
    QCOMPARE(result.localRowsRemoved, localRemoved ? 1 : 0);
    QCOMPARE(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt05"), Server), !localRemoved);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt05"), QStringLiteral("10.0.0.5")));
}

void TestNetworkSet::sampleRestoresOnceThenTheServerRefuses()
{
    restoreSampleAccountSet(*m_objects, Server, m_fragment);
    QCOMPARE(m_fragment, Integrated);
    QCOMPARE(m_objects->ADOTy1.sqlText(),
        QStringLiteral("restore database TOVRASQL_Sample from disk=N'") + m_install->dir()
            + QStringLiteral("data/TOVRASQL_Sample.bak'\r\n"));
    data::Connection sample;
    sample.setConnectionString(
        ConnectionString::catalog(LoginFragment::fromText(Integrated), SampleNumber, Server));
    data::Query q(QStringLiteral("q"));
    q.setConnection(&sample);
    q.addSql(QStringLiteral("select dwmc from xtxxb"));
    q.open();
    QCOMPARE(q.fieldAsText(QStringLiteral("dwmc")), QStringLiteral("TOVRA示范贸易有限公司"));
    sample.close();

    try {
        restoreSampleAccountSet(*m_objects, Server, m_fragment);
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
    registerAccountSet(*m_objects, { Server, SampleNumber, SampleName, QString() }, CreationMode::RentedBuild,
        m_fragment, context);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, SampleNumber, Server));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QString());
    list();
    QVERIFY(!hasDirectoryRows(m_objects->ADOztgl));
}

QTEST_GUILESS_MAIN(TestNetworkSet)
#include "tst_networkset.moc"
