#include "commandline.h"
#include "embedded/embeddedserver.h"
#include "guard/roadguard.h"
#include "install/sharedfiles.h"
#include "text/qttranslation.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    zt::install::shareNewFilesWithGroup();
    zt::embedded::installBackend();
    // The FreeTDS configuration of the guarded road, named before any thread runs.
    zt::guard::prepareConnections();
    QCoreApplication app(argc, argv);
    zt::text::loadQtChineseTranslation();
    // Also the program's name in each server login (APP_NAME()).
    QCoreApplication::setApplicationName(QStringLiteral("ztaccountset"));
    return zt::cli::runCommandLine(QCoreApplication::arguments());
}
