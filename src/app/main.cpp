#include "displayplatform.h"
#include "embedded/embeddedserver.h"
#include "guard/roadguard.h"
#include "install/sharedfiles.h"
#include "text/qttranslation.h"
#include "windowlook.h"
#include "wizardwindows.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Registrations and files made by one member of the installation's group stay usable by the
    // others (install/sharedfiles.h).
    zt::install::shareNewFilesWithGroup();
    // "(embedded)" and "(embedded)\NAME" open the server in this process.
    zt::embedded::installBackend();
    // The FreeTDS configuration of the guarded road, named before any thread runs.
    zt::guard::prepareConnections();
    // A window on this desktop, or a word on what to install instead of Qt's abort.
    if (!zt::gui::prepareDisplayPlatform())
        return 1;
    QApplication app(argc, argv);
    // The program's name in each server login (APP_NAME()), whatever the executable is called.
    QApplication::setApplicationName(QStringLiteral("ztwizard"));
    zt::text::loadQtChineseTranslation();
    zt::gui::useWindowFontThroughout();
    // The application title "创建帐套" is the caption of the plain messages and the standard error
    // box (notifier.h). It is not set as Qt's display name, which X11 window titles would carry
    // as a suffix after each page's own title.
    // The wizard ends when its main window, page 1, closes, also while page 2 is the visible page;
    // hiding page 1 on the way to page 2 must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    zt::gui::WizardWindows windows;
    QObject::connect(&windows.form_server, &zt::gui::Tform_server::closed, &app, &QCoreApplication::quit,
        Qt::QueuedConnection);

    windows.form_server.show();
    windows.makeOtherWindowsOncePainted();
    return QApplication::exec();
}
