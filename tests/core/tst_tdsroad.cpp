// The SQL Server road end to end: every core operation through unixODBC + FreeTDS + QODBC to
// ztwizard-tds, which the test starts on a free loopback port and ends by its process id.
#include "accountset/creation.h"
#include "accountset/deletion.h"
#include "accountset/directory.h"
#include "accountset/sample.h"
#include "accountset/takeover.h"
#include "data/dataerror.h"
#include "data/query.h"
#include "data/sessionreuse.h"
#include "discovery/ssrp.h"
#include "guidance/guidance.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "tdsroad.h"

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace zt;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;

using test::FreeTds;
using test::Sa;

class TestTdsRoad : public QObject, private test::TdsRoadFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void probeAndLoginsAnswerAsSqlServer_data();
    void probeAndLoginsAnswerAsSqlServer();
    void loginCarriesTheProgramsName();
    void networkCreationCarriesTheBaseDataUnchanged();
    void networkCreationLogsInOnce();
    void keptSessionEndsWithItsScopeAndFailsAsANewLogin_data();
    void keptSessionEndsWithItsScopeAndFailsAsANewLogin();
    void rentedModesAndRefusals();
    void selectionDeletionAndTheDeleteErrorYesPath();
    void sampleIsBuiltOnceThenTheServerRefuses();
    void namedInstanceIsFoundThroughTheBrowser();
    void typedValuesArriveAsDeclared();
    void serverEndsCleanlyAndCountsItsTraffic();

private:
    data::Connection &connect(const QString &catalog);
    AccountSetFields fields(const QString &database) const
    {
        return { server(), database, QStringLiteral("北京示范贸易"), QStringLiteral("pw") };
    }

    // The database dropped through the embedded server's files, beside ztwizard-tds: refused while
    // a session of the server is on it.
    static QString dropThroughTheFiles(const QString &database)
    {
        return test::failureOf([&] {
            test::embeddedExec(QStringLiteral("master"), QStringLiteral("drop database ") + database);
        });
    }

    std::list<data::Connection> m_connections;
    data::ServerLogin m_login;
    CreationContext m_context;
    QStringList m_reported;
};

void TestTdsRoad::init()
{
    const QString failed = startRoad();
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    m_login = {};
    m_reported.clear();
    m_context.reportDirectoryError = [this](const QString &message) { m_reported << message; };
    m_context.today = QDate(2026, 12, 8);
}

void TestTdsRoad::cleanup()
{
    m_connections.clear();
    stopRoad();
}

data::Connection &TestTdsRoad::connect(const QString &catalog)
{
    data::Connection &c = m_connections.emplace_back();
    c.setConnectionString(test::saCatalog(server(), catalog));
    return c;
}

void TestTdsRoad::probeAndLoginsAnswerAsSqlServer_data()
{
    QTest::addColumn<int>("login"); // 0 sa, 1 wrong password, 2 integrated, 3 unknown user, 4 clerk
    QTest::addColumn<QString>("expected");
    QTest::newRow("sa, empty password") << 0 << QString();
    // FreeTDS puts its own record before the server's when a connection fails.
    const QString unable = FreeTds + QStringLiteral("Unable to connect to data source ");
    QTest::newRow("wrong password") << 1 << unable + FreeTds + QStringLiteral("Login failed for user 'sa'.");
    QTest::newRow("unknown login") << 3
                                   << unable + FreeTds + QStringLiteral("Login failed for user 'nobody'.");
    // A login whose password holds '}' gets in (FreeTDS ends a braced value at the first '}'),
    // and may not create databases.
    QTest::newRow("login without dbcreator")
        << 4 << FreeTds + QStringLiteral("CREATE DATABASE permission denied in database 'master'.");
    // The integrated login goes by Kerberos, whose service name needs a host name: refused
    // before anything is sent, saying so.
    QTest::newRow("integrated login") << 2 << guidance::integratedLoginProblem(QStringLiteral("127.0.0.1"));
}

void TestTdsRoad::probeAndLoginsAnswerAsSqlServer()
{
    QFETCH(int, login);
    QFETCH(QString, expected);
    const QString clerkPassword = QStringLiteral("pw}1");
    if (login == 4) {
        data::reexecute(*test::openQuery(connect(QStringLiteral("master")), QStringLiteral("select 1")),
            QStringLiteral("create login clerk with password = 'pw}1'"));
    }
    const QString user = login == 3 ? QStringLiteral("nobody")
        : login == 4                ? QStringLiteral("clerk")
                                    : QStringLiteral("sa");
    const ConnectionString probe = login == 2 ? ConnectionString::windowsLoginProbe(server())
                                              : ConnectionString::sqlLoginProbe(user,
                                                  login == 1       ? QStringLiteral("wrong")
                                                      : login == 4 ? clerkPassword
                                                                   : QString(),
                                                  server());
    data::Connection conn;
    conn.setConnectionString(probe);
    data::Query q(QStringLiteral("ADOQuery1"));
    q.setConnection(&conn);
    const QString failure = test::failureOf([&] {
        data::reexecute(q, QStringLiteral("create database abcde12345"));
        data::reexecute(q, QStringLiteral("drop database abcde12345"));
    });
    if (expected.isEmpty()) {
        QCOMPARE(failure, test::NoError);
        // The probe left nothing behind; a second probe succeeds the same way.
        data::reexecute(q, QStringLiteral("create database abcde12345"));
        data::reexecute(q, QStringLiteral("drop database abcde12345"));
    } else {
        // The server's text, then the line that says what to do.
        QCOMPARE(failure, guidance::withGuidance(expected));
    }
}

void TestTdsRoad::loginCarriesTheProgramsName()
{
    // FreeTDS sends the program's name in LOGIN7 (the wizard and ztaccountset name themselves at
    // start-up; a test is called after its executable), and the server answers it in APP_NAME().
    QCOMPARE(
        test::openQuery(connect(QStringLiteral("master")), QStringLiteral("select app_name()"))->textAt(0, 0),
        QCoreApplication::applicationName());
}

void TestTdsRoad::networkCreationCarriesTheBaseDataUnchanged()
{
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral(" zt001 ")), CreationMode::Network, m_login, m_context));
    QVERIFY2(m_reported.isEmpty(), qPrintable(m_reported.join(u'\n')));

    // Every base-data table holds the source rows, value for value, read back through FreeTDS.
    int total = 0;
    const QString difference = test::baseDataDifference(connect(QStringLiteral("zt001")), &total);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(total > 300);

    // The directory row, read through FreeTDS and through an independent client (isql).
    auto dir = test::openQuery(
        connect(QStringLiteral("master")), QStringLiteral("select * from PBTOVRASQLBASEDATA"));
    QCOMPARE(dir->recordCount(), 1);
    QCOMPARE(dir->fieldAsText(QStringLiteral("ztbh")), QStringLiteral("zt001"));
    QCOMPARE(dir->fieldAsText(QStringLiteral("ztmc")), QStringLiteral("北京示范贸易"));
    QCOMPARE(dir->fieldAsText(QStringLiteral("zjmc")), server());
    QCOMPARE(dir->fieldAsText(QStringLiteral("jlrq")), QStringLiteral("2026-12-08"));
    QProcess isql;
    isql.start(QStringLiteral("isql"),
        { QStringLiteral("-b"), QStringLiteral("-d|"), QStringLiteral("-k"),
            QStringLiteral("Driver=FreeTDS;Server=127.0.0.1;Port=%1;TDS_Version=7.4;Encryption=require;"
                           "ClientCharset=UTF-8;"
                           "UID=sa;PWD=")
                .arg(m_tds->port()) });
    isql.write("select ztbh, ztmc, jlrq from PBTOVRASQLBASEDATA\n");
    isql.closeWriteChannel();
    QVERIFY(isql.waitForFinished(20000));
    const QString printed = QString::fromUtf8(isql.readAllStandardOutput());
    QVERIFY2(printed.contains(QStringLiteral("zt001|北京示范贸易|2026-12-08 00:00:00")), qPrintable(printed));

    // And through the embedded server's files directly.
    data::Connection files;
    files.setConnectionString(ConnectionString::master(
        LoginFragment::fromLogin(Credentials::integrated()), QStringLiteral("(embedded)")));
    QCOMPARE(test::openQuery(files, QStringLiteral("select ztmc from PBTOVRASQLBASEDATA"))
                 ->fieldAsText(QStringLiteral("ztmc")),
        QStringLiteral("北京示范贸易"));

    // The local registration names the server as typed.
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt001"), server()));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QStringLiteral("是"));
}

void TestTdsRoad::networkCreationLogsInOnce()
{
    // One login for the whole creation, well within the round trips a long link allows; nothing
    // stays on the new database once the creation has returned.
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral("zt001")), CreationMode::Network, m_login, m_context));
    QVERIFY2(m_reported.isEmpty(), qPrintable(m_reported.join(u'\n')));
    QCOMPARE(dropThroughTheFiles(QStringLiteral("zt001")), test::NoError);
    const QString stats = m_tds->stop();
    const auto counted
        = QRegularExpression(QStringLiteral("connections (\\d+) requests (\\d+)")).match(stats);
    QVERIFY2(counted.hasMatch() && counted.captured(1) == u"1" && counted.captured(2).toInt() <= 20,
        qPrintable(stats));

    // A script failing on the reused session fails with the server's text, and once the page's
    // connection is closed after the creation, nothing holds the new database.
    m_tds = std::make_unique<test::TdsProcess>(m_install->dir());
    QVERIFY(m_tds->port() > 0);
    test::storeServerLogin(server(), Sa);
    QFile script(m_install->dir() + QStringLiteral("data/xzzt.ini"));
    QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write("select * from nosuch\r\n");
    script.close();
    QCOMPARE(test::failureOf([&] {
        test::done(createAccountSet(
            *m_objects, fields(QStringLiteral("zt002")), CreationMode::Network, m_login, m_context));
    }),
        FreeTds + QStringLiteral("Invalid object name 'nosuch'."));
    m_objects->Conn_Ty1.close();
    QCOMPARE(dropThroughTheFiles(QStringLiteral("zt002")), test::NoError);
}

void TestTdsRoad::keptSessionEndsWithItsScopeAndFailsAsANewLogin_data()
{
    QTest::addColumn<QString>("next"); // the database opened after the kept session, or none
    QTest::addColumn<bool>("serverGone");
    QTest::newRow("the scope ends") << QString() << false;
    QTest::newRow("the database is missing") << QStringLiteral("nosuch") << false;
    // The same database: the switch is what finds the session dead.
    QTest::newRow("the server is gone") << QStringLiteral("held") << true;
}

void TestTdsRoad::keptSessionEndsWithItsScopeAndFailsAsANewLogin()
{
    QFETCH(QString, next);
    QFETCH(bool, serverGone);
    data::reexecute(*test::openQuery(connect(QStringLiteral("master")), QStringLiteral("select 1")),
        QStringLiteral("create database held"));
    m_connections.clear();
    QString reused;
    {
        const data::odbc::ConnectionReuse reuse;
        data::Connection c;
        c.setConnectionString(test::saCatalog(server(), QStringLiteral("held")));
        c.open();
        c.close();
        // Kept for the next open in the scope: the database is still in use.
        QVERIFY(dropThroughTheFiles(QStringLiteral("held")).contains(QStringLiteral("currently in use")));
        if (serverGone)
            m_tds->stop();
        if (!next.isEmpty()) {
            c.setConnectionString(test::saCatalog(server(), next));
            reused = test::failureOf([&] { c.open(); });
        }
    }
    QCOMPARE(dropThroughTheFiles(QStringLiteral("held")), test::NoError);
    if (next.isEmpty())
        return;
    // The failure reads as that of a new login.
    data::Connection fresh;
    fresh.setConnectionString(test::saCatalog(server(), next));
    QCOMPARE(reused, test::failureOf([&] { fresh.open(); }));
    QVERIFY2(
        reused.startsWith(FreeTds + QStringLiteral("Unable to connect to data source ")), qPrintable(reused));
}

void TestTdsRoad::rentedModesAndRefusals()
{
    // A database that exists already: the network mode is refused with SQL Server's text.
    data::reexecute(*test::openQuery(connect(QStringLiteral("master")), QStringLiteral("select 1")),
        QStringLiteral("create database rent01"));
    // The refusal is told by its number, as the driver read it from the server's reply.
    const CreationResult refused = createAccountSet(
        *m_objects, fields(QStringLiteral("rent01")), CreationMode::Network, m_login, m_context);
    QVERIFY(refused.failedStep == CreationStep::Database);
    QVERIFY(refused.failedWith(data::servermessage::DatabaseExists));
    QCOMPARE(refused.error,
        FreeTds + QStringLiteral("Database 'rent01' already exists. Choose a different database name."));

    // The rented build fills the existing database and leaves the directory alone.
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral("rent01")), CreationMode::RentedBuild, m_login, m_context));
    QVERIFY(test::openQuery(connect(QStringLiteral("rent01")), QStringLiteral("select * from kjkmxxb"))
                ->recordCount()
        > 100);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("rent01"), server()));

    // Running the script again meets the tables it made.
    QCOMPARE(test::failureOf([&] {
        test::done(createAccountSet(
            *m_objects, fields(QStringLiteral("rent01")), CreationMode::RentedBuild, m_login, m_context));
    }).startsWith(FreeTds + QStringLiteral("There is already an object named")),
        true);

    // The rented registration writes the local row and ensures the directory table only.
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral("rent02")), CreationMode::RentedRegister, m_login, m_context));
    QVERIFY(m_reported.isEmpty());
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("rent02"), server()));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QStringLiteral("否"));
    QCOMPARE(
        test::openQuery(connect(QStringLiteral("master")), QStringLiteral("select * from PBTOVRASQLBASEDATA"))
            ->recordCount(),
        0);
}

void TestTdsRoad::selectionDeletionAndTheDeleteErrorYesPath()
{
    test::done(createAccountSet(
        *m_objects, fields(QStringLiteral("zt01")), CreationMode::Network, m_login, m_context));
    data::reexecute(*test::openQuery(connect(QStringLiteral("master")), QStringLiteral("select 1")),
        QStringLiteral("create database busy"));
    appendDirectoryRow(*m_objects,
        { server(), QStringLiteral("busy"), QStringLiteral("忙碌公司"), QString() }, QDate(2026, 12, 1));
    appendDirectoryRow(*m_objects,
        { server(), QStringLiteral("busy"), QStringLiteral("忙碌公司"), QString() }, QDate(2026, 12, 2));
    QVERIFY(listDirectory(*m_objects, server(), m_login));
    QCOMPARE(m_objects->ADOztgl.recordCount(), 3);

    // Selection: the set becomes a local one under the server name as typed.
    const DirectoryRow first = currentDirectoryRow(m_objects->ADOztgl);
    QCOMPARE(first.name, QStringLiteral("北京示范贸易"));
    selectNetworkAccountSet(*m_objects, first, server(), nullptr, QDate(2026, 12, 8));
    QVERIFY(isListedLocally(*m_objects, first));

    // The database in use cannot be dropped; the Yes path then removes the row alone, the row
    // located by its original values: the second of two rows differing only in their date.
    data::Connection &holder = connect(QStringLiteral("busy"));
    holder.open();
    m_objects->ADOztgl.setCurrentRow(2);
    const DirectoryRow busy = currentDirectoryRow(m_objects->ADOztgl);
    QCOMPARE(test::failureOf([&] { dropAccountSetDatabase(*m_objects, m_login, busy); }),
        FreeTds + QStringLiteral("Cannot drop database \"busy\" because it is currently in use."));
    deleteCurrentDirectoryRow(*m_objects);
    auto left = test::openQuery(connect(QStringLiteral("master")),
        QStringLiteral("select jlrq from PBTOVRASQLBASEDATA where ztbh = 'busy'"));
    QCOMPARE(left->recordCount(), 1);
    QCOMPARE(left->fieldAsText(QStringLiteral("jlrq")), QStringLiteral("2026-12-01"));

    // Deletion of the created set: the database goes, then its row.
    m_objects->ADOztgl.setCurrentRow(0);
    dropAccountSetDatabase(*m_objects, m_login, currentDirectoryRow(m_objects->ADOztgl));
    deleteCurrentDirectoryRow(*m_objects);
    QCOMPARE(test::failureOf([&] { connect(QStringLiteral("zt01")).open(); }).section(u'\n', 0, 0),
        FreeTds + QStringLiteral("Unable to connect to data source ") + FreeTds
            + QStringLiteral("Login failed for user 'sa'. ") + FreeTds
            + QStringLiteral("Cannot open database \"zt01\" requested by the login. The login failed."));
    QVERIFY(listDirectory(*m_objects, server(), m_login));
    QCOMPARE(m_objects->ADOztgl.recordCount(), 1);
    QCOMPARE(currentDirectoryRow(m_objects->ADOztgl).number, QStringLiteral("busy"));
}

void TestTdsRoad::sampleIsBuiltOnceThenTheServerRefuses()
{
    // A SQL Server cannot restore the shipped backup: the sample is built as a creation builds.
    QCOMPARE(restoreSampleAccountSet(*m_objects, server(), m_login), SampleOrigin::Built);
    auto q = test::openQuery(connect(SampleNumber), QStringLiteral("select dwmc from xtxxb"));
    QCOMPARE(q->fieldAsText(QStringLiteral("dwmc")), QStringLiteral("TOVRA示范贸易有限公司"));
    QVERIFY(
        test::openQuery(connect(SampleNumber), QStringLiteral("select * from kjkmxxb"))->recordCount() > 100);
    QCOMPARE(test::failureOf([&] { restoreSampleAccountSet(*m_objects, server(), m_login); }),
        FreeTds
            + QStringLiteral("Database 'TOVRASQL_Sample' already exists. Choose a different database name."));
}

void TestTdsRoad::namedInstanceIsFoundThroughTheBrowser()
{
    test::TdsProcess named(m_install->dir(),
        { QStringLiteral("--instance"), QStringLiteral("ZT"), QStringLiteral("--browser"),
            QStringLiteral("127.0.0.1:0") });
    QVERIFY(named.port() > 0 && named.browserPort() > 0);
    // Discovery lists it as the box shows it.
    const auto found = discovery::queryServers(QHostAddress::LocalHost, quint16(named.browserPort()));
    QVERIFY(found.has_value());
    QCOMPARE(*found, QStringList { QStringLiteral("127.0.0.1\\ZT") });

    qputenv("ZTWIZARD_RESOLVE_PORT", QByteArray::number(named.browserPort()));
    data::Connection conn;
    conn.setConnectionString(
        ConnectionString::sqlLoginProbe(QStringLiteral("sa"), QString(), QStringLiteral("127.0.0.1\\ZT")));
    data::Query q(QStringLiteral("ADOQuery1"));
    q.setConnection(&conn);
    data::reexecute(q, QStringLiteral("create database named01"));
    conn.close();
    // The database is in the instance's own folder, not in the default instance.
    QVERIFY(QFile::exists(m_install->dir() + QStringLiteral("data/embedded/ZT/named01.db")));
    QVERIFY(!QFile::exists(m_install->dir() + QStringLiteral("data/embedded/default/named01.db")));

    conn.setConnectionString(
        ConnectionString::sqlLoginProbe(QStringLiteral("sa"), QString(), QStringLiteral("127.0.0.1\\OTHER")));
    QVERIFY(test::failureOf([&] {
        data::reexecute(q, QStringLiteral("select 1"));
    }).contains(QStringLiteral("did not answer")));
    qunsetenv("ZTWIZARD_RESOLVE_PORT");
}

void TestTdsRoad::typedValuesArriveAsDeclared()
{
    data::Connection &conn = connect(QStringLiteral("master"));
    const auto exec = [&](const QString &sql) {
        data::reexecute(*test::openQuery(conn, QStringLiteral("select 1")), sql);
    };
    exec(QStringLiteral("create database typed"));
    data::Connection &db = connect(QStringLiteral("typed"));
    data::reexecute(*test::openQuery(db, QStringLiteral("select 1")),
        QStringLiteral(
            "create table t (i int, b bigint, f bit, d decimal(18, 2), r float, s smallint, dt datetime, "
            "sd smalldatetime, v varchar(20), c char(4), n nvarchar(20), m nvarchar(max))"));
    data::reexecute(*test::openQuery(db, QStringLiteral("select 1")),
        QStringLiteral("insert into t values (7, 12345678901, 1, 12.5, 0.25, -3, '2026-12-08 10:11:12.500', "
                       "'2026-12-08 10:11', '汉字', 'ab', N'北京', N'很长的文本')"));
    data::reexecute(
        *test::openQuery(db, QStringLiteral("select 1")), QStringLiteral("insert into t (i) values (8)"));

    auto q = test::openQuery(db, QStringLiteral("select * from t order by i"));
    QCOMPARE(q->recordCount(), 2);
    const QStringList expected = { "7", "12345678901", "True", "12.5", "0.25", "-3", "2026-12-08 10:11:12",
        "2026-12-08 10:11:00", "汉字", "ab  ", "北京", "很长的文本" };
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(q->fieldAsText(q->fieldName(i)), expected.at(i));
    q->next();
    for (int i = 1; i < expected.size(); ++i)
        QCOMPARE(q->fieldAsText(q->fieldName(i)), QString()); // NULL reads as empty text
}

void TestTdsRoad::serverEndsCleanlyAndCountsItsTraffic()
{
    data::Connection &conn = connect(QStringLiteral("master"));
    QCOMPARE(test::openQuery(conn, QStringLiteral("select 1 as one"))->fieldAsText(QStringLiteral("one")),
        QStringLiteral("1"));
    // Ended while a client is still connected.
    bool clean = false;
    const QString printed = m_tds->stop(&clean);
    QVERIFY(clean);
    QVERIFY2(printed.contains(QStringLiteral("connections 1 requests")), qPrintable(printed));
    QVERIFY(test::failureOf([&] { test::openQuery(conn, QStringLiteral("select 1")); }) != test::NoError);

    // Addresses beyond loopback are refused unless allowed.
    QProcess remote;
    remote.start(
        QStringLiteral(ZT_TDS_EXECUTABLE), { QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0") });
    QVERIFY(remote.waitForFinished(10000));
    QCOMPARE(remote.exitCode(), 2);
}

QTEST_GUILESS_MAIN(TestTdsRoad)
#include "tst_tdsroad.moc"
