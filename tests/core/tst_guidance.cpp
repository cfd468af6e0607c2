// The line that says what to do after a failure, through unixODBC and FreeTDS to ztwizard-tds:
// each failure a user meets on page 1 or page 2 keeps the server's text and gets its line.

#include "data/connection.h"
#include "data/dataerror.h"
#include "data/query.h"
#include "guidance/guidance.h"
#include "tdsprocess.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QFile>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zt;

class TestGuidance final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void failuresSayWhatToDo_data();
    void failuresSayWhatToDo();

private:
    std::unique_ptr<test::TestInstallation> m_install;
    std::unique_ptr<test::TdsProcess> m_tds;
};

namespace {

data::ConnectionString sqlLogin(
    const QString &server, const QString &user, const QString &password, const QString &catalog = u"master"_s)
{
    return data::ConnectionString::catalog(
        data::LoginFragment::fromLogin(data::Credentials::sql(user, password)), catalog, server);
}

// The error of opening the connection and running the statement on it, or test::NoError.
QString failureRunning(const data::ConnectionString &target, const QString &statement)
{
    return test::failureOf([&] {
        data::Connection connection;
        connection.setConnectionString(target);
        data::Query query(u"q"_s);
        query.setConnection(&connection);
        query.addSql(statement);
        query.execSql();
    });
}

} // namespace

void TestGuidance::initTestCase()
{
    m_install = std::make_unique<test::TestInstallation>();
    QVERIFY(m_install->isValid());
    m_tds = std::make_unique<test::TdsProcess>(m_install->dir());
    QVERIFY(m_tds->port() > 0);
    // A login that may connect but not create databases.
    QCOMPARE(failureRunning(sqlLogin(m_tds->serverName(), u"sa"_s, QString()),
                 u"create login clerk with password = 'Kasse#2026'"_s),
        test::NoError);
}

void TestGuidance::cleanupTestCase()
{
    m_tds.reset();
    m_install.reset();
}

void TestGuidance::failuresSayWhatToDo_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user"); // empty: the integrated login
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("catalog");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("serverSays"); // kept as it came
    QTest::addColumn<QString>("line"); // the start of the line after it

    const QString server = m_tds->serverName();
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString nobody = u"127.0.0.1,%1"_s.arg(closed.serverPort());
    closed.close();

    const QString master = u"master"_s;
    QTest::newRow("18456 wrong password")
        << server << u"sa"_s << u"falsch"_s << master << u"select 1"_s << u"Login failed for user 'sa'."_s
        << u"登录名或口令不对（18456）"_s;
    QTest::newRow("262 no right to create databases")
        << server << u"clerk"_s << u"Kasse#2026"_s << master << u"create database abcde12345"_s
        << u"CREATE DATABASE permission denied in database 'master'."_s
        << u"这个登录名没有创建数据库的权限（262）"_s;
    QTest::newRow("4060 a database that is not there")
        << server << u"sa"_s << QString() << u"zt_gone"_s << u"select 1"_s
        << u"Cannot open database \"zt_gone\" requested by the login."_s
        << u"这个登录名打不开这个数据库（4060）"_s;
    QTest::newRow("a server that does not answer")
        << nobody << u"sa"_s << QString() << master << u"select 1"_s << u"Adaptive Server"_s
        << u"服务器没有回答"_s;
    QTest::newRow("integrated login to an address")
        << server << QString() << QString() << master << u"select 1"_s << QString()
        << u"集成登录（Windows NT 集成安全设置）在本机经 Kerberos 进行，需要服务器的主机名"_s;
    QTest::newRow("integrated login without a ticket")
        << u"localhost,%1"_s.arg(m_tds->port()) << QString() << QString() << master << u"select 1"_s
        << QString() << u"集成登录（Windows NT 集成安全设置）在本机经 Kerberos 进行，需要先取得票据"_s;
}

void TestGuidance::failuresSayWhatToDo()
{
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, catalog);
    QFETCH(QString, statement);
    QFETCH(QString, serverSays);
    QFETCH(QString, line);

    qputenv("KRB5CCNAME", QFile::encodeName(m_install->dir() + u"no-ticket"_s));
    const data::ConnectionString target = user.isEmpty() ? data::ConnectionString::windowsLoginProbe(server)
                                                         : sqlLogin(server, user, password, catalog);
    const QString failure = failureRunning(target, statement);
    const QStringList lines = failure.split(u'\n');
    QVERIFY2(lines.constLast().startsWith(line), qPrintable(failure));
    QVERIFY2(lines.first().contains(serverSays), qPrintable(failure));
    // The driver's Sybase words are never all a user reads, and a line comes once.
    QCOMPARE(guidance::withGuidance(failure), failure);
}

QTEST_GUILESS_MAIN(TestGuidance)
#include "tst_guidance.moc"
