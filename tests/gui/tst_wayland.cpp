// The wizard on a Wayland compositor, as on Debian 13's desktop: Weston (its X11 back end on an
// Xvfb of the test's own, which gives it a seat; the headless back end has none, and Qt 6.4's
// Wayland plugin crashes opening a popup without one) with keys pressed on the X server. Page 1,
// its server list and Esc, a message box and page 2 come up as the compositor's windows, and the
// delete-password group, which a Wayland client cannot place, stays usable on its page. Skipped
// where Xvfb, Weston, xdotool or Qt's Wayland plugin is missing.

#include "accountset/detachablegroup.h"
#include "displays.h"
#include "notifier.h"
#include "wizardfixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QMessageBox>
#include <QTimer>

using namespace zt;
using namespace zt::test;

namespace {

VirtualDisplay *g_display = nullptr;
WestonOnX *g_weston = nullptr;

bool press(const QStringList &arguments)
{
    return xdotool(g_display->display(), arguments);
}

} // namespace

class TestWayland : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesListsAndBoxesOnWayland();
};

void TestWayland::initTestCase()
{
    if (!g_weston || !g_weston->ready())
        QSKIP("no Xvfb, Weston or Qt Wayland plugin");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("no xdotool");
    QVERIFY(QGuiApplication::platformName().startsWith(QLatin1StringView("wayland")));
}

void TestWayland::pagesListsAndBoxesOnWayland()
{
    Wizard wizard;
    QVERIFY(wizard.searchEnded);
    wizard.server->show();
    QVERIFY(QTest::qWaitForWindowExposed(wizard.server));
    // The kiosk shell centres the window on its 1000 x 740 output, without a frame: a point of the
    // window is found on the X screen from there. A click on the banner gives it the keyboard.
    const auto clickAt = [&wizard](QWidget *widget, QPoint at) {
        const QPoint origin(500 - wizard.server->width() / 2, 370 - wizard.server->height() / 2);
        const QPoint p = origin + widget->mapTo(wizard.server, at);
        // The pointer settles before the press, and the press lasts as a hand's does.
        return press({ QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
            QStringLiteral("sleep"), QStringLiteral("0.3"), QStringLiteral("mousedown"), QStringLiteral("1"),
            QStringLiteral("sleep"), QStringLiteral("0.1"), QStringLiteral("mouseup"), QStringLiteral("1") });
    };
    QVERIFY(clickAt(wizard.server, QPoint(40, 40)));
    QTRY_VERIFY(wizard.server->isActiveWindow());

    // The server list opens as a popup (a click on its arrow: Weston grants a popup's grab to a
    // pointer press, not to a key), and Esc closes it alone.
    auto *box = wizard.p1()->SQLServersListComboBox1;
    QVERIFY(clickAt(box, QPoint(box->width() - 8, box->height() / 2)));
    QTRY_VERIFY(QApplication::activePopupWidget());
    QTest::qWait(300);
    QVERIFY2(QApplication::activePopupWidget(), "the list closed by itself");
    QVERIFY(press({ QStringLiteral("key"), QStringLiteral("Escape") }));
    QTRY_VERIFY(!QApplication::activePopupWidget());
    QTest::qWait(300);
    QVERIFY(wizard.server->isVisible());
    QCOMPARE(wizard.closedSpy->count(), 0);

    // A real message box comes up, is exposed and is answered with Enter.
    gui::setNotifier(nullptr);
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        shown = QTest::qWaitForWindowExposed(QApplication::activeModalWidget());
        QTRY_VERIFY(QApplication::activeModalWidget()->isActiveWindow());
        press({ QStringLiteral("key"), QStringLiteral("Return") });
    });
    gui::notifier().information(QStringLiteral("韦斯顿上的提示"), QStringLiteral("服务器设置提示"));
    QVERIFY(shown);
    gui::setNotifier(&wizard.notifier);

    // Page 2, its delete-password group usable where it is.
    wizard.server->hide();
    wizard.page2->show();
    QVERIFY(QTest::qWaitForWindowExposed(wizard.page2));
    QVERIFY(!gui::DetachableGroup::windowsCanBePlaced());
    QGroupBox *group = wizard.p2()->GroupBox1;
    group->show();
    QTest::mousePress(group, Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseMove(group, QPoint(80, 80));
    QTest::mouseRelease(group, Qt::LeftButton, {}, QPoint(80, 80));
    QVERIFY(!wizard.page2->deletePasswordGroup()->isFloating());
    QVERIFY(!group->isWindow());

    // Esc on page 2 ends the wizard, as on page 1.
    wizard.page2->activateWindow();
    QTRY_VERIFY(wizard.page2->isActiveWindow());
    QVERIFY(press({ QStringLiteral("key"), QStringLiteral("Escape") }));
    QTRY_VERIFY(!wizard.page2->isVisible());
}

int main(int argc, char *argv[])
{
    VirtualDisplay display;
    WestonOnX weston(display.display());
    g_display = &display;
    g_weston = &weston;
    if (weston.ready()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(weston.runtimeDir()));
        qputenv("WAYLAND_DISPLAY", WestonOnX::socketName().toLatin1());
        qputenv("QT_QPA_PLATFORM", "wayland");
        qunsetenv("DISPLAY");
    }
    QApplication app(argc, argv);
    TestWayland test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wayland.moc"
