#include "data/connectionstring.h"
#include "data/dataerror.h"
#include "data/odbcbackend.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace zt::data;
using zt::test::failureOf;
using zt::test::NoError;

namespace {

const QString Dsn = QString::fromLatin1(ConnectionString::LocalDataSource);
const QString User = QString::fromLatin1(ConnectionString::LocalUser);
const QString Password = QString::fromLatin1(ConnectionString::LocalPassword);

// A zero-length file is an empty SQLite database: the driver may open it without creating it.
QString emptyDatabase(const QString &dir, const QString &name)
{
    QDir().mkpath(dir);
    const QString path = dir + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    return path;
}

std::unique_ptr<Backend> openFile(const QString &file)
{
    return odbc::openDataSource(Dsn, User, Password, file);
}

} // namespace

class TestOdbcBackend : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void rowsAreInsertedUpdatedAndDeleted();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void columnsCarryNamesAndTypes();
    void batchRunsEveryStatement();
    void unusualFilePathsOpenTheirFile_data();
    void unusualFilePathsOpenTheirFile();
    void sqlErrorsCarryTheDriverText();
    void missingDataSourceGivesDriverManagerText();
    void missingFileIsAnErrorAndStaysMissing();
    void sessionsAreIndependent();

    void refusedServerFailsPromptlyWithFreeTdsText();
    void unansweredInstanceIsNamed();
    void invalidPortIsRefusedBeforeConnecting();

    void connectionTexts_data();
    void connectionTexts();
    void serverNames_data();
    void serverNames();

private:
    std::unique_ptr<zt::test::TestInstallation> m_installation;
    QString m_file;
};

void TestOdbcBackend::init()
{
    // A session removed while still in use, or two sessions sharing a name, is a fault.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("still in use|duplicate connection")));
    m_installation = std::make_unique<zt::test::TestInstallation>();
    QVERIFY(m_installation->isValid());
    m_file = emptyDatabase(m_installation->dir() + QStringLiteral("data"), QStringLiteral("CONFIG.mdb"));
    QVERIFY(!m_file.isEmpty());
}

void TestOdbcBackend::rowsAreInsertedUpdatedAndDeleted()
{
    auto db = openFile(m_file);
    QCOMPARE(db->dialect(), Dialect::Sqlite);
    db->execute(QStringLiteral("create table zt (id integer, name nvarchar(20))"));
    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(
            db->execute(QStringLiteral("insert into zt values (?, ?)"), { i, QStringLiteral("n%1").arg(i) }),
            1);
    }
    QCOMPARE(
        db->execute(QStringLiteral("update zt set name = ? where id >= ?"), { QStringLiteral("x"), 2 }), 2);
    QCOMPARE(db->execute(QStringLiteral("delete from zt where id = 1")), 1);

    const ResultSet rs = db->query(QStringLiteral("select id, name from zt where id > ? order by id"), { 0 });
    QCOMPARE(rs.rows.size(), 2);
    QCOMPARE(rs.rows[0], (QList<QVariant> { 2, QStringLiteral("x") }));
    QCOMPARE(rs.rows[1], (QList<QVariant> { 3, QStringLiteral("x") }));

    // The changes are in the file, not only in the session.
    db.reset();
    QCOMPARE(openFile(m_file)->query(QStringLiteral("select count(*) from zt")).rows[0][0].toInt(), 2);
}

void TestOdbcBackend::valuesRoundTrip_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("chinese") << "nvarchar(50)" << QVariant(QStringLiteral("创建帐套：中文名称"));
    QTest::newRow("chinese beyond the basic plane")
        << "nvarchar(50)" << QVariant(QStringLiteral("𠀀𠀁 帐套"));
    QTest::newRow("empty text") << "nvarchar(10)" << QVariant(QStringLiteral(""));
    QTest::newRow("date") << "date" << QVariant(QDate(2024, 2, 29));
    QTest::newRow("early date") << "date" << QVariant(QDate(1900, 1, 1));
    QTest::newRow("integer") << "integer" << QVariant(-2147483647);
    QTest::newRow("float") << "float" << QVariant(1234.5);
    QTest::newRow("null") << "nvarchar(10)" << QVariant();
}

void TestOdbcBackend::valuesRoundTrip()
{
    QFETCH(QString, type);
    QFETCH(QVariant, value);

    auto db = openFile(m_file);
    db->execute(QStringLiteral("create table v (x %1)").arg(type));
    db->execute(QStringLiteral("insert into v values (?)"), { value });
    const QVariant back = db->query(QStringLiteral("select x from v")).rows.value(0).value(0);
    if (value.isNull()) {
        QVERIFY(back.isNull());
    } else {
        QCOMPARE(back.metaType(), value.metaType());
        QCOMPARE(back, value);
    }
    // The stored value compares equal on the database side too.
    if (!value.isNull())
        QCOMPARE(
            db->query(QStringLiteral("select count(*) from v where x = ?"), { value }).rows[0][0].toInt(), 1);
}

void TestOdbcBackend::columnsCarryNamesAndTypes()
{
    auto db = openFile(m_file);
    db->execute(
        QStringLiteral("create table t (a integer, b nvarchar(10), c date, d datetime, e float, f bit)"));
    const ResultSet rs = db->query(QStringLiteral("select * from t"));
    QVERIFY(rs.rows.isEmpty());
    QStringList names;
    QStringList types;
    for (const Column &c : rs.columns) {
        names << c.name;
        types << c.declType;
    }
    QCOMPARE(names, (QStringList { "a", "b", "c", "d", "e", "f" }));
    QCOMPARE(types, (QStringList { "int", "nvarchar", "date", "datetime", "float", "bit" }));
}

void TestOdbcBackend::batchRunsEveryStatement()
{
    auto db = openFile(m_file);
    db->execute(QStringLiteral("create table b (x integer);\r\ninsert into b values (1);\r\n"
                               "insert into b values (2);\r\n"));
    QCOMPARE(db->query(QStringLiteral("select sum(x) from b")).rows[0][0].toInt(), 3);
}

void TestOdbcBackend::unusualFilePathsOpenTheirFile_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");

    QTest::newRow("chinese folder") << QStringLiteral("安装目录") << QStringLiteral("帐套.mdb");
    QTest::newRow("semicolon and braces") << QStringLiteral("a;b{c}") << QStringLiteral("x;NoCreat=0.mdb");
    QTest::newRow("looks like a file data source")
        << QStringLiteral("my.dsn") << QStringLiteral("CONFIG.mdb");
    QTest::newRow("percent and hash") << QStringLiteral("100% #1") << QStringLiteral("a?b.mdb");
}

void TestOdbcBackend::unusualFilePathsOpenTheirFile()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);

    const QString path = emptyDatabase(m_installation->dir() + folder, name);
    QVERIFY(!path.isEmpty());
    openFile(path)->execute(QStringLiteral("create table u (x nvarchar(10))"));
    // The table went into that file and no other file appeared beside it.
    QVERIFY(QFileInfo(path).size() > 0);
    QCOMPARE(QDir(m_installation->dir() + folder).entryList(QDir::Files), QStringList { name });
    QCOMPARE(openFile(path)->query(QStringLiteral("select * from u")).columns.size(), 1);
}

void TestOdbcBackend::sqlErrorsCarryTheDriverText()
{
    auto db = openFile(m_file);
    const QString message = failureOf([&] { db->query(QStringLiteral("select * from no_such_table")); });
    QVERIFY2(message.startsWith(QLatin1StringView("[SQLite]")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1StringView("no_such_table")), qPrintable(message));
    QVERIFY2(!message.contains(QLatin1StringView("QODBC")), qPrintable(message));

    const QString bound
        = failureOf([&] { db->execute(QStringLiteral("insert into nowhere values (?)"), { 1 }); });
    QVERIFY2(bound.startsWith(QLatin1StringView("[SQLite]")), qPrintable(bound));
}

void TestOdbcBackend::missingDataSourceGivesDriverManagerText()
{
    // The driver manager remembers data sources it has looked up for a while, so the name asked
    // for here is one this process has never opened.
    m_installation->removeDataSource();
    const QString message
        = failureOf([&] { odbc::openDataSource(QStringLiteral("ztmissing"), User, Password, m_file); });
    QVERIFY2(message.startsWith(QLatin1StringView("[unixODBC][Driver Manager]Data source name not found")),
        qPrintable(message));
}

void TestOdbcBackend::missingFileIsAnErrorAndStaysMissing()
{
    const QString missing = m_installation->dir() + QStringLiteral("data/MISSING.mdb");
    const QString message = failureOf([&] { openFile(missing); });
    QVERIFY2(message.startsWith(QLatin1StringView("[SQLite]")), qPrintable(message));
    // The driver's text first, then the file and what is wrong with it.
    QVERIFY2(message.endsWith(QStringLiteral(" 文件“") + missing + QStringLiteral("”不存在。")),
        qPrintable(message));
    QVERIFY(!QFileInfo::exists(missing));
    const QString folder = m_installation->dir() + QStringLiteral("data/SysBase");
    const QString folderMessage = failureOf([&] { openFile(folder); });
    QVERIFY2(folderMessage.endsWith(QStringLiteral("”是文件夹。")), qPrintable(folderMessage));

    const QString missingChinese = m_installation->dir() + QStringLiteral("data/不存在.mdb");
    QVERIFY(failureOf([&] { openFile(missingChinese); }) != NoError);
    QVERIFY(!QFileInfo::exists(missingChinese));
}

void TestOdbcBackend::sessionsAreIndependent()
{
    auto first = openFile(m_file);
    auto second = openFile(m_file);
    first->execute(QStringLiteral("create table s (x integer)"));
    first->execute(QStringLiteral("insert into s values (7)"));
    first.reset(); // closing one session leaves the other working
    QCOMPARE(second->query(QStringLiteral("select x from s")).rows[0][0].toInt(), 7);
}

void TestOdbcBackend::refusedServerFailsPromptlyWithFreeTdsText()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();

    QElapsedTimer timer;
    timer.start();
    const QString message = failureOf([&] {
        odbc::openSqlServer(
            QStringLiteral("127.0.0.1,%1").arg(port), Credentials::sql(QStringLiteral("sa"), {}), {});
    });
    QVERIFY2(message.startsWith(QLatin1StringView("[FreeTDS]")), qPrintable(message));
    QVERIFY2(!message.contains(QLatin1StringView("QODBC")), qPrintable(message));
    // FreeTDS reports the same record once per address tried; it is shown once.
    QVERIFY2(message.count(QLatin1StringView("does not exist")) == 1, qPrintable(message));
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

void TestOdbcBackend::unansweredInstanceIsNamed()
{
    QElapsedTimer timer;
    timer.start();
    const QString message = failureOf([&] {
        odbc::openSqlServer(QStringLiteral("127.0.0.1\\NOSUCH"),
            Credentials::sql(QStringLiteral("sa"), QString()), QStringLiteral("master"));
    });
    QVERIFY2(message.startsWith(QLatin1StringView("[FreeTDS]")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1StringView("'NOSUCH'")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1StringView("'127.0.0.1'")), qPrintable(message));
    QVERIFY(timer.elapsed() < 3000);
}

void TestOdbcBackend::invalidPortIsRefusedBeforeConnecting()
{
    const QString message
        = failureOf([&] { odbc::openSqlServer(QStringLiteral("127.0.0.1,99999"), {}, {}); });
    QVERIFY2(message.contains(QLatin1StringView("127.0.0.1,99999")), qPrintable(message));
}

void TestOdbcBackend::connectionTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto sqlServer = [](const QString &section, const QString &encryption, const Credentials &login,
                               const QString &catalog) {
        try {
            return odbc::sqlServerConnectionText(section, encryption, login, catalog);
        } catch (const DataError &e) {
            return QStringLiteral("error: ") + e.message();
        }
    };
    const QString srv = QStringLiteral("ztwizard_srv");
    const QString require = QStringLiteral("require");
    // The program's name goes as the login's application name: the test's own name here.
    const QString app = QStringLiteral("APP=") + QCoreApplication::applicationName() + u';';
    const QString head
        = QStringLiteral("Driver={FreeTDS};ServerName=ztwizard_srv;TDS_Version=7.4;Encryption=require;"
                         "ClientCharset=UTF-8;")
        + app;
    const auto sa = [](const char *password) {
        return Credentials::sql(QStringLiteral("sa"), QString::fromUtf8(password));
    };

    QTest::newRow("sql login with catalog") << sqlServer(srv, require, sa("pw"), QStringLiteral("zt001"))
                                            << head + QStringLiteral("Database=zt001;UID=sa;PWD=pw;");
    QTest::newRow("password that would add settings, server allowed unencrypted")
        << sqlServer(srv, QStringLiteral("request"), sa("x;Database=master"), {})
        << QStringLiteral("Driver={FreeTDS};ServerName=ztwizard_srv;TDS_Version=7.4;Encryption=request;"
                          "ClientCharset=UTF-8;")
            + app + QStringLiteral("UID=sa;PWD={x;Database=master};");
    // FreeTDS ends a braced value at its first '}': a '}' stands bare, and braced as it is.
    QTest::newRow("password with }") << sqlServer(srv, require, sa("p}w"), {})
                                     << head + QStringLiteral("UID=sa;PWD=p}w;");
    QTest::newRow("password with ; and }")
        << sqlServer(srv, require, sa("a;b}c"), {}) << head + QStringLiteral("UID=sa;PWD={a;b}c};");
    QTest::newRow("password starting with { or a blank")
        << sqlServer(srv, require, Credentials::sql(QStringLiteral(" u"), QStringLiteral("{x")), {})
        << head + QStringLiteral("UID={ u};PWD={{x};");
    QTest::newRow("integrated login") << sqlServer(srv, require, Credentials::integrated(),
        QStringLiteral("master")) << head + QStringLiteral("Database=master;Trusted_Connection=Yes;");
    QTest::newRow("no login") << sqlServer(srv, require, Credentials {}, {}) << head;
    const QString program = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("a;b"));
    const QString bracedName = sqlServer(srv, require, Credentials {}, {});
    QCoreApplication::setApplicationName(program);
    QTest::newRow("program name holding ;")
        << bracedName << QString(head).replace(app, QStringLiteral("APP={a;b};"));
    QTest::newRow(".dsn in a password")
        << sqlServer(srv, require, sa("a.DSN"), {}) << QStringLiteral("error: 登录名和口令中不能有“.dsn”。");
    QTest::newRow("plain value") << odbc::quoteOdbcValue(QStringLiteral("a=b c")) << QStringLiteral("a=b c");
    QTest::newRow("empty value") << odbc::quoteOdbcValue(QString()) << QString();
    QTest::newRow("value holding ; and }")
        << odbc::quoteOdbcValue(QStringLiteral("/a;b}/c.mdb")) << QStringLiteral("{/a;b}}/c.mdb}");
}

void TestOdbcBackend::connectionTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestOdbcBackend::serverNames_data()
{
    QTest::addColumn<QString>("serverName");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("instance");

    QTest::newRow("host") << "SRV"
                          << "SRV" << 1433 << "";
    QTest::newRow("address") << "10.1.2.3"
                             << "10.1.2.3" << 1433 << "";
    QTest::newRow("host and port") << "10.1.2.3,1500"
                                   << "10.1.2.3" << 1500 << "";
    QTest::newRow("spaces around the port") << "srv , 1500"
                                            << "srv" << 1500 << "";
    QTest::newRow("named instance") << "SRV\\SQLEXPRESS"
                                    << "SRV" << 1433 << "SQLEXPRESS";
    QTest::newRow("port wins over instance") << "SRV\\INST,2000"
                                             << "SRV" << 2000 << "";
    QTest::newRow("tcp prefix") << "tcp:srv,1501"
                                << "srv" << 1501 << "";
    QTest::newRow("dot") << "."
                         << "127.0.0.1" << 1433 << "";
    QTest::newRow("local with instance") << "(local)\\INST"
                                         << "127.0.0.1" << 1433 << "INST";
    QTest::newRow("port not a number") << "srv,abc"
                                       << "srv" << 0 << "";
    QTest::newRow("port out of range") << "srv,70000"
                                       << "srv" << 0 << "";
}

void TestOdbcBackend::serverNames()
{
    QFETCH(QString, serverName);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, instance);

    const odbc::ServerAddress address = odbc::parseServerName(serverName);
    QCOMPARE(address.host, host);
    QCOMPARE(address.port, port);
    QCOMPARE(address.instance, instance);
}

QTEST_GUILESS_MAIN(TestOdbcBackend)
#include "tst_odbcbackend.moc"
