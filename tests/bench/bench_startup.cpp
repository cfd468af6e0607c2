// Start-up of the wizard in process, as main() does it: the application object, the three
// windows in their order, page 1 shown and exposed. Run with QT_QPA_PLATFORM=offscreen (or under
// Xvfb); tests/bench/bench-startup-x11.sh times the installed executable under Xvfb.
// With --vs: page 1 made and exposed with and without Qt's Chinese translation loaded, in turns,
// in one process (the first round of each warms the caches), and what loading it costs.
#include "testinstallation.h"
#include "text/qttranslation.h"
#include "wizardwindows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTranslator>

#include <algorithm>
#include <cstdio>

namespace {

double pageOneMs()
{
    QElapsedTimer timer;
    timer.start();
    zt::gui::WizardWindows windows;
    windows.form_server.show();
    if (!QTest::qWaitForWindowExposed(&windows.form_server))
        return -1;
    return timer.nsecsElapsed() / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

void unloadTranslations()
{
    for (QTranslator *translator : qApp->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer timer;
    timer.start();
    QApplication app(argc, argv);
    zt::test::TestInstallation installation; // private data source and installation files
    const qint64 setUp = timer.nsecsElapsed();
    if (!QCoreApplication::arguments().contains(QStringLiteral("--vs"))) {
        zt::gui::WizardWindows windows;
        windows.form_server.show();
        if (!QTest::qWaitForWindowExposed(&windows.form_server))
            return 1;
        std::printf("application object: %.1f ms; windows created and page 1 exposed: %.1f ms (%s)\n",
            setUp / 1e6, (timer.nsecsElapsed() - setUp) / 1e6, qPrintable(QGuiApplication::platformName()));
        return 0;
    }
    constexpr int Rounds = 21;
    QList<double> without;
    QList<double> with;
    QList<double> loading;
    for (int round = 0; round <= Rounds; ++round) {
        // Each order in turn, so that neither profits from the other's warm caches.
        double plain = 0;
        double translated = 0;
        double loadMs = 0;
        const auto withTranslation = [&] {
            QElapsedTimer load;
            load.start();
            const bool loaded = zt::text::loadQtChineseTranslation();
            loadMs = load.nsecsElapsed() / 1e6;
            translated = pageOneMs();
            return loaded;
        };
        unloadTranslations();
        if (round % 2 == 0) {
            plain = pageOneMs();
            if (!withTranslation())
                return 1;
        } else {
            if (!withTranslation())
                return 1;
            unloadTranslations();
            plain = pageOneMs();
        }
        if (round < 2)
            continue;
        without.append(plain);
        with.append(translated);
        loading.append(loadMs);
    }
    std::printf("page 1 without Qt's translation: %.1f ms, with it: %.1f ms, loading it: %.2f ms "
                "(medians of %d rounds, %s)\n",
        median(without), median(with), median(loading), Rounds - 1,
        qPrintable(QGuiApplication::platformName()));
    return 0;
}
