// Where a restore puts a database's files on the embedded server, as SQL Server places them: two
// instances with folders of their own stand for two servers that share a backup file.
#include "accountset/backup.h"
#include "accountsetfixture.h"
#include "data/dataerror.h"
#include "embedded/databasefiles.h"
#include "install/installfiles.h"
#include "testhelpers.h"

#include <QFile>
#include <QTest>

#include <sqlite3.h>

using namespace zt;
using namespace Qt::StringLiterals;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;

namespace {

const QString &First = test::EmbeddedServer;
const QString Second = u"(embedded)\\OTHER"_s;
const QString Prefix = u"[ztwizard][SQL Server]"_s;

data::ResultSet query(const QString &server, const QString &sql)
{
    data::Connection c;
    c.setConnectionString(test::embeddedCatalog(QStringLiteral("master"), server));
    return c.backend().query(sql);
}

void exec(const QString &server, const QString &catalog, const QString &sql)
{
    data::Connection c;
    c.setConnectionString(test::embeddedCatalog(catalog, server));
    c.backend().execute(sql);
}

// The files sys.master_files lists for a database: "name|physical_name" each.
QStringList filesOf(const QString &server, const QString &database)
{
    QStringList files;
    const auto rows = query(server,
        u"select f.name, f.physical_name from sys.master_files f join sys.databases d on d.database_id = "
        "f.database_id where d.name = '%1' order by f.file_id"_s.arg(database));
    for (const auto &row : rows.rows)
        files << row.value(0).toString() + u'|' + row.value(1).toString();
    return files;
}

} // namespace

class TestRestorePlacement : public QObject, private test::AccountSetFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void restoreOnAnotherServer_data();
    void restoreOnAnotherServer();
    void accountSetComesBackOnAnotherServer();
    void backupOfEarlierFormatRestoresIntoTheServersFolder();

private:
    QString folderOf(const QString &server) const;
};

// The first server's login is the fixture's; the second's is stored beside it.
void TestRestorePlacement::init()
{
    const QString problem = setUpAccountSets();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    test::storeServerLogin(Second, Credentials::integrated());
    exec(First, u"master"_s, u"create database zt001"_s);
    exec(First, u"zt001"_s, u"create table t (v nvarchar(10)); insert into t values (N'甲')"_s);
    exec(Second, u"master"_s, u"create database zt002"_s);
}

void TestRestorePlacement::cleanup()
{
    tearDownAccountSets();
}

QString TestRestorePlacement::folderOf(const QString &server) const
{
    return query(server,
        u"select serverproperty('InstanceDefaultDataPath'), serverproperty('InstanceDefaultLogPath')"_s)
        .rows.value(0)
        .value(0)
        .toString();
}

void TestRestorePlacement::restoreOnAnotherServer_data()
{
    QTest::addColumn<QString>("with"); // %1 the first server's folder, %2 the second's
    QTest::addColumn<QStringList>("errors"); // the messages before 3013, %1 and %2 as above

    const QString lookup = u"Directory lookup for the file \"%1\" failed with the operating system error "
                           "3(The system cannot find the path specified.)."_s;
    const QString useMove = u"File '%1' cannot be restored to '%2'. Use WITH MOVE to identify a valid "
                            "location for the file."_s;
    const QString planning
        = u"Problems were identified while planning for the RESTORE statement. Previous messages provide details."_s;
    QTest::newRow("the folders the backup recorded")
        << QString()
        << QStringList { lookup.arg(u"%1zt001.mdf"_s), useMove.arg(u"zt001"_s, u"%1zt001.mdf"_s),
               lookup.arg(u"%1zt001_log.ldf"_s), useMove.arg(u"zt001_log"_s, u"%1zt001_log.ldf"_s),
               planning };
    QTest::newRow("moved beside the recorded files, as restores did")
        << u"move 'zt001' to '%1zt009.mdf', move 'zt001_log' to '%1zt009_log.ldf'"_s
        << QStringList { lookup.arg(u"%1zt009.mdf"_s), useMove.arg(u"zt001"_s, u"%1zt009.mdf"_s),
               lookup.arg(u"%1zt009_log.ldf"_s), useMove.arg(u"zt001_log"_s, u"%1zt009_log.ldf"_s),
               planning };
    QTest::newRow("a folder beneath the server's")
        << u"move 'zt001' to '%2sub/zt009.mdf', move 'zt001_log' to '%2zt009_log.ldf'"_s
        << QStringList { lookup.arg(u"%2sub/zt009.mdf"_s), useMove.arg(u"zt001"_s, u"%2sub/zt009.mdf"_s),
               planning };
    QTest::newRow("another database's file, in other letter case")
        << u"move 'zt001' to '%2ZT002.mdf', move 'ZT001_LOG' to '%2zt009_log.ldf'"_s
        << QStringList {
               u"The file '%2ZT002.mdf' cannot be overwritten.  It is being used by database 'zt002'."_s,
               useMove.arg(u"zt001"_s, u"%2ZT002.mdf"_s), planning
           };
    QTest::newRow("a logical name the backup lacks")
        << u"move 'zt001_data' to '%2zt009.mdf'"_s
        << QStringList {
               u"Logical file 'zt001_data' is not part of database 'zt009'. Use RESTORE FILELISTONLY "
               "to list the logical file names."_s
           };
    QTest::newRow("the server's own folder")
        << u"move 'zt001' to '%2zt009.mdf', move 'zt001_log' to '%2zt009_log.ldf'"_s << QStringList {};
}

void TestRestorePlacement::restoreOnAnotherServer()
{
    QFETCH(QString, with);
    QFETCH(QStringList, errors);
    const QString first = folderOf(First);
    const QString second = folderOf(Second);
    QCOMPARE(first, m_install->dir() + u"data/embedded/default/"_s);
    QCOMPARE(second, m_install->dir() + u"data/embedded/OTHER/"_s);
    exec(First, u"master"_s, u"backup database zt001 to disk='zt001.bak'"_s);

    const QString statement = u"restore database zt009 from disk='zt001.bak'"_s
        + (with.isEmpty() ? QString()
                          : u" with "_s + QString(with).replace(u"%1"_s, first).replace(u"%2"_s, second));
    QStringList expected;
    for (const QString &error : std::as_const(errors))
        expected << Prefix + QString(error).replace(u"%1"_s, first).replace(u"%2"_s, second);
    if (!expected.isEmpty())
        expected << Prefix + u"RESTORE DATABASE is terminating abnormally."_s;
    QCOMPARE(test::failureOf([&] { exec(Second, u"master"_s, statement); }),
        expected.isEmpty() ? test::NoError : expected.join(u' '));
    if (!expected.isEmpty())
        return;
    QCOMPARE(filesOf(Second, u"zt009"_s),
        QStringList(
            { u"zt001|"_s + second + u"zt009.mdf"_s, u"zt001_log|"_s + second + u"zt009_log.ldf"_s }));
    data::Connection c;
    c.setConnectionString(
        ConnectionString::catalog(LoginFragment::fromLogin(Credentials::integrated()), u"zt009"_s, Second));
    QCOMPARE(c.backend().query(u"select v from t"_s).rows.value(0).value(0).toString(), u"甲"_s);
}

void TestRestorePlacement::accountSetComesBackOnAnotherServer()
{
    const QString location
        = backupDatabase(*m_objects, test::integratedLogin(First), u"zt001"_s, u"月末.bak"_s);
    // Where the server wrote it, as its history in msdb says.
    QCOMPARE(location, m_install->dir() + u"data/backup/月末.bak"_s);
    QCOMPARE(backupFileText(First, location), u"备份文件（在本机上）："_s + location);

    RestoreRequest request;
    request.fields = { Second, u"zt009"_s, u"乙"_s, QString() };
    request.backupFile = location;
    request.mode = CreationMode::RentedBuild;
    test::done(restoreAccountSet(*m_objects, request, m_login, {}));
    const QString second = folderOf(Second);
    QCOMPARE(filesOf(Second, u"zt009"_s),
        QStringList(
            { u"zt001|"_s + second + u"zt009.mdf"_s, u"zt001_log|"_s + second + u"zt009_log.ldf"_s }));

    // A name another database's file has is not taken: the next free one is.
    exec(Second, u"master"_s,
        u"restore database zt020 from disk=N'%1' with move 'zt001' to '%2zt010.mdf', move 'zt001_log' to "
        "'%2zt020_log.ldf'"_s.arg(location, second));
    request.fields.database = u"zt010"_s;
    test::done(restoreAccountSet(*m_objects, request, m_login, {}));
    QCOMPARE(filesOf(Second, u"zt010"_s),
        QStringList(
            { u"zt001|"_s + second + u"zt010_2.mdf"_s, u"zt001_log|"_s + second + u"zt010_log.ldf"_s }));
}

void TestRestorePlacement::backupOfEarlierFormatRestoresIntoTheServersFolder()
{
    exec(First, u"master"_s, u"backup database zt001 to disk='older.bak'"_s);
    // A backup written before the files were recorded in it.
    sqlite3 *db = nullptr;
    const QString file = m_install->dir() + u"data/backup/older.bak"_s;
    QVERIFY(sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
        == SQLITE_OK);
    QVERIFY(embedded::forgetFiles(db));
    sqlite3_close_v2(db);

    const QString second = folderOf(Second);
    const auto listed = query(Second, u"restore filelistonly from disk='older.bak'"_s);
    QCOMPARE(listed.rows.value(0).value(1).toString(), second + u"older.mdf"_s);
    exec(Second, u"master"_s, u"restore database zt011 from disk='older.bak'"_s);
    QCOMPARE(filesOf(Second, u"zt011"_s),
        QStringList(
            { u"older|"_s + second + u"older.mdf"_s, u"older_log|"_s + second + u"older_log.ldf"_s }));
}

QTEST_GUILESS_MAIN(TestRestorePlacement)

#include "tst_restoreplacement.moc"
