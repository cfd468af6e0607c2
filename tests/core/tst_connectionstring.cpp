#include "data/connectionstring.h"

#include <QTest>

using namespace zt::data;

class TestConnectionString : public QObject
{
    Q_OBJECT

private slots:
    void shapesRenderLetterForLetter_data();
    void shapesRenderLetterForLetter();
    void loginFragmentsReadBackWhole_data();
    void loginFragmentsReadBackWhole();
    void unknownFragmentGivesNoLogin();
};

void TestConnectionString::shapesRenderLetterForLetter_data()
{
    QTest::addColumn<ConnectionString>("cs");
    QTest::addColumn<QString>("text");
    const auto windows = LoginFragment::fromLogin(Credentials::integrated());
    const auto sql = LoginFragment::fromLogin(Credentials::sql(QStringLiteral("sa"), QStringLiteral("pw")));

    QTest::newRow("local access, doubled separator before data")
        << ConnectionString::localAccess(QStringLiteral("/opt/zt/"), QStringLiteral("MORVEK.mdb"))
        << QStringLiteral(
               "Provider=MSDASQL.1;Password=plumbrook5190274;Persist Security Info=True;User ID=admin;"
               "Data Source=plumbrook;Initial Catalog=/opt/zt//data/MORVEK.mdb");
    QTest::newRow("server, windows login")
        << ConnectionString::server(windows, QStringLiteral("SRV"))
        << QStringLiteral(
               "Provider=SQLOLEDB.1;integrated security=sspi;persist security info=false;Data Source=SRV");
    QTest::newRow("server, sql login")
        << ConnectionString::server(sql, QStringLiteral("10.0.0.1"))
        << QStringLiteral(
               "Provider=SQLOLEDB.1;password=pw;persist security info=true;user id=sa;Data Source=10.0.0.1");
    QTest::newRow("server, no record") << ConnectionString::server(LoginFragment::fromText({}),
        QStringLiteral("SRV")) << QStringLiteral("Provider=SQLOLEDB.1;Data Source=SRV");
    QTest::newRow("catalog") << ConnectionString::catalog(
        sql, QStringLiteral("zt001"), QStringLiteral("SRV\\INST"))
                             << QStringLiteral(
                                    "Provider=SQLOLEDB.1;password=pw;persist security info=true;user id=sa;"
                                    "Initial Catalog=zt001;Data Source=SRV\\INST");
    QTest::newRow("master") << ConnectionString::master(windows, QStringLiteral("SRV"))
                            << QStringLiteral(
                                   "Provider=SQLOLEDB.1;integrated security=sspi;persist security info=false;"
                                   "Initial Catalog=master;Data Source=SRV");
    QTest::newRow("sql login probe")
        << ConnectionString::sqlLoginProbe(QStringLiteral("sa"), QStringLiteral("x;y"), QStringLiteral("SRV"))
        << QStringLiteral(
               "Provider=SQLOLEDB.1;Password=x;y;Persist Security Info=True;User ID=sa;Data Source=SRV");
    QTest::newRow("windows login probe")
        << ConnectionString::windowsLoginProbe(QStringLiteral("SRV"))
        << QStringLiteral(
               "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Data Source=SRV");
}

void TestConnectionString::shapesRenderLetterForLetter()
{
    QFETCH(ConnectionString, cs);
    QFETCH(QString, text);
    QCOMPARE(cs.text(), text);
}

void TestConnectionString::loginFragmentsReadBackWhole_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("plain") << "sa"
                           << "secret";
    QTest::newRow("empty password") << "sa"
                                    << "";
    QTest::newRow("semicolons") << "sa"
                                << "a;b;Data Source=evil;";
    QTest::newRow("marker inside password") << "u"
                                            << "x;persist security info=true;user id=y";
    QTest::newRow("chinese") << "管理员"
                             << "口令";
}

void TestConnectionString::loginFragmentsReadBackWhole()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    const auto stored = LoginFragment::fromLogin(Credentials::sql(user, password));
    QCOMPARE(
        stored.text(), LoginFragment::firstHalf(stored.login()) + LoginFragment::secondHalf(stored.login()));
    const auto read = LoginFragment::fromText(stored.text());
    QCOMPARE(read.login(), Credentials::sql(user, password));
    // A value holding ';' cannot reach the server as another setting: the parts stay whole.
    const auto cs = ConnectionString::server(read, QStringLiteral("SRV"));
    QCOMPARE(cs.login().password, password);
    QCOMPARE(cs.dataSource(), QStringLiteral("SRV"));
}

void TestConnectionString::unknownFragmentGivesNoLogin()
{
    QCOMPARE(LoginFragment::fromText(QStringLiteral("garbage")).login().kind, Credentials::Kind::None);
    QCOMPARE(LoginFragment::fromText({}).login().kind, Credentials::Kind::None);
    QCOMPARE(LoginFragment::fromText(QString::fromLatin1(LoginFragment::IntegratedText)).login(),
        Credentials::integrated());
}

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
