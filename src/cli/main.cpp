#include "commandline.h"
#include "install/sharedfiles.h"
#include "text/qttranslation.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    zt::install::shareNewFilesWithGroup();
    QCoreApplication app(argc, argv);
    zt::text::loadQtChineseTranslation();
    QCoreApplication::setApplicationName(QStringLiteral("ztaccountset"));
    return zt::cli::runCommandLine(QCoreApplication::arguments());
}
