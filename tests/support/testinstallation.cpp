#include "testinstallation.h"

#include "install/installation.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dlfcn.h>

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

#ifdef ZT_SANITIZE_BUILD
// The ODBC libraries the drivers load stay loaded for the whole process, so that LeakSanitizer
// can still name them at exit: tests/lsan.supp suppresses their own leaks by library name.
void keepOdbcLibrariesLoaded()
{
    static const bool done = [] {
        for (const char *name : { "libodbcinst.so.2", "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                 "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so" })
            dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        return true;
    }();
    (void)done;
}
#endif

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

} // namespace zt::test
