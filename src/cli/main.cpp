#include "commandline.h"
#include "embedded/embeddedserver.h"
#include "install/sharedfiles.h"
#include "text/qttranslation.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    zt::install::shareNewFilesWithGroup();
    zt::embedded::installBackend();
    QCoreApplication app(argc, argv);
    zt::text::loadQtChineseTranslation();
    // Also the program's name in each server login (APP_NAME()).
    QCoreApplication::setApplicationName(QStringLiteral("ztaccountset"));
    return zt::cli::runCommandLine(QCoreApplication::arguments());
}
