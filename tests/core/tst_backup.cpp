// Backups of account sets on the embedded server: the server's BACKUP DATABASE, the safety copy
// before a deletion, and an account set brought back from a backup.
#include "accountset/backup.h"
#include "accountset/deletion.h"
#include "accountset/directory.h"
#include "accountsetfixture.h"
#include "data/backends.h"
#include "data/dataerror.h"
#include "data/odbcbackend.h"
#include "embedded/embeddedserver.h"
#include "install/installfiles.h"
#include "recordingbackend.h"
#include "store/localstore.h"
#include "testhelpers.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

using namespace zt;
using namespace Qt::StringLiterals;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;
using test::EmbeddedServer;
using test::IntegratedFragment;
using test::integratedLogin;

namespace {

const QString Prefix = QStringLiteral("[ztwizard][SQL Server]");
const QString BackupTerminating
    = QStringLiteral(" [ztwizard][SQL Server]BACKUP DATABASE is terminating abnormally.");

data::Connection &connectionTo(data::Connection &c, const QString &catalog)
{
    c.setConnectionString(test::embeddedCatalog(catalog));
    return c;
}

void exec(const QString &catalog, const QString &sql)
{
    data::Connection c;
    connectionTo(c, catalog).backend().execute(sql);
}

// Every row of every table of a database, as text, in a stable order.
QStringList contents(const QString &catalog)
{
    data::Connection c;
    data::Backend &db = connectionTo(c, catalog).backend();
    QStringList lines;
    const auto tables = db.query(QStringLiteral(
        "select name from sqlite_master where type = 'table' and name not like 'sqlite%' order by name"));
    for (const auto &table : tables.rows) {
        const QString name = table.value(0).toString();
        const auto rows = db.query(QStringLiteral("select * from \"%1\" order by rowid").arg(name));
        for (const auto &row : rows.rows) {
            QStringList values;
            for (const QVariant &value : row)
                values << value.toString();
            lines << name + u':' + values.join(u'|');
        }
    }
    // The names of the files the database is said to lie in are those it was restored to.
    lines.removeIf([](const QString &line) {
        return line.startsWith(QLatin1StringView("zt_properties:data_file_"))
            || line.startsWith(QLatin1StringView("zt_properties:log_file_"));
    });
    return lines;
}

bool databaseExists(const QString &name)
{
    try {
        data::Connection c;
        connectionTo(c, name).backend().query(QStringLiteral("select 1"));
        return true;
    } catch (const data::DataError &) {
        return false;
    }
}

} // namespace

class TestBackup : public QObject, private test::AccountSetFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        const QString problem = setUpAccountSets();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    void cleanup() { tearDownAccountSets(); }

    void backupStatementFailures_data();
    void backupStatementFailures();
    void backupIsConsistentWhileAnotherSessionWrites();
    void backupFilesAreListed();
    void statementsSentToSqlServer_data();
    void statementsSentToSqlServer();
    void secondBackupOntoOneFileIsTheOneRestored_data();
    void secondBackupOntoOneFileIsTheOneRestored();
    void deletionLeavesABackupThatRestoresToTheSameRows();
    void restoreOntoAnExistingDatabaseRegistersNothing();
    void hostileNamesAreRefusedBeforeAnythingIsWritten_data();
    void hostileNamesAreRefusedBeforeAnythingIsWritten();
};

void TestBackup::backupStatementFailures_data()
{
    QTest::addColumn<QString>("statement"); // %1 = the backup folder
    QTest::addColumn<QString>("error"); // %1 = the backup folder

    QTest::newRow("relative name lands in the backup folder")
        << QStringLiteral("backup database zt001 to disk='zt001.bak'") << QString();
    QTest::newRow("existing backup without init takes a second set") << QStringLiteral(
        "backup database zt001 to disk='zt001.bak'; backup database zt001 to disk='zt001.bak'")
                                                                     << QString();
    QTest::newRow("existing file of another kind without init")
        << QStringLiteral("backup database zt001 to disk='%1/../embedded/default/zt001.db'")
        << QStringLiteral("The media family on device '%1/../embedded/default/zt001.db' is incorrectly "
                          "formed. SQL Server cannot process this media family.");
    QTest::newRow("existing file with init") << QStringLiteral(
        "backup database zt001 to disk=N'zt001.bak'; backup database zt001 to disk=N'zt001.bak' with init, "
        "stats = 10") << QString();
    QTest::newRow("missing database")
        << QStringLiteral("backup database nosuch to disk='x.bak'")
        << QStringLiteral("Database 'nosuch' does not exist. Make sure that the name is entered correctly.");
    QTest::newRow("missing folder") << QStringLiteral("backup database zt001 to disk='%1/none/x.bak'")
                                    << QStringLiteral(
                                           "Cannot open backup device '%1/none/x.bak'. Operating system "
                                           "error 3(The system cannot find the path specified.).");
    QTest::newRow("folder as file")
        << QStringLiteral("backup database zt001 to disk='%1'")
        << QStringLiteral("Cannot open backup device '%1'. Operating system error 5(Access is denied.).");
}

void TestBackup::backupStatementFailures()
{
    QFETCH(QString, statement);
    QFETCH(QString, error);
    exec(QStringLiteral("master"), QStringLiteral("create database zt001"));
    exec(QStringLiteral("zt001"), QStringLiteral("create table t (a int); insert into t values (1)"));
    QDir().mkpath(backupFolder());
    QCOMPARE(test::failureOf([&] { exec(QStringLiteral("master"), statement.arg(backupFolder())); }),
        error.isEmpty() ? test::NoError : Prefix + error.arg(backupFolder()) + BackupTerminating);
    if (error.isEmpty())
        QVERIFY(QFile::exists(backupFolder() + QStringLiteral("/zt001.bak")));
    QVERIFY(QFileInfo::exists(m_install->dir() + QStringLiteral("data/embedded/default/zt001.db")));
    // Nothing half written stays behind.
    const QStringList left = QDir(backupFolder()).entryList(QDir::Files);
    QVERIFY2(
        left.isEmpty() || left == QStringList { QStringLiteral("zt001.bak") }, qPrintable(left.join(u',')));
}

void TestBackup::backupIsConsistentWhileAnotherSessionWrites()
{
    exec(QStringLiteral("master"), QStringLiteral("create database busy"));
    data::Connection writer;
    data::Backend &w = connectionTo(writer, QStringLiteral("busy")).backend();
    w.execute(QStringLiteral("create table t (id int identity (1, 1), v nvarchar(10))"));
    for (int i = 0; i < 50; ++i)
        w.execute(QStringLiteral("insert into t (v) values (N'行')"));
    exec(QStringLiteral("master"), QStringLiteral("backup database busy to disk='busy.bak'"));
    w.execute(QStringLiteral("insert into t (v) values (N'后')")); // the session still works
    exec(QStringLiteral("master"),
        QStringLiteral("restore database busy2 from disk='busy.bak' with move 'busy' to '%1busy2.mdf', "
                       "move 'busy_log' to '%1busy2_log.ldf'")
            .arg(m_install->dir() + QStringLiteral("data/embedded/default/")));
    // 50 rows, the identity row and the database's recorded collation
    QCOMPARE(contents(QStringLiteral("busy2")).size(), 50 + 1 + 1);
    // The backup is one self-contained file.
    QVERIFY(!QFile::exists(backupFolder() + QStringLiteral("/busy.bak-wal")));
}

void TestBackup::backupFilesAreListed()
{
    exec(QStringLiteral("master"), QStringLiteral("create database zt001"));
    exec(QStringLiteral("master"), QStringLiteral("backup database zt001 to disk='zt001.bak'"));
    data::Connection c;
    const auto files = connectionTo(c, QStringLiteral("master"))
                           .backend()
                           .query(QStringLiteral("restore filelistonly from disk=N'zt001.bak'"));
    // The files of the database backed up, as CREATE DATABASE named them in the instance's folder.
    const QString folder = m_install->dir() + QStringLiteral("data/embedded/default/");
    QCOMPARE(files.rows.size(), 2);
    QCOMPARE(files.columns.value(0).name, QStringLiteral("LogicalName"));
    QCOMPARE(files.rows[0].mid(0, 3), QVariantList({ u"zt001"_s, folder + u"zt001.mdf"_s, u"D"_s }));
    QCOMPARE(files.rows[1].mid(0, 3), QVariantList({ u"zt001_log"_s, folder + u"zt001_log.ldf"_s, u"L"_s }));
    QCOMPARE(test::failureOf(
                 [&] { c.backend().query(QStringLiteral("restore filelistonly from disk='none.bak'")); }),
        Prefix + QStringLiteral("Cannot open backup device '") + backupFolder()
            + QStringLiteral(
                "/none.bak'. Operating system error 2(The system cannot find the file specified.). ")
            + Prefix + QStringLiteral("RESTORE FILELIST is terminating abnormally."));
}

void TestBackup::statementsSentToSqlServer_data()
{
    // What the server reports: its default data and log folders (empty: NULL, a server before
    // 2012), the files of its databases (database_id|type|physical_name), and RESTORE
    // FILELISTONLY (LogicalName|PhysicalName|Type per file).
    QTest::addColumn<QStringList>("defaults");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QStringList>("files");
    // The MOVE clauses of the restore as zt777.
    QTest::addColumn<QString>("moves");

    QTest::newRow("a backup from a windows server lands in a linux server's folders")
        << QStringList { u"/var/opt/mssql/data/"_s, u"/var/opt/mssql/log/"_s } << QStringList {}
        << QStringList { u"zt001|C:\\Program Files\\Microsoft SQL Server\\MSSQL15.SQLEXPRESS\\MSSQL\\DATA\\zt001.mdf|D"_s,
               u"zt001_log|C:\\Program Files\\Microsoft SQL Server\\MSSQL15.SQLEXPRESS\\MSSQL\\DATA\\zt001_log.ldf|L"_s }
        << u" with move N'zt001' to N'/var/opt/mssql/data/zt777.mdf', move N'zt001_log' to "
           u"N'/var/opt/mssql/log/zt777_log.ldf'"_s;
    QTest::newRow("names another database's files have, a further file, a folder without separator")
        << QStringList { u"D:\\DATA"_s, u"D:\\DATA\\"_s }
        << QStringList { u"5|0|d:\\data\\ZT777.mdf"_s, u"5|1|D:\\DATA\\zt777_log.ldf"_s,
               u"6|0|D:\\DATA\\zt777_2.mdf"_s }
        << QStringList { u"a|/var/opt/mssql/data/a.mdf|D"_s, u"a2|/var/opt/mssql/data/a2.ndf|D"_s,
               u"a_log|/srv/log/a_log.ldf|L"_s }
        << u" with move N'a' to N'D:\\DATA\\zt777_3.mdf', move N'a2' to N'D:\\DATA\\zt777_1.ndf', move "
           u"N'a_log' to N'D:\\DATA\\zt777_log_2.ldf'"_s;
    QTest::newRow("a server before 2012: master's folders; a quote in a logical name")
        << QStringList { QString(), QString() }
        << QStringList { u"1|0|E:\\系统\\master.mdf"_s, u"1|1|F:\\日志\\mastlog.ldf"_s }
        << QStringList { u"账'套|E:\\数据\\账套.mdf|D"_s, u"账套_log|E:\\数据\\日志\\账套_log.ldf|L"_s }
        << u" with move N'账''套' to N'E:\\系统\\zt777.mdf', move N'账套_log' to "
           u"N'F:\\日志\\zt777_log.ldf'"_s;
}

void TestBackup::statementsSentToSqlServer()
{
    QFETCH(QStringList, defaults);
    QFETCH(QStringList, taken);
    QFETCH(QStringList, files);
    QFETCH(QString, moves);
    const QString sqlServer = QStringLiteral("sqlhost");
    {
        data::Connection c;
        data::Query q(QStringLiteral("ADOQuery2"));
        store::openLocalConfiguration(c, q);
        store::storeServerRecord(q, sqlServer, Credentials::sql(QStringLiteral("sa"), QStringLiteral("pw")));
    }
    // The local files as ever; the SQL Server is a recorder that answers what the operations ask.
    const auto table = [](const QStringList &names, const QStringList &lines) {
        data::ResultSet rows;
        for (const QString &name : names)
            rows.columns.append({ name, QStringLiteral("nvarchar") });
        for (const QString &line : lines) {
            QVariantList row;
            for (const QString &value : line.split(u'|'))
                row << (value.isEmpty() ? QVariant() : QVariant(value));
            rows.rows.append(row);
        }
        return rows;
    };
    const QString backedUp = QStringLiteral("/var/opt/mssql/data/backup/zt001.bak");
    QStringList sent;
    data::setBackendFactory([&](const ConnectionString &cs) -> std::unique_ptr<data::Backend> {
        if (cs.shape() == ConnectionString::Shape::LocalAccess)
            return data::odbc::openDataSource(
                cs.dataSource(), cs.odbcUser(), cs.odbcPassword(), cs.catalogName());
        auto server = std::make_unique<test::RecordingBackend>(data::Dialect::SqlServer, &sent);
        server->answer = [&](const QString &sql) {
            if (sql.contains(QLatin1StringView("serverproperty")))
                return table({ u"data_path"_s, u"log_path"_s }, { defaults.join(u'|') });
            if (sql.contains(QLatin1StringView("sys.master_files")))
                return table({ u"database_id"_s, u"type"_s, u"physical_name"_s }, taken);
            if (sql.startsWith(QLatin1StringView("restore filelistonly")))
                return table({ u"LogicalName"_s, u"PhysicalName"_s, u"Type"_s }, files);
            if (sql.contains(QLatin1StringView("msdb.dbo.backupmediafamily")))
                return table({ u"physical_device_name"_s }, { backedUp });
            return data::ResultSet {};
        };
        return server;
    });
    const auto restoreFactory = qScopeGuard([] { data::setBackendFactory({}); });

    // The backup names the file where the server wrote it.
    const data::ServerLogin sa { sqlServer, LoginFragment::fromLogin(Credentials::sql(u"sa"_s, u"pw"_s)) };
    QCOMPARE(backupDatabase(*m_objects, sa, QStringLiteral("zt001"), QStringLiteral("zt001.bak")), backedUp);
    QCOMPARE(backupFileText(sqlServer, backedUp), u"备份文件（在服务器上）："_s + backedUp);
    // Each statement as the query's text holds it, without its closing line end.
    sent.replaceInStrings(QRegularExpression(QStringLiteral("\r\n$")), QString());
    QCOMPARE(sent.mid(0, 2),
        QStringList({ u"backup database zt001 to disk=N'zt001.bak' with init"_s,
            u"restore verifyonly from disk=N'zt001.bak'"_s }));
    QVERIFY(sent.value(2).contains(u"where s.database_name = N'zt001'"_s));

    sent.clear();
    RestoreRequest request;
    request.fields = { sqlServer, QStringLiteral("zt777"), QStringLiteral("甲"), QString() };
    request.backupFile = QStringLiteral("zt001.bak");
    request.mode = CreationMode::RentedBuild;
    data::ServerLogin login;
    test::done(restoreAccountSet(*m_objects, request, login, m_context));
    sent.replaceInStrings(QRegularExpression(QStringLiteral("\r\n$")), QString());
    QCOMPARE(sent.value(2), u"restore filelistonly from disk=N'zt001.bak'"_s);
    QCOMPARE(sent.value(3), u"restore database zt777 from disk=N'zt001.bak'"_s + moves);
}

void TestBackup::secondBackupOntoOneFileIsTheOneRestored_data()
{
    QTest::addColumn<QString>("second"); // how the second backup is written
    QTest::addColumn<QString>("restored"); // the row the restore brings back

    QTest::newRow("backupAccountSet replaces the file") << QString() << QStringLiteral("后");
    // Without INIT the file holds both sets and a plain RESTORE reads the first, as SQL Server's
    // FILE = 1 does: the older data come back.
    QTest::newRow("without init the first set is restored")
        << QStringLiteral("backup database zt001 to disk=N'same.bak'") << QStringLiteral("前");
    QTest::newRow("a third set leaves the first where it was") << QStringLiteral(
        "backup database zt001 to disk=N'same.bak'; backup database zt001 to disk=N'same.bak'")
                                                               << QStringLiteral("前");
}

void TestBackup::secondBackupOntoOneFileIsTheOneRestored()
{
    QFETCH(QString, second);
    QFETCH(QString, restored);
    exec(QStringLiteral("master"), QStringLiteral("create database zt001"));
    exec(QStringLiteral("zt001"),
        QStringLiteral("create table t (v nvarchar(10)); insert into t values (N'前')"));
    backupDatabase(*m_objects, integratedLogin(), QStringLiteral("zt001"), QStringLiteral("same.bak"));
    exec(QStringLiteral("zt001"), QStringLiteral("update t set v = N'后'"));
    if (second.isEmpty())
        backupDatabase(*m_objects, integratedLogin(), QStringLiteral("zt001"), QStringLiteral("same.bak"));
    else
        exec(QStringLiteral("master"), second);

    // Still one sound backup file, as RESTORE VERIFYONLY reads it.
    QCOMPARE(
        test::failureOf([&] { verifyBackupFile(*m_objects, integratedLogin(), QStringLiteral("same.bak")); }),
        test::NoError);
    // Restored without MOVE, into the files the backup names: zt001's, so zt001 goes first.
    exec(QStringLiteral("master"), QStringLiteral("drop database zt001"));
    exec(QStringLiteral("master"), QStringLiteral("restore database zt009 from disk=N'same.bak'"));
    // The rows and nothing of the file's further sets (the recorded collation is the other row).
    const QStringList rows = contents(QStringLiteral("zt009"));
    QVERIFY2(rows.contains(QStringLiteral("t:") + restored), qPrintable(rows.join(u',')));
    QCOMPARE(rows.filter(QStringLiteral("t:")).size(), 1);
    QVERIFY2(rows.filter(QStringLiteral("zt_backup")).isEmpty(), qPrintable(rows.join(u',')));
    QCOMPARE(QDir(backupFolder()).entryList(QDir::Files), QStringList { QStringLiteral("same.bak") });
}

void TestBackup::deletionLeavesABackupThatRestoresToTheSameRows()
{
    test::done(createAccountSet(*m_objects,
        { EmbeddedServer, QStringLiteral("zt001"), QStringLiteral("北京示范贸易"), QStringLiteral("pw") },
        CreationMode::Network, m_login, m_context));
    const QStringList before = contents(QStringLiteral("zt001"));
    QVERIFY(before.size() > 300);

    QVERIFY(listDirectory(*m_objects, EmbeddedServer, m_login));
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    QCOMPARE(row.number, QStringLiteral("zt001"));
    const QString location
        = backupBeforeDeletion(*m_objects, m_login, row, QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)));
    QCOMPARE(location, backupFolder() + QStringLiteral("/zt001_20261208_090507.bak"));
    dropAccountSetDatabase(*m_objects, m_login, row);
    deleteCurrentDirectoryRow(*m_objects);
    QVERIFY(!databaseExists(QStringLiteral("zt001")));

    // Brought back under a new number: the same rows, registered as a creation registers.
    RestoreRequest request;
    request.fields
        = { EmbeddedServer, QStringLiteral(" zt002 "), QStringLiteral("恢复的账套"), QStringLiteral("k2") };
    request.backupFile = QFileInfo(location).fileName();
    QVERIFY(!checkRestoreInput(request, QStringLiteral("k2")));
    data::ServerLogin login;
    test::done(restoreAccountSet(*m_objects, request, login, m_context));
    QCOMPARE(login, integratedLogin());
    QCOMPARE(contents(QStringLiteral("zt002")), before);
    QCOMPARE(localRows(QStringLiteral("zt002")), 1);
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("ztmc")), QStringLiteral("恢复的账套"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("kl")), QStringLiteral("k2"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("net")), QStringLiteral("是"));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("jlrq")), QStringLiteral("2026-12-08"));
    QCOMPARE(directoryRows(QStringLiteral("zt002")), 1);
    QVERIFY(QFile::exists(perSetPath(QStringLiteral("zt002"))));
    // The restored set is usable: rows can be added.
    exec(QStringLiteral("zt002"), QStringLiteral("create table extra (a int); insert into extra values (1)"));
}

void TestBackup::restoreOntoAnExistingDatabaseRegistersNothing()
{
    exec(QStringLiteral("master"), QStringLiteral("create database zt001"));
    exec(QStringLiteral("master"), QStringLiteral("backup database zt001 to disk='zt001.bak'"));
    RestoreRequest request;
    request.fields = { EmbeddedServer, QStringLiteral("zt001"), QStringLiteral("甲"), QString() };
    request.backupFile = QStringLiteral("zt001.bak");
    QCOMPARE(test::failureOf([&] { test::done(restoreAccountSet(*m_objects, request, m_login, m_context)); }),
        Prefix
            + QStringLiteral(
                "The backup set holds a backup of a database other than the existing 'zt001' database.")
            + QStringLiteral(" [ztwizard][SQL Server]RESTORE DATABASE is terminating abnormally."));
    QCOMPARE(localRows(QStringLiteral("zt001")), 0);
    QCOMPARE(directoryRows(QStringLiteral("zt001")), 0);
    QVERIFY(!QFile::exists(perSetPath(QStringLiteral("zt001"))));
}

void TestBackup::hostileNamesAreRefusedBeforeAnythingIsWritten_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");

    QTest::newRow("database leads up") << QStringLiteral("../zt9") << QStringLiteral("zt001.bak")
                                       << QStringLiteral("数据库名称不能包含路径分隔符（/ 或 \\）。");
    QTest::newRow("database with dots") << QStringLiteral("..zt9") << QStringLiteral("zt001.bak")
                                        << QStringLiteral("数据库名称不能包含“..”。");
    QTest::newRow("database with a line break") << QStringLiteral("zt\n9") << QStringLiteral("zt001.bak")
                                                << QStringLiteral("数据库名称不能包含控制字符。");
    QTest::newRow("empty file") << QStringLiteral("zt9") << QStringLiteral("  ")
                                << QStringLiteral("备份文件名称不能为空！");
    QTest::newRow("file with a control character") << QStringLiteral("zt9") << QStringLiteral("a\tb.bak")
                                                   << QStringLiteral("备份文件名称不能包含控制字符。");
}

void TestBackup::hostileNamesAreRefusedBeforeAnythingIsWritten()
{
    QFETCH(QString, database);
    QFETCH(QString, file);
    QFETCH(QString, message);
    exec(QStringLiteral("master"), QStringLiteral("create database zt001"));
    exec(QStringLiteral("master"), QStringLiteral("backup database zt001 to disk='zt001.bak'"));
    const QStringList backupsBefore = QDir(backupFolder()).entryList(QDir::Files);
    const QStringList databasesBefore
        = QDir(m_install->dir() + QStringLiteral("data/embedded/default")).entryList(QDir::Files);
    const QStringList perSetBefore
        = QDir(m_install->dir() + QStringLiteral("data/SysBase")).entryList(QDir::Files);

    RestoreRequest request;
    request.fields = { EmbeddedServer, database, QStringLiteral("甲"), QString() };
    request.backupFile = file;
    QCOMPARE(checkRestoreInput(request, QString()).value_or(InputProblem {}).message, message);
    QCOMPARE(test::failureOf([&] { test::done(restoreAccountSet(*m_objects, request, m_login, m_context)); }),
        message);
    QCOMPARE(
        test::failureOf([&] { backupDatabase(*m_objects, integratedLogin(), database, file); }), message);

    QCOMPARE(QDir(backupFolder()).entryList(QDir::Files), backupsBefore);
    QCOMPARE(QDir(m_install->dir() + QStringLiteral("data/embedded/default")).entryList(QDir::Files),
        databasesBefore);
    QCOMPARE(QDir(m_install->dir() + QStringLiteral("data/SysBase")).entryList(QDir::Files), perSetBefore);
    QCOMPARE(localRows(database), 0);
    QVERIFY(!QFile::exists(m_install->dir() + QStringLiteral("data/zt9_S_SysBase.mdb")));
}

QTEST_GUILESS_MAIN(TestBackup)

#include "tst_backup.moc"
