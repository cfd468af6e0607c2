// Backups of account sets through unixODBC + FreeTDS + QODBC to ztwizard-tds: the safety copy
// before a deletion and the restore under a new number, as against a real server.
#include "accountset/backup.h"
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

private:
    // Every row of the base-data tables and the directory's row count, read through FreeTDS.
    QStringList contents(const QString &catalog);

    QString m_fragment;
    CreationContext m_context;
};

void TestTdsBackup::init()
{
    const QString failed = startRoad();
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    m_fragment.clear();
    m_context = {};
    m_context.today = QDate(2026, 12, 8);
}

void TestTdsBackup::cleanup()
{
    stopRoad();
}

QStringList TestTdsBackup::contents(const QString &catalog)
{
    data::Connection c;
    c.setConnectionString(test::saCatalog(server(), catalog));
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
    createAccountSet(*m_objects,
        { server(), QStringLiteral("zt001"), QStringLiteral("北京示范贸易"), QString() },
        CreationMode::Network, m_fragment, m_context);
    const QStringList before = contents(QStringLiteral("zt001"));
    QVERIFY(before.size() > 300);

    QVERIFY(listDirectory(*m_objects, server(), m_fragment));
    const DirectoryRow row = currentDirectoryRow(m_objects->ADOztgl);
    const QString location = backupBeforeDeletion(
        *m_objects, m_fragment, server(), row, QDateTime(QDate(2026, 12, 8), QTime(23, 1, 2)));
    // A real server's backup lies on the server: the wizard names the file as given.
    QCOMPARE(location, QStringLiteral("zt001_20261208_230102.bak"));
    QVERIFY(QFile::exists(m_install->dir() + QStringLiteral("data/backup/") + location));
    dropAccountSetDatabase(*m_objects, m_fragment, server(), row);
    deleteCurrentDirectoryRow(*m_objects);

    RestoreRequest request;
    request.fields = { server(), QStringLiteral("zt002"), QStringLiteral("恢复的账套"), QStringLiteral("k") };
    request.backupFile = location;
    QString fragment;
    restoreAccountSet(*m_objects, request, fragment, m_context);
    QCOMPARE(contents(QStringLiteral("zt002")), before);
    QVERIFY(store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt002"), server()));
    QCOMPARE(m_objects->ADOTy.fieldAsText(QStringLiteral("ztmc")), QStringLiteral("恢复的账套"));
    QVERIFY(listDirectory(*m_objects, server(), m_fragment));
    QCOMPARE(m_objects->ADOztgl.recordCount(), 1);
    QCOMPARE(currentDirectoryRow(m_objects->ADOztgl).number, QStringLiteral("zt002"));
}

void TestTdsBackup::failuresReadAsTheServerSaysThem()
{
    m_fragment = LoginFragment::fromLogin(Sa).text();
    const QString missing = m_install->dir() + QStringLiteral("none/x.bak");
    QCOMPARE(test::failureOf([&] {
        backupAccountSet(*m_objects, m_fragment, server(), QStringLiteral("nosuch"), missing);
    }),
        FreeTds
            + QStringLiteral(
                "Database 'nosuch' does not exist. Make sure that the name is entered correctly. ")
            + FreeTds + QStringLiteral("BACKUP DATABASE is terminating abnormally."));
    QCOMPARE(test::failureOf([&] {
        backupAccountSet(*m_objects, m_fragment, server(), QStringLiteral("master"), missing);
    }),
        FreeTds + QStringLiteral("Cannot open backup device '") + missing
            + QStringLiteral("'. Operating system error 3(The system cannot find the path specified.). ")
            + FreeTds + QStringLiteral("BACKUP DATABASE is terminating abnormally."));
    RestoreRequest request;
    request.fields = { server(), QStringLiteral("zt003"), QStringLiteral("甲"), QString() };
    request.backupFile = missing;
    QCOMPARE(test::failureOf([&] { restoreAccountSet(*m_objects, request, m_fragment, m_context); }),
        FreeTds + QStringLiteral("Cannot open backup device '") + missing
            + QStringLiteral("'. Operating system error 2(The system cannot find the file specified.). ")
            + FreeTds + QStringLiteral("RESTORE FILELIST is terminating abnormally."));
    QVERIFY(!store::findAccountSetRow(m_objects->ADOTy, QStringLiteral("zt003"), server()));
}

QTEST_GUILESS_MAIN(TestTdsBackup)

#include "tst_tdsbackup.moc"
