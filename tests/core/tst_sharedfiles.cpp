// Files shared by the installation's group, and the packaged layout: the changing files reached
// through links from the installation directory into a folder of their own.
#include "accountset/creation.h"
#include "install/installfiles.h"
#include "install/sharedfiles.h"
#include "store/localstore.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

using namespace zt;

namespace {

const QString Server = QStringLiteral("(embedded)");

mode_t modeOf(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Moves a file or folder of the installation into the state folder and leaves a link in its place,
// as the Debian package lays them out.
bool moveAndLink(const QString &install, const QString &state, const QString &path)
{
    const QString from = install + path;
    const QString to = state + path;
    QDir().mkpath(QFileInfo(to).path());
    if (QFileInfo(from).exists() && !QDir().rename(from, to))
        return false;
    if (!QFileInfo(from).exists() && !QFileInfo(to).exists())
        QDir().mkpath(to);
    return QFile::link(to, from);
}

} // namespace

class TestSharedFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void groupGetsReadAndWriteFromTheMask_data();
    void groupGetsReadAndWriteFromTheMask();
    void sharedFileKeepsAnExistingFile();
    void packagedLayoutWritesOnlyIntoTheStateFolderForTheGroup();

private:
    mode_t m_mask = 022;
};

void TestSharedFiles::initTestCase()
{
    m_mask = ::umask(022);
    ::umask(m_mask);
}

void TestSharedFiles::cleanup()
{
    ::umask(m_mask);
}

void TestSharedFiles::groupGetsReadAndWriteFromTheMask_data()
{
    QTest::addColumn<uint>("mask");
    QTest::addColumn<uint>("shared"); // the mask after shareNewFilesWithGroup()
    QTest::addColumn<uint>("fileMode"); // what newFilePermissions() then reports

    QTest::newRow("022") << 022u << 007u << 0660u;
    QTest::newRow("002") << 002u << 007u << 0660u;
    QTest::newRow("077") << 077u << 007u << 0660u;
    QTest::newRow("027") << 027u << 007u << 0660u;
    QTest::newRow("000") << 000u << 007u << 0660u;
    QTest::newRow("277") << 0277u << 0207u << 0460u;
}

void TestSharedFiles::groupGetsReadAndWriteFromTheMask()
{
    QFETCH(uint, mask);
    QFETCH(uint, shared);
    QFETCH(uint, fileMode);

    ::umask(mask);
    install::shareNewFilesWithGroup();
    const mode_t now = ::umask(0);
    ::umask(now);
    QCOMPARE(uint(now), shared);

    const QFileDevice::Permissions p = install::newFilePermissions();
    uint mode = 0;
    mode |= p.testFlag(QFileDevice::ReadOwner) ? 0400 : 0;
    mode |= p.testFlag(QFileDevice::WriteOwner) ? 0200 : 0;
    mode |= p.testFlag(QFileDevice::ReadGroup) ? 040 : 0;
    mode |= p.testFlag(QFileDevice::WriteGroup) ? 020 : 0;
    mode |= p.testFlag(QFileDevice::ReadOther) ? 04 : 0;
    mode |= p.testFlag(QFileDevice::WriteOther) ? 02 : 0;
    QCOMPARE(mode, fileMode);

    // A file made by createSharedFile gets the same.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.db"));
    install::createSharedFile(path);
    QCOMPARE(uint(modeOf(path)), fileMode);
}

void TestSharedFiles::sharedFileKeepsAnExistingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.db"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("contents");
    f.close();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    install::createSharedFile(path);
    QCOMPARE(uint(modeOf(path)), 0600u);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("contents"));
}

// A whole creation, the help topic and a restore in the packaged layout, with a mask of 022 as
// users usually have: everything new lands in the state folder, writable by the group.
void TestSharedFiles::packagedLayoutWritesOnlyIntoTheStateFolderForTheGroup()
{
    test::TestInstallation installation;
    QVERIFY(installation.isValid());
    const QString install = installation.dir();
    const QString state = QDir::cleanPath(install + QStringLiteral("../state")) + u'/';
    for (const char *path : { "data/MORVEK.mdb", "data/SysBase", "data/embedded", "help.ini", "txt" })
        QVERIFY2(moveAndLink(install, state, QString::fromLatin1(path)), path);
    // Shipped files in the state folder are group-writable (the package's postinst makes them so).
    QVERIFY(QFile::setPermissions(state + QStringLiteral("help.ini"),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::WriteGroup
            | QFileDevice::ReadOther));
    QStringList programFiles;
    for (QDirIterator it(
             install, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
         it.hasNext();)
        programFiles << it.next();
    programFiles.sort();

    ::umask(022);
    install::shareNewFilesWithGroup();

    accountset::AccountSetObjects objects;
    store::openLocalConfiguration(objects.Conn_Ty, objects.ADOTy);
    {
        data::Connection c;
        data::Query q(QStringLiteral("ADOQuery2"));
        store::openLocalConfiguration(c, q);
        store::storeServerRecord(q, Server, data::Credentials::integrated());
    }
    data::ServerLogin login;
    accountset::CreationContext context;
    const accountset::AccountSetFields fields { Server, QStringLiteral("zt501"), QStringLiteral("共享账套"),
        QStringLiteral("pw") };
    test::done(
        accountset::createAccountSet(objects, fields, accountset::CreationMode::Network, login, context));
    install::writeHelpTopic(install::helpTopic());
    test::embeddedExec(QStringLiteral("master"),
        QStringLiteral("restore database zt502 from disk='%1data/TOVRASQL_Sample.bak'").arg(install));

    // The program folder is as it was: links stay links, nothing was added beside them.
    QStringList after;
    for (QDirIterator it(
             install, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
         it.hasNext();)
        after << it.next();
    after.sort();
    for (const QString &path : std::as_const(after))
        QVERIFY2(
            programFiles.contains(path), qPrintable(QStringLiteral("new in the program folder: ") + path));
    QCOMPARE(after, programFiles);
    QVERIFY(QFileInfo(install + QStringLiteral("help.ini")).isSymLink());

    // What was written is in the state folder, and every new file there is writable by the group.
    QVERIFY(store::findAccountSetRow(objects.ADOTy, QStringLiteral("zt501"), Server));
    QVERIFY(QFile::exists(state + QStringLiteral("data/SysBase/zt501_S_SysBase.mdb")));
    QVERIFY(QFile::exists(state + QStringLiteral("data/embedded/default/zt501.db")));
    QVERIFY(QFile::exists(state + QStringLiteral("data/embedded/default/zt502.db")));
    QVERIFY(QFile::exists(state + QStringLiteral("data/embedded/default/master.db")));
    QFile help(state + QStringLiteral("help.ini"));
    QVERIFY(help.open(QIODevice::ReadOnly));
    QVERIFY(help.readAll().contains(".htm"));
    int files = 0;
    int locks = 0;
    for (QDirIterator it(
             state + QStringLiteral("data"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        if (path.endsWith(QStringLiteral("MORVEK.mdb")))
            continue; // shipped, not made here
        ++files;
        locks += path.endsWith(QStringLiteral(".lock"));
        QCOMPARE(uint(modeOf(path)) & 0777, 0660u);
    }
    QVERIFY(files >= 4);
    QVERIFY(locks >= 2);
    QCOMPARE(uint(modeOf(state + QStringLiteral("help.ini"))), 0664u); // rewritten, mode kept
}

QTEST_GUILESS_MAIN(TestSharedFiles)
#include "tst_sharedfiles.moc"
