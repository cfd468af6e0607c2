// Page 1's "下一步&N" against the embedded server: the probe database, refused logins, and the
// server connection record written after a successful probe.
#include "guidance/guidance.h"
#include "testhelpers.h"
#include "wizardfixture.h"

using namespace zt;
using namespace zt::test;

namespace {

const QString Embedded = QStringLiteral("(embedded)");
const QString FailurePrefix = QStringLiteral("连接服务器失败，请重新选择或录入服务器名称！");

// Runs statements on the embedded server as sa; the error text, or NoError.
QString runAsSa(const QString &sql)
{
    data::Connection connection(QStringLiteral("admin"));
    connection.setConnectionString(data::ConnectionString::server(
        data::LoginFragment::fromLogin(data::Credentials::sql(QStringLiteral("sa"), QString())), Embedded));
    data::Query query(QStringLiteral("admin"));
    query.setConnection(&connection);
    query.addSql(sql);
    return failureOf([&] { query.execSql(); });
}

} // namespace

class TestServerProbe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void leftOverProbeDatabaseIsDroppedByTheFailurePath();
    void refusedLogin_data();
    void refusedLogin();
    void windowsLoginReplacesTheStoredSqlLogin();

private:
    void next();
    void expectNetworkMode();
    std::unique_ptr<Wizard> m_wizard;
};

void TestServerProbe::init()
{
    m_wizard = std::make_unique<Wizard>();
    QVERIFY(m_wizard->installation.isValid());
    m_wizard->server->show();
}

void TestServerProbe::cleanup()
{
    m_wizard.reset();
}

void TestServerProbe::next()
{
    QTest::mouseClick(m_wizard->p1()->BitBtn7, Qt::LeftButton);
}

void TestServerProbe::expectNetworkMode()
{
    Ui::form_xzzt *p2 = m_wizard->p2();
    QVERIFY(m_wizard->page2->isVisible());
    QVERIFY(!m_wizard->server->isVisible());
    QCOMPARE(p2->Edit1->text(), Embedded);
    QVERIFY(p2->CheckBox1->isChecked());
    QVERIFY(p2->CheckBox1->isEnabled());
    QVERIFY(!p2->CheckBox2->isEnabled());
    QVERIFY(!p2->CheckBox3->isEnabled());
    QVERIFY(p2->Edit5->text().isEmpty());
}

void TestServerProbe::leftOverProbeDatabaseIsDroppedByTheFailurePath()
{
    QCOMPARE(runAsSa(QStringLiteral("create database abcde12345")), NoError);
    m_wizard->typeSqlLogin(Embedded, QStringLiteral("sa"), QString());

    next();
    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("服务器设置提示"));
    QCOMPARE(m_wizard->notifier.last().text,
        FailurePrefix
            + QStringLiteral("[ztwizard][SQL Server]Database 'abcde12345' already exists. Choose a different "
                             "database name."));
    QVERIFY(!m_wizard->page2->isVisible());
    QVERIFY(m_wizard->serverRecords(Embedded).isEmpty());

    // The clean-up dropped the left-over database: the same input now goes through.
    next();
    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    expectNetworkMode();
    QCOMPARE(m_wizard->serverRecords(Embedded).size(), 1);
}

void TestServerProbe::refusedLogin_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("serverText");

    QTest::newRow("wrong password") << QString() << "sa"
                                    << "wrong"
                                    << "Login failed for user 'sa'.";
    QTest::newRow("login without the right to create databases")
        << "create login [clerk] with password = 'pw'"
        << "clerk"
        << "pw"
        << "CREATE DATABASE permission denied in database 'master'.";
}

void TestServerProbe::refusedLogin()
{
    QFETCH(QString, setup);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, serverText);
    if (!setup.isEmpty())
        QCOMPARE(runAsSa(setup), NoError);
    m_wizard->typeSqlLogin(Embedded, user, password);

    next();

    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    // The server's text, then the line that says what to do about it.
    QCOMPARE(m_wizard->notifier.last().text,
        guidance::withGuidance(FailurePrefix + QStringLiteral("[ztwizard][SQL Server]") + serverText));
    QVERIFY(m_wizard->notifier.last().text.count(u'\n') == 1);
    QVERIFY(!m_wizard->page2->isVisible());
    QVERIFY(m_wizard->server->isVisible());
    QVERIFY(m_wizard->serverRecords(Embedded).isEmpty());
    QVERIFY(!m_wizard->p1()->BitBtn7->testAttribute(Qt::WA_SetCursor));
}

void TestServerProbe::windowsLoginReplacesTheStoredSqlLogin()
{
    m_wizard->typeSqlLogin(Embedded, QStringLiteral("sa"), QString());
    next();
    expectNetworkMode();
    QList<ServerRecord> rows = m_wizard->serverRecords(Embedded);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().second, QStringLiteral("password=;persist security info=true;user id=sa;"));

    QTest::mouseClick(m_wizard->p2()->BitBtn7, Qt::LeftButton);
    QVERIFY(m_wizard->p1()->RadioButton1->isChecked());
    m_wizard->p1()->SQLServersListComboBox1->setEditText(Embedded);
    next();

    QVERIFY2(m_wizard->notifier.messages.isEmpty(), qPrintable(m_wizard->notifier.messages.value(0).text));
    expectNetworkMode();
    rows = m_wizard->serverRecords(Embedded);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().first, QStringLiteral("integrated security=sspi;persist security info=false;"));
    QCOMPARE(rows.first().second, QString());
}

QTEST_MAIN(TestServerProbe)
#include "tst_serverprobe.moc"
