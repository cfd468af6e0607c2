// The display platform chosen before the application exists: Wayland where its plugin is,
// XWayland or X where it is not, and a Chinese word on what to install where neither works.

#include "displayplatform.h"

#include <QTest>

using namespace Qt::StringLiterals;
using zt::gui::DisplaySession;

class TestDisplayPlatform : public QObject
{
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
};

void TestDisplayPlatform::choice_data()
{
    QTest::addColumn<QString>("chosen"); // QT_QPA_PLATFORM
    QTest::addColumn<QString>("session"); // "wayland", "x11", "both", "none"
    QTest::addColumn<QString>("plugins"); // "wayland", "xcb", "both", "none"
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("problem"); // a piece of it; empty for none

    QTest::newRow("Wayland desktop") << QString() << u"both"_s << u"both"_s << u"wayland"_s << QString();
    QTest::newRow("Wayland without qt6-wayland: XWayland")
        << QString() << u"both"_s << u"xcb"_s << u"xcb"_s << QString();
    QTest::newRow("Wayland only, no qt6-wayland")
        << QString() << u"wayland"_s << u"xcb"_s << QString() << u"qt6-wayland"_s;
    QTest::newRow("X11 desktop") << QString() << u"x11"_s << u"both"_s << u"xcb"_s << QString();
    QTest::newRow("no desktop") << QString() << u"none"_s << u"both"_s << QString() << u"ztaccountset"_s;
    QTest::newRow("the user's own choice stands")
        << u"offscreen"_s << u"none"_s << u"none"_s << QString() << QString();
}

void TestDisplayPlatform::choice()
{
    QFETCH(QString, chosen);
    QFETCH(QString, session);
    QFETCH(QString, plugins);
    QFETCH(QString, platform);
    QFETCH(QString, problem);

    DisplaySession s;
    s.chosenPlatform = chosen;
    s.wayland = session == u"wayland" || session == u"both";
    s.x11 = session == u"x11" || session == u"both";
    s.waylandPlugin = plugins == u"wayland" || plugins == u"both";
    s.xcbPlugin = plugins == u"xcb" || plugins == u"both";
    const zt::gui::PlatformChoice choice = zt::gui::choosePlatform(s);
    QCOMPARE(choice.platform, platform);
    QCOMPARE(choice.problem.isEmpty(), problem.isEmpty());
    QVERIFY2(choice.problem.contains(problem), qPrintable(choice.problem));
}

QTEST_GUILESS_MAIN(TestDisplayPlatform)
#include "tst_displayplatform.moc"
