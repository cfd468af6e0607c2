// The SQL Server road under each server collation: every operation through unixODBC + FreeTDS
// to ztwizard-tds serving an instance made with that collation (one process per collation,
// started here on a free loopback port), what it stored read back through an independent client,
// the sqlite3 command on the instance's files.
#include "accountset/backup.h"
#include "accountset/creation.h"
#include "accountset/deletion.h"
#include "accountset/directory.h"
#include "accountset/sample.h"
#include "accountset/takeover.h"
#include "data/dataerror.h"
#include "data/query.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "tdsroad.h"

#include <QProcess>
#include <QTest>

#include <map>

using namespace Qt::StringLiterals;

using namespace zt;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;

using test::Sa;

namespace {

// Simplified Chinese that neither code page 1252 nor 950 (Big5) holds whole: 账 is not in Big5.
// Longer than a third of the nvarchar(50) it is kept in, as Qt's driver reads FreeTDS text in pieces of 51
// bytes.
const QString Name = QStringLiteral("账套拉丁公司账套拉丁公司账套拉丁公司账套拉丁公司");
const QString Password = QStringLiteral("口令密码");

enum class Operation { Network, RentedBuild, RentedRegister, Selection, Deletion, Backup, Restore, Sample };

} // namespace

class TestTdsCollations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void operationKeepsChineseText_data();
    void operationKeepsChineseText();
    void serverAnswersInItsCollation_data();
    void serverAnswersInItsCollation();
    void noTextWentAsVarchar();

private:
    // The server of the collation, started when first asked for; its instance is named after it.
    QString serverFor(const QString &collation);
    // What sqlite3 prints for sql on a file of the collation's instance (or any other path).
    QString stored(const QString &collation, const QString &file, const QString &sql) const;
    data::Connection &connect(const QString &server, const QString &catalog);
    AccountSetFields fields(const QString &server, const QString &number) const
    {
        return { server, number, Name, Password };
    }
    // The number's directory row as "ztmc|kl" (empty when there is none).
    QString directoryRow(const QString &collation, const QString &number) const
    {
        return stored(collation, QStringLiteral("master"),
            QStringLiteral(
                "select ztmc || '|' || kl from PBTOVRASQLBASEDATA where ztbh = '%1' collate binary")
                .arg(number));
    }
    // The name in the local row of the number on the server.
    QString localName(const QString &number, const QString &server) const
    {
        return stored({}, m_install->dir() + QStringLiteral("data/MORVEK.mdb"),
            QStringLiteral(
                "select ztmc from ztxxb where ztbh = '%1' collate binary and zjmc = '%2' collate binary")
                .arg(number, server));
    }
    // The first account name of a set against Sample.mdb's, and whether the set has the base data.
    void verifyBaseData(const QString &collation, const QString &database) const;
    void runOperation();

    std::unique_ptr<test::TestInstallation> m_install;
    std::map<QString, std::unique_ptr<test::TdsProcess>> m_servers;
    std::list<data::Connection> m_connections;
};

void TestTdsCollations::initTestCase()
{
    m_install = std::make_unique<test::TestInstallation>();
    QVERIFY(m_install->isValid());
}

void TestTdsCollations::cleanupTestCase()
{
    m_connections.clear();
    m_servers.clear();
    m_install.reset();
}

QString TestTdsCollations::serverFor(const QString &collation)
{
    auto &tds = m_servers[collation];
    if (!tds) {
        tds = std::make_unique<test::TdsProcess>(m_install->dir(),
            QStringList {
                QStringLiteral("--instance"), collation, QStringLiteral("--collation"), collation });
        if (tds->port() == 0)
            return {};
        test::storeServerLogin(tds->serverName(), Sa);
    }
    return tds->serverName();
}

QString TestTdsCollations::stored(const QString &collation, const QString &file, const QString &sql) const
{
    const QString path = collation.isEmpty()
        ? file
        : m_install->dir() + QStringLiteral("data/embedded/%1/%2.db").arg(collation, file);
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"),
        { QStringLiteral("-readonly"), QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), path, sql });
    if (!sqlite.waitForFinished(20000))
        return QStringLiteral("(sqlite3 did not finish)");
    return QString::fromUtf8(sqlite.readAllStandardOutput()).trimmed()
        + QString::fromUtf8(sqlite.readAllStandardError()).trimmed();
}

data::Connection &TestTdsCollations::connect(const QString &server, const QString &catalog)
{
    data::Connection &c = m_connections.emplace_back();
    c.setConnectionString(test::saCatalog(server, catalog));
    return c;
}

void TestTdsCollations::verifyBaseData(const QString &collation, const QString &database) const
{
    const QString account = QStringLiteral("select kmmc from kjkmxxb where kmdm = '1001' collate binary");
    const QString expected = stored({}, m_install->dir() + QStringLiteral("data/Sample.mdb"), account);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(stored(collation, database, account), expected);
    QVERIFY(stored(collation, database, QStringLiteral("select count(*) from kjkmxxb")).toInt() > 100);
}

void TestTdsCollations::operationKeepsChineseText_data()
{
    QTest::addColumn<QString>("collation");
    QTest::addColumn<Operation>("operation");
    const std::pair<const char *, Operation> operations[] = { { "network creation", Operation::Network },
        { "rented build", Operation::RentedBuild }, { "rented registration", Operation::RentedRegister },
        { "selection", Operation::Selection }, { "deletion", Operation::Deletion },
        { "backup", Operation::Backup }, { "restore", Operation::Restore }, { "sample", Operation::Sample } };
    for (const char *collation :
        { "Chinese_PRC_CI_AS", "SQL_Latin1_General_CP1_CI_AS", "Chinese_Taiwan_Stroke_CI_AS" }) {
        for (const auto &[name, operation] : operations)
            QTest::addRow("%s, %s", collation, name) << QString::fromLatin1(collation) << operation;
    }
}

void TestTdsCollations::operationKeepsChineseText()
{
    try {
        runOperation();
    } catch (const data::DataError &e) {
        QFAIL(qPrintable(e.message()));
    }
}

void TestTdsCollations::runOperation()
{
    QFETCH(QString, collation);
    QFETCH(Operation, operation);
    const QString server = serverFor(collation);
    QVERIFY2(!server.isEmpty(), "ztwizard-tds did not start");
    install::heldValues() = {};
    AccountSetObjects o;
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
    QStringList reported;
    CreationContext context;
    context.reportDirectoryError = [&](const QString &message) { reported << message; };
    data::ServerLogin login;
    auto create = [&](const QString &number, CreationMode mode) {
        test::done(createAccountSet(o, fields(server, number), mode, login, context));
        QVERIFY2(reported.isEmpty(), qPrintable(reported.join(u'\n')));
    };
    // The directory listed, its row of the number current.
    auto findRow = [&](const QString &number) {
        QVERIFY(listDirectory(o, server, login));
        for (int row = 0; row < o.ADOztgl.rowCount(); ++row) {
            o.ADOztgl.setCurrentRow(row);
            if (currentDirectoryRow(o.ADOztgl).number == number)
                return;
        }
        QFAIL("no directory row");
    };

    switch (operation) {
    case Operation::Network:
        create(QStringLiteral("cn"), CreationMode::Network);
        QCOMPARE(directoryRow(collation, QStringLiteral("cn")), Name + u'|' + Password);
        verifyBaseData(collation, QStringLiteral("cn"));
        break;
    case Operation::RentedBuild:
        data::reexecute(
            *test::openQuery(connect(server, QStringLiteral("master")), QStringLiteral("select 1")),
            QStringLiteral("create database rb"));
        create(QStringLiteral("rb"), CreationMode::RentedBuild);
        verifyBaseData(collation, QStringLiteral("rb"));
        QCOMPARE(localName(QStringLiteral("rb"), server), Name);
        break;
    case Operation::RentedRegister:
        create(QStringLiteral("rr"), CreationMode::RentedRegister);
        QCOMPARE(localName(QStringLiteral("rr"), server), Name);
        QCOMPARE(directoryRow(collation, QStringLiteral("rr")), QString());
        break;
    case Operation::Selection: {
        login = store::readServerLogin(o.ADOTy, server);
        ensureDirectoryTable(o, login);
        appendDirectoryRow(o, fields(server, QStringLiteral("sel")), QDate(2026, 12, 1));
        findRow(QStringLiteral("sel"));
        const DirectoryRow row = currentDirectoryRow(o.ADOztgl);
        QCOMPARE(row.name, Name);
        QVERIFY(!isListedLocally(o, row));
        selectNetworkAccountSet(o, row, server, nullptr, QDate(2026, 12, 8));
        QVERIFY(isListedLocally(o, row));
        QCOMPARE(localName(QStringLiteral("sel"), server), Name);
        break;
    }
    case Operation::Deletion:
        create(QStringLiteral("del"), CreationMode::Network);
        findRow(QStringLiteral("del"));
        dropAccountSetDatabase(o, login, currentDirectoryRow(o.ADOztgl));
        // The row is found by its original values, Chinese name and password among them.
        deleteCurrentDirectoryRow(o);
        QCOMPARE(directoryRow(collation, QStringLiteral("del")), QString());
        QVERIFY(!QFile::exists(m_install->dir() + QStringLiteral("data/embedded/%1/del.db").arg(collation)));
        break;
    case Operation::Backup: {
        create(QStringLiteral("bk"), CreationMode::Network);
        const QString file = QStringLiteral("备份%1.bak").arg(collation);
        backupDatabase(o, login, QStringLiteral("bk"), file);
        QVERIFY(stored({}, m_install->dir() + QStringLiteral("data/backup/") + file,
                    QStringLiteral("select count(*) from kjkmxxb"))
                    .toInt()
            > 100);
        break;
    }
    case Operation::Restore: {
        create(QStringLiteral("rs0"), CreationMode::Network);
        const QString file = QStringLiteral("还原%1.bak").arg(collation);
        backupDatabase(o, login, QStringLiteral("rs0"), file);
        test::done(restoreAccountSet(
            o, { fields(server, QStringLiteral("rs")), file, CreationMode::Network }, login, context));
        QVERIFY2(reported.isEmpty(), qPrintable(reported.join(u'\n')));
        QCOMPARE(directoryRow(collation, QStringLiteral("rs")), Name + u'|' + Password);
        verifyBaseData(collation, QStringLiteral("rs"));
        break;
    }
    case Operation::Sample:
        QCOMPARE(restoreSampleAccountSet(o, server, login), SampleOrigin::Built);
        registerAccountSet(
            o, { server, SampleNumber, SampleName, {} }, CreationMode::Network, login, context);
        QVERIFY2(reported.isEmpty(), qPrintable(reported.join(u'\n')));
        QCOMPARE(stored(collation, SampleNumber, QStringLiteral("select dwmc from xtxxb")),
            QStringLiteral("TOVRA示范贸易有限公司"));
        QCOMPARE(directoryRow(collation, SampleNumber), SampleName + u'|');
        verifyBaseData(collation, SampleNumber);
        break;
    }
}

void TestTdsCollations::serverAnswersInItsCollation_data()
{
    QTest::addColumn<QString>("collation");
    QTest::addColumn<QString>("varchar"); // N'账套中文' as a varchar of the collation holds it
    QTest::newRow("936") << u"Chinese_PRC_CI_AS"_s << u"账套中文"_s;
    QTest::newRow("1252") << u"SQL_Latin1_General_CP1_CI_AS"_s << u"????"_s;
    QTest::newRow("950") << u"Chinese_Taiwan_Stroke_CI_AS"_s << u"?套中文"_s;
}

void TestTdsCollations::serverAnswersInItsCollation()
{
    QFETCH(QString, collation);
    QFETCH(QString, varchar);
    const QString server = serverFor(collation);
    QVERIFY(!server.isEmpty());
    data::Connection &master = connect(server, QStringLiteral("master"));
    auto q = test::openQuery(master,
        QStringLiteral("select cast(SERVERPROPERTY('Collation') as nvarchar(128)) as s, "
                       "DATABASEPROPERTYEX('master', 'Collation') as m"));
    QCOMPARE(q->fieldAsText(QStringLiteral("s")), collation);
    QCOMPARE(q->fieldAsText(QStringLiteral("m")), collation);
    // A new database takes the server's collation unless it names one.
    data::reexecute(
        *q, QStringLiteral("create database cp; create database cp936 collate Chinese_PRC_CI_AS"));
    data::reopen(*q,
        QStringLiteral("select DATABASEPROPERTYEX('cp', 'Collation') as a, DATABASEPROPERTYEX('cp936', "
                       "'Collation') as b"));
    QCOMPARE(q->fieldAsText(QStringLiteral("a")), collation);
    QCOMPARE(q->fieldAsText(QStringLiteral("b")), u"Chinese_PRC_CI_AS"_s);

    // varchar holds its collation's code page, sent and read in it; nvarchar and a column of
    // Chinese_PRC_CI_AS hold the text whole.
    data::Connection &cp = connect(server, QStringLiteral("cp"));
    auto t = test::openQuery(cp, QStringLiteral("select 1"));
    data::reexecute(*t,
        QStringLiteral(
            "create table t (v varchar(20), w varchar(20) collate Chinese_PRC_CI_AS, n nvarchar(20)); "
            "insert into t values (N'账套中文', N'账套中文', N'账套中文')"));
    data::reopen(*t, QStringLiteral("select v, w, n from t"));
    QCOMPARE(t->fieldAsText(QStringLiteral("v")), varchar);
    QCOMPARE(t->fieldAsText(QStringLiteral("w")), u"账套中文"_s);
    QCOMPARE(t->fieldAsText(QStringLiteral("n")), u"账套中文"_s);
    QCOMPARE(stored(collation, QStringLiteral("cp"), QStringLiteral("select v || '|' || w from t")),
        varchar + u"|账套中文"_s);
}

void TestTdsCollations::noTextWentAsVarchar()
{
    // The traffic of all the operations above: every text value came as Unicode.
    m_connections.clear();
    QVERIFY(!m_servers.empty());
    for (auto &[collation, tds] : m_servers) {
        bool clean = false;
        const QString stats = tds->stop(&clean);
        QVERIFY(clean);
        QVERIFY2(stats.contains(QStringLiteral("text-parameters varchar 0 ")), qPrintable(collation + stats));
    }
}

QTEST_GUILESS_MAIN(TestTdsCollations)
#include "tst_tdscollations.moc"
