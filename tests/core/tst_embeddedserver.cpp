// The embedded server's instances, logins and server roles, databases, backups and restores,
// and sessions held by other threads, through its back end.
#include "embedded/databasefiles.h"
#include "embeddedinstance.h"

#include <QFile>

#include <sqlite3.h>
#include <thread>

using namespace zt;
using namespace zt::test;
using namespace Qt::StringLiterals;
using data::Credentials;

class TestEmbeddedServer : public EmbeddedInstanceTest
{
    Q_OBJECT

private slots:
    void init() { makeInstance(); }

    void serverNamesSelectInstances();
    void loginsAreCheckedAgainstMaster_data();
    void loginsAreCheckedAgainstMaster();
    void missingCatalogRefusesTheLogin();
    void restrictedLoginMayNotCreateDatabasesOrMasterTables();
    void dbcreatorLoginMayCreateDatabases();
    void probeDatabaseCreatedAndDropped();
    void databaseInUseCannotBeDropped();
    void databaseNameCannotLeaveTheInstanceFolder();
    void restore_data();
    void restore();
    void restoreOntoExistingDatabase();
    void sessionsOnOtherThreadsBlockDrop();

private:
    QString writeBackup(const QString &name, const QString &createSql);
};

// A backup is a database file of the embedded server; this one is made on another instance and,
// as the shipped sample, names no folder of it: restored without MOVE, it goes into the restoring
// instance's folder.
QString TestEmbeddedServer::writeBackup(const QString &name, const QString &createSql)
{
    const QString source = m_dir->filePath(QStringLiteral("source"));
    auto master = embedded::connect(source, QStringLiteral("default"), Credentials::integrated(), {});
    master->execute(QStringLiteral("create database [%1]").arg(name));
    embedded::connect(source, QStringLiteral("default"), Credentials::integrated(), name)->execute(createSql);
    const QString path = m_dir->filePath(name);
    master->execute(QStringLiteral("backup database [%1] to disk=N'%2'").arg(name, path));
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
        || !embedded::forgetFiles(db))
        qWarning("cannot write %s", qPrintable(path));
    sqlite3_close_v2(db);
    return path;
}

void TestEmbeddedServer::serverNamesSelectInstances()
{
    QCOMPARE(embedded::instanceServerNames(m_root), QStringList { QStringLiteral("(embedded)") });
    sa();
    embedded::connect(m_root, QStringLiteral("TWO"), Credentials::integrated(), {});
    embedded::connect(m_root, QStringLiteral("ONE"), Credentials::integrated(), {});
    QCOMPARE(embedded::instanceServerNames(m_root),
        (QStringList { QStringLiteral("(embedded)"), QStringLiteral("(embedded)\\ONE"),
            QStringLiteral("(embedded)\\TWO") }));
    QVERIFY(QFile::exists(m_root + QStringLiteral("/TWO/master.db")));
    QCOMPARE(embedded::instanceOf(QStringLiteral("(embedded)")), QStringLiteral("default"));
    QCOMPARE(embedded::instanceOf(QStringLiteral("(embedded)\\ONE")), QStringLiteral("ONE"));
    QVERIFY(!embedded::isEmbeddedServerName(QStringLiteral("(embedded)x")));
    QVERIFY(failureOf([&] {
        embedded::connect(m_root, QStringLiteral(".."), Credentials::integrated(), {});
    }).startsWith(Prefix));
}

void TestEmbeddedServer::loginsAreCheckedAgainstMaster_data()
{
    QTest::addColumn<Credentials>("login");
    QTest::addColumn<QString>("error"); // empty: accepted

    QTest::newRow("integrated") << Credentials::integrated() << QString();
    QTest::newRow("sa with empty password") << Credentials::sql(QStringLiteral("sa"), {}) << QString();
    QTest::newRow("login names ignore case") << Credentials::sql(QStringLiteral("SA"), {}) << QString();
    QTest::newRow("created login") << Credentials::sql(QStringLiteral("clerk"), QStringLiteral("p;w"))
                                   << QString();
    QTest::newRow("wrong password") << Credentials::sql(QStringLiteral("sa"), QStringLiteral("x"))
                                    << QStringLiteral("Login failed for user 'sa'.");
    QTest::newRow("password is case-sensitive") << Credentials::sql(QStringLiteral("clerk"),
        QStringLiteral("P;W")) << QStringLiteral("Login failed for user 'clerk'.");
    QTest::newRow("unknown user") << Credentials::sql(QStringLiteral("nobody"), {})
                                  << QStringLiteral("Login failed for user 'nobody'.");
    QTest::newRow("no login") << Credentials {} << QStringLiteral("Login failed for user ''.");
}

void TestEmbeddedServer::loginsAreCheckedAgainstMaster()
{
    QFETCH(Credentials, login);
    QFETCH(QString, error);
    sa()->execute(QStringLiteral("create login [clerk] with password = 'p;w'"));
    const QString got = failureOf([&] { embedded::connect(m_root, QStringLiteral("default"), login, {}); });
    QCOMPARE(got, error.isEmpty() ? NoError : Prefix + error);
}

void TestEmbeddedServer::missingCatalogRefusesTheLogin()
{
    QCOMPARE(failureOf([&] { sa(QStringLiteral("zt404")); }),
        Prefix + QStringLiteral("Cannot open database \"zt404\" requested by the login. The login failed."));
    // The login is checked before the database.
    QCOMPARE(failureOf([&] {
        embedded::connect(m_root, QStringLiteral("default"), Credentials::sql(QStringLiteral("sa"), "x"),
            QStringLiteral("zt404"));
    }),
        Prefix + QStringLiteral("Login failed for user 'sa'."));
}

void TestEmbeddedServer::restrictedLoginMayNotCreateDatabasesOrMasterTables()
{
    sa()->execute(QStringLiteral("create login [clerk] with password = 'pw'; create database zt001"));
    const Credentials clerk = Credentials::sql(QStringLiteral("clerk"), QStringLiteral("pw"));
    auto master = embedded::connect(m_root, QStringLiteral("default"), clerk, {});
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("create database abcde12345")); }),
        Prefix + QStringLiteral("CREATE DATABASE permission denied in database 'master'."));
    QCOMPARE(failureOf([&] { master->execute(DirectoryTable); }),
        Prefix + QStringLiteral("CREATE TABLE permission denied in database 'master'."));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("drop database zt001")); }),
        Prefix
            + QStringLiteral("Cannot drop the database 'zt001', because it does not exist or you do not have "
                             "permission."));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("create login x with password = ''")); }),
        Prefix + QStringLiteral("User does not have permission to perform this action."));
    // Elsewhere it may do everything.
    auto own = embedded::connect(m_root, QStringLiteral("default"), clerk, QStringLiteral("zt001"));
    own->execute(QStringLiteral("create table t (a int)"));
    QCOMPARE(own->execute(QStringLiteral("insert into t values (1)")), 1);
}

void TestEmbeddedServer::dbcreatorLoginMayCreateDatabases()
{
    auto admin = sa();
    admin->execute(QStringLiteral("create login [clerk] with password = 'pw'\n"
                                  "alter server role dbcreator add member [clerk]"));
    const Credentials clerk = Credentials::sql(QStringLiteral("clerk"), QStringLiteral("pw"));
    auto master = embedded::connect(m_root, QStringLiteral("default"), clerk, {});
    master->execute(QStringLiteral("create database abcde12345"));
    master->execute(QStringLiteral("drop database abcde12345"));
    // Tables in master are for administrators, as on a real server.
    QCOMPARE(failureOf([&] { master->execute(DirectoryTable); }),
        Prefix + QStringLiteral("CREATE TABLE permission denied in database 'master'."));
    admin->execute(DirectoryTable);
    master->execute(QStringLiteral("insert into PBTOVRASQLBASEDATA (ztbh) values ('zt01')"));

    admin->execute(QStringLiteral("alter server role dbcreator drop member clerk"));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("create database abcde12345")); }),
        Prefix + QStringLiteral("CREATE DATABASE permission denied in database 'master'."));
    admin->execute(QStringLiteral("drop login clerk"));
    QCOMPARE(failureOf([&] { embedded::connect(m_root, QStringLiteral("default"), clerk, {}); }),
        Prefix + QStringLiteral("Login failed for user 'clerk'."));
}

void TestEmbeddedServer::probeDatabaseCreatedAndDropped()
{
    auto master = sa();
    master->execute(QStringLiteral("create database abcde12345"));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("create database ABCDE12345")); }),
        Prefix + QStringLiteral("Database 'ABCDE12345' already exists. Choose a different database name."));
    sa(QStringLiteral("ABCDE12345")); // opened and closed again
    master->execute(QStringLiteral("drop database abcde12345"));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("drop database abcde12345")); }),
        Prefix
            + QStringLiteral("Cannot drop the database 'abcde12345', because it does not exist or you do not "
                             "have permission."));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("create database    ")); }),
        Prefix + QStringLiteral("Incorrect syntax near 'database'."));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("drop database master")); }),
        Prefix + QStringLiteral("Cannot drop the database 'master' because it is a system database."));
}

void TestEmbeddedServer::databaseInUseCannotBeDropped()
{
    auto master = sa();
    master->execute(QStringLiteral("create database zt001"));
    {
        auto user = embedded::connect(
            m_root, QStringLiteral("default"), Credentials::integrated(), QStringLiteral("zt001"));
        QCOMPARE(failureOf([&] { master->execute(QStringLiteral("drop database zt001")); }),
            Prefix + QStringLiteral("Cannot drop database \"zt001\" because it is currently in use."));
    }
    master->execute(QStringLiteral("drop database zt001"));
    QVERIFY(!QFile::exists(m_root + QStringLiteral("/default/zt001.db")));
}

void TestEmbeddedServer::databaseNameCannotLeaveTheInstanceFolder()
{
    auto master = sa();
    QVERIFY(failureOf([&] {
        master->execute(QStringLiteral("create database [../escape]"));
    }).startsWith(Prefix + QStringLiteral("A file activation error occurred.")));
    QVERIFY(!QFile::exists(m_root + QStringLiteral("/escape.db")));
}

void TestEmbeddedServer::restore_data()
{
    QTest::addColumn<QString>("backup"); // file name in the temporary folder; "" = missing
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");

    QTest::newRow("sqlite file") << QStringLiteral("sample.bak") << QByteArray() << QString();
    // A database file is SQLite too, but no backup of this server's: refused as a real server
    // refuses a file that is not its own backup format.
    QTest::newRow("database file, not a backup")
        << QStringLiteral("copied.bak") << QByteArray()
        << QStringLiteral(
               "The media family on device '%1' is incorrectly formed. SQL Server cannot process this "
               "media family. [ztwizard][SQL Server]RESTORE DATABASE is terminating abnormally.");
    QTest::newRow("missing file")
        << QString() << QByteArray()
        << QStringLiteral(
               "Cannot open backup device '%1'. Operating system error 2(The system cannot find the "
               "file specified.). [ztwizard][SQL Server]RESTORE DATABASE is terminating abnormally.");
    QTest::newRow("not a sqlite file")
        << QStringLiteral("text.bak") << QByteArray("TAPE\0\0 not a database", 22)
        << QStringLiteral(
               "The media family on device '%1' is incorrectly formed. SQL Server cannot process this "
               "media family. [ztwizard][SQL Server]RESTORE DATABASE is terminating abnormally.");
    QTest::newRow("empty file")
        << QStringLiteral("empty.bak") << QByteArray("")
        << QStringLiteral(
               "The media family on device '%1' is incorrectly formed. SQL Server cannot process this "
               "media family. [ztwizard][SQL Server]RESTORE DATABASE is terminating abnormally.");
}

void TestEmbeddedServer::restore()
{
    QFETCH(QString, backup);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);

    QString path = m_dir->filePath(backup.isEmpty() ? QStringLiteral("missing.bak") : backup);
    if (backup == QLatin1StringView("sample.bak")) {
        QCOMPARE(writeBackup(backup,
                     QStringLiteral("CREATE TABLE xtxxb (ID integer, mc nvarchar(20));"
                                    "INSERT INTO xtxxb VALUES (1, N'例子');")),
            path);
        QFile::setPermissions(path, QFileDevice::ReadOwner); // installed read-only
    } else if (backup == QLatin1StringView("copied.bak")) {
        writeBackup(QStringLiteral("copied"), QStringLiteral("CREATE TABLE t (a int)"));
        QVERIFY(QFile::copy(m_dir->filePath(QStringLiteral("source/default/copied.db")), path));
    } else if (!backup.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    auto master = sa();
    const QString statement = QStringLiteral("restore database TOVRASQL_Sample from disk='%1'").arg(path);
    QCOMPARE(
        failureOf([&] { master->execute(statement); }), error.isEmpty() ? NoError : Prefix + error.arg(path));
    if (!error.isEmpty()) {
        // A refused restore leaves nothing behind in the instance.
        QCOMPARE(QDir(m_root + QStringLiteral("/default")).entryList({ QStringLiteral("TOVRASQL_Sample*") }),
            QStringList());
        return;
    }
    auto sample = sa(QStringLiteral("tovrasql_sample"));
    QCOMPARE(
        sample->query(QStringLiteral("select mc from xtxxb")).rows.value(0).value(0), QVariant(u"例子"_s));
    sample->execute(QStringLiteral("insert into xtxxb values (2, 'b')")); // the restored copy is writable
}

void TestEmbeddedServer::restoreOntoExistingDatabase()
{
    const QString path = writeBackup(QStringLiteral("s.bak"), QStringLiteral("CREATE TABLE t (a int)"));
    auto master = sa();
    const QString statement = QStringLiteral("restore database TOVRASQL_Sample from disk='%1'").arg(path);
    master->execute(statement);
    const QString terminating
        = QStringLiteral(" [ztwizard][SQL Server]RESTORE DATABASE is terminating abnormally.");
    QCOMPARE(failureOf([&] { master->execute(statement); }),
        Prefix
            + QStringLiteral("The backup set holds a backup of a database other than the existing "
                             "'TOVRASQL_Sample' database.")
            + terminating);
    auto user = sa(QStringLiteral("TOVRASQL_Sample"));
    QCOMPARE(failureOf([&] { master->execute(statement); }),
        Prefix + QStringLiteral("Exclusive access could not be obtained because the database is in use.")
            + terminating);
}

void TestEmbeddedServer::sessionsOnOtherThreadsBlockDrop()
{
    auto master = sa();
    master->execute(QStringLiteral("create database zt002"));
    std::unique_ptr<data::Backend> elsewhere;
    std::thread([&] { elsewhere = sa(QStringLiteral("zt002")); }).join();
    QVERIFY(failureOf([&] {
        master->execute(QStringLiteral("drop database zt002"));
    }).contains(u"currently in use"_s));
    std::thread([&] { elsewhere.reset(); }).join();
    master->execute(QStringLiteral("drop database zt002"));
}

QTEST_GUILESS_MAIN(TestEmbeddedServer)
#include "tst_embeddedserver.moc"
