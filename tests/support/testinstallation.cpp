#include "testinstallation.h"

#include "install/installation.h"
#ifdef ZT_SANITIZE_BUILD
#include "keepodbcloaded.h"
#endif

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace zt::test {

namespace {

bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(
        from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + u'/' + QDir(from).relativeFilePath(source);
        if (it.fileInfo().isDir()) {
            if (!QDir().mkpath(target))
                return false;
        } else if (!QFile::copy(source, target)) {
            return false;
        } else {
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
        }
    }
    return true;
}

// unixODBC reads ODBCSYSINI once per process, so every installation of one test process shares
// one folder of ODBC ini files; each installation rewrites them.
QString odbcDirectory()
{
    static QTemporaryDir dir;
    return dir.path();
}

} // namespace

TestInstallation::TestInstallation()
{
#ifdef ZT_SANITIZE_BUILD
    keepOdbcLibrariesLoaded();
#endif
    if (!m_temp.isValid())
        return;
    if (!copyTree(QStringLiteral(ZT_INSTALLDATA_DIR), m_temp.path() + QStringLiteral("/install")))
        return;
    writeOdbcFiles(true);
    install::setDirectory(dir());
    m_valid = true;
}

TestInstallation::~TestInstallation()
{
    install::setDirectory({});
}

QString TestInstallation::dir() const
{
    return m_temp.path() + QStringLiteral("/install/");
}

void TestInstallation::removeDataSource()
{
    writeOdbcFiles(false);
}

void TestInstallation::writeOdbcFiles(bool withDataSource)
{
    const QString odbcDir = odbcDirectory();
    QFile inst(odbcDir + QStringLiteral("/odbcinst.ini"));
    if (inst.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        // A test that reads what the driver manager receives names its trace file here.
        if (const QByteArray trace = qgetenv("ZT_TEST_ODBC_TRACE"); !trace.isEmpty())
            inst.write("[ODBC]\nTrace=Yes\nTraceFile=" + trace + "\n\n");
        inst.write("[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=libsqlite3odbc.so\n\n"
                   "[FreeTDS]\nDescription=FreeTDS\nDriver=libtdsodbc.so\n");
    }
    inst.close();
    QFile ini(odbcDir + QStringLiteral("/odbc.ini"));
    if (ini.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (withDataSource)
            ini.write("[plumbrook]\nDescription=ztwizard local configuration files\nDriver=SQLite3\n");
    }
    qputenv("ODBCSYSINI", odbcDir.toLocal8Bit());
    qputenv("ODBCINI", (odbcDir + QStringLiteral("/odbc.ini")).toLocal8Bit());
}

bool sanitizerBuild()
{
#ifdef ZT_SANITIZE_BUILD
    return true;
#else
    return false;
#endif
}

} // namespace zt::test
