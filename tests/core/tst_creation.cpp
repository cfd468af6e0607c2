// Account-set creation end to end on the embedded server, with the shipped installation data
// and the real data source for the local files.
#include "accountset/basedata.h"
#include "accountset/creation.h"
#include "accountsetfixture.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "testhelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace zt;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;
using test::EmbeddedServer;

namespace {

AccountSetFields fields(const QString &database)
{
    return { EmbeddedServer, database, QStringLiteral(" 北京示范贸易 "), QStringLiteral(" pw ") };
}

} // namespace

class TestCreation : public QObject, private test::AccountSetFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        const QString problem = setUpAccountSets();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    void cleanup() { tearDownAccountSets(); }

    void networkModeBuildsRegistersAndListsTheSet();
    void secondRegistrationAppendsASecondDirectoryRow();
    void rentedBuildUsesTheExistingDatabaseAndLeavesTheDirectory();
    void rentedRegisterOnlyRegisters();
    void missingTargetColumnStopsTheTransfer();
    void directoryRowThatCannotBeWrittenIsReportedAndCreationCompletes();
    void numberLongerThanTheDirectoryColumnIsRefusedByTheServer();
    void existingDatabaseFailsAfterTheFileCopy();
    void namesLeadingOutOfTheDataFolderChangeNothing();
    void irregularNamesAreDelimited();
};

void TestCreation::networkModeBuildsRegistersAndListsTheSet()
{
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral(" zt001 ")), CreationMode::Network, m_login, m_context));
    QVERIFY(m_reported.isEmpty());
    QCOMPARE(m_login, test::integratedLogin());

    // Every base-data table holds exactly the source rows, in ID order.
    data::Connection target;
    target.setConnectionString(test::embeddedCatalog(QStringLiteral("zt001")));
    int total = 0;
    const QString difference = test::baseDataDifference(target, &total);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(total > 300);

    // The local row holds the trimmed values.
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt001"), EmbeddedServer));
    QCOMPARE(m_objects->ADOTy.recordCount(), 1);
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("ztmc")), QStringLiteral("北京示范贸易"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("kl")), QStringLiteral("pw"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("jlrq")), QStringLiteral("2026-12-08"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("sjklx")), QStringLiteral("MS SQL"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QStringLiteral("是"));

    // So does the directory row, with net left NULL and the date at midnight.
    data::Connection master;
    master.setConnectionString(
        ConnectionString::master(LoginFragment::fromLogin(Credentials::integrated()), EmbeddedServer));
    auto dir = test::openQuery(master, QStringLiteral("select * from PBTOVRASQLBASEDATA where net is null"));
    QCOMPARE(dir->recordCount(), 1);
    QCOMPARE(dir->fieldAsText(QStringLiteral("ztbh")), QStringLiteral("zt001"));
    QCOMPARE(dir->fieldAsText(QStringLiteral("ztmc")), QStringLiteral("北京示范贸易"));
    QCOMPARE(dir->fieldAsText(QStringLiteral("zjmc")), EmbeddedServer);
    QCOMPARE(dir->fieldAsText(QStringLiteral("kl")), QStringLiteral("pw"));
    QCOMPARE(dir->fieldAsText(QStringLiteral("jlrq")), QStringLiteral("2026-12-08"));
    QCOMPARE(dir->fieldAsText(QStringLiteral("id")), QStringLiteral("1"));

    // The per-set system file is a copy of the template, named after the trimmed number.
    QFile copy(perSetPath(QStringLiteral("zt001")));
    QFile original(templatePath());
    QVERIFY(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), original.readAll());
    QCOMPARE(install::heldValues().scriptName, QStringLiteral("xzzt.ini"));
}

void TestCreation::secondRegistrationAppendsASecondDirectoryRow()
{
    const auto f = fields(QStringLiteral("zt002"));
    m_login = test::integratedLogin();
    registerAccountSet(*m_objects, f, CreationMode::Network, m_login, m_context);
    registerAccountSet(*m_objects, f, CreationMode::Network, m_login, m_context);
    QVERIFY(m_reported.isEmpty());
    QCOMPARE(rowCount(QStringLiteral("master"),
                 QStringLiteral("select * from PBTOVRASQLBASEDATA where ztbh = 'zt002'")),
        2);
    // The workstation lists the set once: its local row is written again, not a second time.
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt002"), EmbeddedServer));
    QCOMPARE(m_objects->ADOTy.recordCount(), 1);
}

void TestCreation::rentedBuildUsesTheExistingDatabaseAndLeavesTheDirectory()
{
    test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database rent01"));
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral("rent01")), CreationMode::RentedBuild, m_login, m_context));
    QCOMPARE(rowCount(QStringLiteral("rent01"), QStringLiteral("select * from kjkmxxb")) > 100, true);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("rent01"), EmbeddedServer));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QString());
    QVERIFY_THROWS_EXCEPTION(data::DataError,
        rowCount(QStringLiteral("master"), QStringLiteral("select * from PBTOVRASQLBASEDATA")));

    // Without the database nothing is created for it: the catalog cannot be opened.
    QVERIFY_THROWS_EXCEPTION(data::DataError,
        test::done(createAccountSet(
            *m_objects, fields(QStringLiteral("rent02")), CreationMode::RentedBuild, m_login, m_context)));
}

void TestCreation::rentedRegisterOnlyRegisters()
{
    test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database rent03"));
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral("rent03")), CreationMode::RentedRegister, m_login, m_context));
    QCOMPARE(rowCount(QStringLiteral("rent03"),
                 QStringLiteral("select name from sqlite_master where type = 'table' "
                                "and name not like 'zt_%'")),
        0);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("rent03"), EmbeddedServer));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QStringLiteral("否"));
    QCOMPARE(rowCount(QStringLiteral("master"), QStringLiteral("select * from PBTOVRASQLBASEDATA")), 0);
    QVERIFY(QFile::exists(perSetPath(QStringLiteral("rent03"))));
}

void TestCreation::missingTargetColumnStopsTheTransfer()
{
    test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database thin"));
    test::embeddedExec(QStringLiteral("thin"),
        QStringLiteral("CREATE TABLE [jjfsxxb] ([xh] [int] IDENTITY (1, 1) NOT NULL, [ID] [int] NULL)"));
    m_objects->Conn_Ty1.setConnectionString(test::embeddedCatalog(QStringLiteral("thin")));
    m_objects->ADOTy1.setConnection(&m_objects->Conn_Ty1);
    try {
        transferBaseData(*m_objects, { QStringLiteral("jjfsxxb") });
        QFAIL("the transfer went on without the column");
    } catch (const data::DataError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("ADOTy1: Field '")), qPrintable(e.message()));
        QVERIFY(e.message().endsWith(QStringLiteral("' not found")));
    }
    QCOMPARE(rowCount(QStringLiteral("thin"), QStringLiteral("select * from jjfsxxb")), 0);
}

void TestCreation::directoryRowThatCannotBeWrittenIsReportedAndCreationCompletes()
{
    test::embeddedExec(QStringLiteral("master"),
        QStringLiteral("create login clerk with password = 'pw'\n"
                       "alter server role dbcreator add member clerk"));
    useLogin(Credentials::sql(QStringLiteral("clerk"), QStringLiteral("pw")));
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral("zt003")), CreationMode::Network, m_login, m_context));
    QCOMPARE(m_reported,
        QStringList({ QStringLiteral("加入网络账套出错！错误代码：[ztwizard][SQL Server]Invalid object name "
                                     "'PBTOVRASQLBASEDATA'.") }));
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt003"), EmbeddedServer));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QStringLiteral("是"));
}

void TestCreation::numberLongerThanTheDirectoryColumnIsRefusedByTheServer()
{
    // The directory's ztbh is nvarchar(50); a database name may be longer, as on a real server.
    const QString number = QStringLiteral("zt") + QString(58, u'x');
    test::done(createAccountSet(*m_objects, fields(number), CreationMode::Network, m_login, m_context));
    QCOMPARE(m_reported,
        QStringList(
            { QStringLiteral("加入网络账套出错！错误代码：[ztwizard][SQL Server]String or binary data "
                             "would be truncated. [ztwizard][SQL Server]The statement has been "
                             "terminated.") }));
    // The set itself is made and registered locally; the directory holds no row for it.
    QVERIFY(rowCount(number, QStringLiteral("select * from kjkmxxb")) > 100);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, number, EmbeddedServer));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QStringLiteral("是"));
    QCOMPARE(rowCount(QStringLiteral("master"), QStringLiteral("select * from PBTOVRASQLBASEDATA")), 0);
}

void TestCreation::existingDatabaseFailsAfterTheFileCopy()
{
    test::embeddedExec(QStringLiteral("master"), QStringLiteral("create database zt004"));
    const CreationResult result = createAccountSet(
        *m_objects, fields(QStringLiteral("zt004")), CreationMode::Network, m_login, m_context);
    // The steps up to the refused one ran; the refusal is told by its number, not its wording.
    QList<CreationStep> ran;
    for (const auto &run : result.steps)
        ran << run.step;
    QCOMPARE(
        ran, (QList<CreationStep> { CreationStep::PerSetFile, CreationStep::Login, CreationStep::Database }));
    QVERIFY(result.failedStep == CreationStep::Database && result.steps.last().failed);
    QCOMPARE(result.errorNumbers, QList<int> { data::servermessage::DatabaseExists });
    QCOMPARE(result.error,
        QStringLiteral(
            "[ztwizard][SQL Server]Database 'zt004' already exists. Choose a different database name."));
    QVERIFY(!result.databaseMade && !result.registered);
    QVERIFY(QFile::exists(perSetPath(QStringLiteral("zt004"))));
    QVERIFY(!store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt004"), EmbeddedServer));

    // The same name in other case is the same database, and its per-set file is the same file:
    // the refused creation leaves no second, blank one.
    QVERIFY_THROWS_EXCEPTION(data::DataError,
        test::done(createAccountSet(
            *m_objects, fields(QStringLiteral("ZT004")), CreationMode::Network, m_login, m_context)));
    QCOMPARE(QDir(m_install->dir() + QStringLiteral("data/SysBase")).entryList({ QStringLiteral("*4_S_*") }),
        QStringList { QStringLiteral("zt004_S_SysBase.mdb") });
    QCOMPARE(
        QFileInfo(perSetPath(QStringLiteral("Zt004"))).fileName(), QStringLiteral("zt004_S_SysBase.mdb"));
}

void TestCreation::namesLeadingOutOfTheDataFolderChangeNothing()
{
    QVERIFY_THROWS_EXCEPTION(data::DataError,
        test::done(createAccountSet(
            *m_objects, fields(QStringLiteral("../../x")), CreationMode::Network, m_login, m_context)));
    QVERIFY(!QFile::exists(m_install->dir() + QStringLiteral("x_S_SysBase.mdb")));
    QVERIFY(QDir(m_install->dir() + QStringLiteral("data/SysBase")).isEmpty());
    // Only master exists on the server: no database was made.
    QStringList databases
        = QDir(m_install->dir() + QStringLiteral("data/embedded/default")).entryList(QDir::Files);
    databases.removeAll(QStringLiteral("master.db"));
    QCOMPARE(databases, QStringList());
}

void TestCreation::irregularNamesAreDelimited()
{
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral("2024 账套")), CreationMode::Network, m_login, m_context));
    QVERIFY(rowCount(QStringLiteral("2024 账套"), QStringLiteral("select * from kjkmxxb")) > 100);
    QVERIFY(QFile::exists(perSetPath(QStringLiteral("2024 账套"))));
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("2024 账套"), EmbeddedServer));
}

QTEST_GUILESS_MAIN(TestCreation)
#include "tst_creation.moc"
