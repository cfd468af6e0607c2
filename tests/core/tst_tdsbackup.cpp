// Backups of account sets through unixODBC + FreeTDS + QODBC to ztwizard-tds: the safety copy
// before a deletion and the restore under a new number, as against a real server.
#include "accountset/backup.h"
#include "accountset/deletion.h"
#include "accountset/directory.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "tdsroad.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace zt;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;

using test::FreeTds;
using test::Sa;

class TestTdsBackup : public QObject, private test::TdsRoadFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deletionLeavesABackupThatRestoresToTheSameRows();
    void failuresReadAsTheServerSaysThem();
    void restoreOnAnotherServerGoesIntoItsOwnFolders();

private:
    // Every row of the base-data tables and the directory's row count, read through FreeTDS.
    QStringList contents(const QString &catalog) { return contents(server(), catalog); }
    QStringList contents(const QString &on, const QString &catalog);

    data::ServerLogin m_login;
    CreationContext m_context;
};

void TestTdsBackup::init()
{
    const QString failed = startRoad();
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    m_login = {};
    m_context = {};
    m_context.today = QDate(2026, 12, 8);
}

void TestTdsBackup::cleanup()
{
    stopRoad();
}

QStringList TestTdsBackup::contents(const QString &on, const QString &catalog)
{
    data::Connection c;
    c.setConnectionString(test::saCatalog(on, catalog));
    QStringList lines;
    for (const QString &table : baseDataTables()) {
        const auto rows = c.backend().query(QStringLiteral("select * from %1 order by xh").arg(table));
        for (const auto &row : rows.rows) {
            QStringList values;
            for (const QVariant &value : row)
                values << value.toString();
            lines << table + u':' + values.join(u'|');
        }
    }
    return lines;
}

void TestTdsBackup::deletionLeavesABackupThatRestoresToTheSameRows()
{
    test::done(createAccountSet(*m_objects,
        { server(), QStringLiteral("zt001"), QStringLiteral("北京示范贸易"), QString() },
        CreationMode::Network, m_login, m_context));
    const QStringList before = contents(QStringLiteral("zt001"));
    QVERIFY(before.size() > 300);

    QVERIFY(listDirectory(*m_objects, server(), m_login));
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    const QString location
        = backupBeforeDeletion(*m_objects, m_login, row, QDateTime(QDate(2026, 12, 8), QTime(23, 1, 2)));
    // A real server's backup lies on the server: the wizard names the file where the server wrote it.
    QCOMPARE(location, m_install->dir() + QStringLiteral("data/backup/zt001_20261208_230102.bak"));
    QVERIFY(QFile::exists(location));
    dropAccountSetDatabase(*m_objects, m_login, row);
    deleteCurrentDirectoryRow(*m_objects);

    RestoreRequest request;
    request.fields = { server(), QStringLiteral("zt002"), QStringLiteral("恢复的账套"), QStringLiteral("k") };
    request.backupFile = location;
    data::ServerLogin login;
    test::done(restoreAccountSet(*m_objects, request, login, m_context));
    QCOMPARE(contents(QStringLiteral("zt002")), before);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt002"), server()));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("ztmc")), QStringLiteral("恢复的账套"));
    QVERIFY(listDirectory(*m_objects, server(), m_login));
    QCOMPARE(m_objects->ADOztgl.recordCount(), 1);
    QCOMPARE(currentDirectoryRow(m_objects->ADOztgl).number, QStringLiteral("zt002"));
}

void TestTdsBackup::failuresReadAsTheServerSaysThem()
{
    m_login = { server(), LoginFragment::fromLogin(Sa) };
    const QString missing = m_install->dir() + QStringLiteral("none/x.bak");
    QCOMPARE(test::failureOf([&] { backupDatabase(*m_objects, m_login, QStringLiteral("nosuch"), missing); }),
        FreeTds
            + QStringLiteral(
                "Database 'nosuch' does not exist. Make sure that the name is entered correctly. ")
            + FreeTds + QStringLiteral("BACKUP DATABASE is terminating abnormally."));
    QCOMPARE(test::failureOf([&] { backupDatabase(*m_objects, m_login, QStringLiteral("master"), missing); }),
        FreeTds + QStringLiteral("Cannot open backup device '") + missing
            + QStringLiteral("'. Operating system error 3(The system cannot find the path specified.). ")
            + FreeTds + QStringLiteral("BACKUP DATABASE is terminating abnormally."));
    RestoreRequest request;
    request.fields = { server(), QStringLiteral("zt003"), QStringLiteral("甲"), QString() };
    request.backupFile = missing;
    QCOMPARE(test::failureOf([&] { test::done(restoreAccountSet(*m_objects, request, m_login, m_context)); }),
        FreeTds + QStringLiteral("Cannot open backup device '") + missing
            + QStringLiteral("'. Operating system error 2(The system cannot find the file specified.). ")
            + FreeTds + QStringLiteral("RESTORE FILELIST is terminating abnormally."));
    QVERIFY(!store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt003"), server()));
}

void TestTdsBackup::restoreOnAnotherServerGoesIntoItsOwnFolders()
{
    // A second server: another instance of the installation, with a folder of its own; both read
    // the installation's backup folder, as two servers reach a shared one.
    test::TdsProcess other(m_install->dir(), { QStringLiteral("--instance"), QStringLiteral("OTHER") });
    QVERIFY(other.port() > 0);
    test::storeServerLogin(other.serverName(), Sa);
    test::done(createAccountSet(*m_objects,
        { server(), QStringLiteral("zt001"), QStringLiteral("北京示范贸易"), QString() },
        CreationMode::Network, m_login, m_context));
    const QStringList before = contents(QStringLiteral("zt001"));
    const QString location
        = backupDatabase(*m_objects, m_login, QStringLiteral("zt001"), QStringLiteral("月末.bak"));
    QCOMPARE(location, m_install->dir() + QStringLiteral("data/backup/月末.bak"));
    QCOMPARE(backupFileText(server(), location), QStringLiteral("备份文件（在服务器上）：") + location);

    // Each file moved beside the folder the backup recorded, the first server's: refused.
    const QString recorded = m_install->dir() + QStringLiteral("data/embedded/default/");
    data::Connection c;
    c.setConnectionString(test::saCatalog(other.serverName(), QStringLiteral("master")));
    const QString moved
        = QStringLiteral("restore database zt002 from disk=N'%1' with move N'zt001' to N'%2zt002.mdf', "
                         "move N'zt001_log' to N'%2zt002_log.ldf'")
              .arg(location, recorded);
    QStringList refusal;
    for (const QString &file :
        { QStringLiteral("zt001|zt002.mdf"), QStringLiteral("zt001_log|zt002_log.ldf") }) {
        const QString path = recorded + file.section(u'|', 1);
        refusal << FreeTds + QStringLiteral("Directory lookup for the file \"") + path
                + QStringLiteral(
                    "\" failed with the operating system error 3(The system cannot find the path "
                    "specified.).")
                << FreeTds + QStringLiteral("File '") + file.section(u'|', 0, 0)
                + QStringLiteral("' cannot be restored to '") + path
                + QStringLiteral("'. Use WITH MOVE to identify a valid location for the file.");
    }
    refusal << FreeTds
            + QStringLiteral(
                "Problems were identified while planning for the RESTORE statement. Previous messages "
                "provide details.")
            << FreeTds + QStringLiteral("RESTORE DATABASE is terminating abnormally.");
    QCOMPARE(test::failureOf([&] { c.backend().execute(moved); }), refusal.join(u' '));

    // Restored as the wizard restores: into the second server's default folders.
    RestoreRequest request;
    request.fields
        = { other.serverName(), QStringLiteral("zt002"), QStringLiteral("恢复的账套"), QStringLiteral("k") };
    request.backupFile = location;
    data::ServerLogin login;
    test::done(restoreAccountSet(*m_objects, request, login, m_context));
    QCOMPARE(contents(other.serverName(), QStringLiteral("zt002")), before);
    const auto folder = c.backend().query(QStringLiteral("select serverproperty('InstanceDefaultDataPath')"));
    QCOMPARE(
        folder.rows.value(0).value(0).toString(), m_install->dir() + QStringLiteral("data/embedded/OTHER/"));
    const auto files = c.backend().query(QStringLiteral(
        "select physical_name from sys.master_files where database_id = db_id('zt002') order by file_id"));
    QCOMPARE(files.rows.size(), 2);
    QCOMPARE(
        files.rows[0].value(0).toString(), folder.rows[0].value(0).toString() + QStringLiteral("zt002.mdf"));
    QCOMPARE(files.rows[1].value(0).toString(),
        folder.rows[0].value(0).toString() + QStringLiteral("zt002_log.ldf"));
}

QTEST_GUILESS_MAIN(TestTdsBackup)

#include "tst_tdsbackup.moc"
