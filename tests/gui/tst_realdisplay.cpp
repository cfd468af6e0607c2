// The wizard's keys on a real X server (Xvfb), pressed as a user presses them (xdotool): the
// offscreen platform hands key events straight to widgets and once hid that Esc on an open
// drop-down ended the wizard. Skipped where Xvfb or xdotool is missing.

#include "displays.h"
#include "wizardfixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QStandardPaths>

using namespace zt;
using namespace zt::test;

namespace {

VirtualDisplay *g_display = nullptr;

bool xdotool(const QStringList &arguments)
{
    return test::xdotool(g_display->display(), arguments);
}

} // namespace

class TestRealDisplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void escClosesTheListThenTheWizard();
};

void TestRealDisplay::initTestCase()
{
    if (!g_display || g_display->display().isEmpty())
        QSKIP("no Xvfb");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("no xdotool");
}

void TestRealDisplay::escClosesTheListThenTheWizard()
{
    Wizard wizard;
    QVERIFY(wizard.searchEnded);
    wizard.server->show();
    QVERIFY(QTest::qWaitForWindowExposed(wizard.server));
    // Without a window manager the keyboard follows the pointer.
    const QPoint centre = wizard.server->geometry().center();
    QVERIFY(
        xdotool({ QStringLiteral("mousemove"), QString::number(centre.x()), QString::number(centre.y()) }));
    wizard.server->activateWindow();
    QTRY_VERIFY(wizard.server->isActiveWindow());

    // The first thing typed goes into the server box.
    QVERIFY(xdotool({ QStringLiteral("type"), QStringLiteral("kasse,1433") }));
    QTRY_COMPARE(wizard.p1()->SQLServersListComboBox1->currentText(), QStringLiteral("kasse,1433"));

    // Esc with the list open closes the list alone.
    QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("alt+Down") }));
    QTRY_VERIFY(QApplication::activePopupWidget());
    QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("Escape") }));
    QTRY_VERIFY(!QApplication::activePopupWidget());
    QTest::qWait(300);
    QVERIFY(wizard.server->isVisible());
    QCOMPARE(wizard.closedSpy->count(), 0);
    QCOMPARE(wizard.p1()->SQLServersListComboBox1->currentText(), QStringLiteral("kasse,1433"));

    // Esc again ends the wizard.
    QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("Escape") }));
    QTRY_COMPARE(wizard.closedSpy->count(), 1);
}

int main(int argc, char *argv[])
{
    VirtualDisplay display;
    g_display = &display;
    if (!display.display().isEmpty()) {
        qputenv("DISPLAY", display.display().toLatin1());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    TestRealDisplay test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_realdisplay.moc"
