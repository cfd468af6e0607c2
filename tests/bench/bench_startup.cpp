// Start-up of the wizard in process, as main() does it: the application object, the three
// windows in their order, page 1 shown and exposed. Run with QT_QPA_PLATFORM=offscreen (or under
// Xvfb); tests/bench/bench-startup-x11.sh times the installed executable under Xvfb.
#include "testinstallation.h"
#include "wizardwindows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QElapsedTimer timer;
    timer.start();
    QApplication app(argc, argv);
    zt::test::TestInstallation installation; // private data source and installation files
    const qint64 setUp = timer.nsecsElapsed();
    zt::gui::WizardWindows windows;
    windows.form_server.show();
    if (!QTest::qWaitForWindowExposed(&windows.form_server))
        return 1;
    std::printf("application object: %.1f ms; windows created and page 1 exposed: %.1f ms (%s)\n",
        setUp / 1e6, (timer.nsecsElapsed() - setUp) / 1e6, qPrintable(QGuiApplication::platformName()));
    return 0;
}
