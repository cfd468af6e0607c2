#include "installation.h"

#include <QCoreApplication>

namespace zt::install {

namespace {
QString &overridden()
{
    static QString dir;
    return dir;
}
} // namespace

QString directory()
{
    QString dir = overridden();
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString localPath(const QString &stored)
{
    return QString(stored).replace(u'\\', u'/');
}

void setDirectory(const QString &directory)
{
    overridden() = directory;
}

} // namespace zt::install
