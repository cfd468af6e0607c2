// Taking over and deleting network account sets, and the sample set, on the embedded server.
#include "accountset/creation.h"
#include "accountset/directory.h"
#include "accountset/networkset.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QFile>
#include <QTest>

using namespace zt;
using namespace zt::accountset;
using data::ConnectionString;
using data::Login;
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
    store::storeServerRecord(m_objects->ADOTy, Server, Login::integrated());
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
