#include "embedded/embeddedserver.h"
#include "server/sqlserverslistcombobox.h"
#include "ssrpresponder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using zt::gui::TSQLServersListComboBox;
using zt::test::SsrpResponder;

namespace {

QStringList items(const QComboBox &box)
{
    QStringList list;
    for (int i = 0; i < box.count(); ++i)
        list.append(box.itemText(i));
    return list;
}

int bluePixels(const QImage &image, const QRect &area)
{
    int count = 0;
    for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), image.height() - 1); ++y) {
        for (int x = std::max(area.left(), 0); x <= std::min(area.right(), image.width() - 1); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 150 && c.red() < 100 && c.green() < 100)
                ++count;
        }
    }
    return count;
}

// Page 1's box as its window sets it up: one empty entry, selected.
std::unique_ptr<TSQLServersListComboBox> pageBox(QWidget *page)
{
    auto box = std::make_unique<TSQLServersListComboBox>(page);
    box->setGeometry(97, 17, 189, 20);
    box->addItem(QString());
    box->setCurrentIndex(0);
    return box;
}

} // namespace

class TestServerBox : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("ZTWIZARD_BROWSE_TARGET", "off"); }
    void cleanup() { qputenv("ZTWIZARD_BROWSE_TARGET", "off"); }

    void constructionValues();
    void noSearchWhenRefreshAfterCreateIsFalse();
    void searchShowsTipAndThenListsServersInOrder();
    void offListsTheEmbeddedInstances();
    void closedOrSilentTargetListsTheEmbeddedInstances_data();
    void closedOrSilentTargetListsTheEmbeddedInstances();
    void disabledBoxStaysDisabledAfterTheSearch();
    void boxDestroyedDuringSearchIsLeftAlone_data();
    void boxDestroyedDuringSearchIsLeftAlone();
};

void TestServerBox::constructionValues()
{
    TSQLServersListComboBox box;
    QCOMPARE(box.property("RefreshAfterCreate").toBool(), true);
    QCOMPARE(box.property("TipFontColor").value<QColor>(), QColor(0, 0, 255));
    QVERIFY(box.isEditable());
    QVERIFY(!box.isSearching());
}

void TestServerBox::noSearchWhenRefreshAfterCreateIsFalse()
{
    SsrpResponder responder({ SsrpResponder::svrResp(SsrpResponder::record("SRV", "MSSQLSERVER")) });
    qputenv("ZTWIZARD_BROWSE_TARGET", responder.target().toLatin1());
    QWidget page;
    auto box = pageBox(&page);
    box->setRefreshAfterCreate(false);
    box->loaded();
    QVERIFY(!box->isSearching());
    QVERIFY(box->isEnabled());
    QTest::qWait(200);
    QCOMPARE(responder.requestCount(), 0);
    QCOMPARE(items(*box), QStringList { QString() });
}

void TestServerBox::searchShowsTipAndThenListsServersInOrder()
{
    // Answers a little later, so the searching state can be looked at.
    SsrpResponder responder({ SsrpResponder::svrResp(SsrpResponder::record("ZETA", "MSSQLSERVER")),
                                SsrpResponder::svrResp(SsrpResponder::record("ALPHA", "INST")
                                    + SsrpResponder::record("ALPHA", "MSSQLSERVER")) },
        {}, 300);
    qputenv("ZTWIZARD_BROWSE_TARGET", responder.target().toLatin1());
    QWidget page;
    page.resize(465, 269);
    auto box = pageBox(&page);
    box->setEditText(QStringLiteral("typed"));
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QSignalSpy done(box.get(), &TSQLServersListComboBox::searchFinished);

    box->loaded();
    box->loaded(); // a running search is not started again
    QVERIFY(box->isSearching());
    QVERIFY(!box->isEnabled());
    QCOMPARE(box->palette().color(QPalette::Text), QColor(0, 0, 255));
    QCOMPARE(box->currentText(), TSQLServersListComboBox::tipText());
    const QPoint tip = box->tipTextPosition();
    QCOMPARE(tip.y(), (box->height() - box->fontMetrics().height()) / 2);
    const QRect tipArea(tip,
        QSize(box->fontMetrics().horizontalAdvance(TSQLServersListComboBox::tipText()),
            box->fontMetrics().height()));
    const QImage searching = box->grab().toImage();
    if (!qEnvironmentVariableIsEmpty("ZT_SAVE_GRABS"))
        searching.save(QStringLiteral("serverbox-searching.png"));
    QVERIFY(bluePixels(searching, tipArea) > 10);

    // Page 1 goes on while the search runs.
    QVERIFY(done.wait(5000));
    QVERIFY(!box->isSearching());
    QVERIFY(box->isEnabled());
    QVERIFY(box->lineEdit()->isEnabled());
    QCOMPARE(box->currentText(), QStringLiteral("typed"));
    QVERIFY(box->palette().color(QPalette::Text) != QColor(0, 0, 255));
    QCOMPARE(bluePixels(box->grab().toImage(), box->rect()), 0);

    QStringList expected = zt::embedded::instanceServerNames(zt::embedded::defaultRoot());
    expected << QStringLiteral("ZETA") << QStringLiteral("ALPHA\\INST") << QStringLiteral("ALPHA");
    QCOMPARE(items(*box), expected);
    QCOMPARE(responder.requestCount(), 1);
}

void TestServerBox::offListsTheEmbeddedInstances()
{
    QWidget page;
    auto box = pageBox(&page);
    QSignalSpy done(box.get(), &TSQLServersListComboBox::searchFinished);
    box->loaded();
    QVERIFY(done.wait(3000));
    QCOMPARE(items(*box), zt::embedded::instanceServerNames(zt::embedded::defaultRoot()));
    QCOMPARE(box->currentText(), QString());
    QVERIFY(box->isEnabled());
}

void TestServerBox::closedOrSilentTargetListsTheEmbeddedInstances_data()
{
    QTest::addColumn<bool>("silent");
    QTest::newRow("closed port") << false;
    QTest::newRow("silent responder") << true;
}

void TestServerBox::closedOrSilentTargetListsTheEmbeddedInstances()
{
    QFETCH(bool, silent);
    SsrpResponder responder;
    const quint16 port = silent ? responder.port() : SsrpResponder::closedPort();
    qputenv("ZTWIZARD_BROWSE_TARGET", QByteArray("127.0.0.1:") + QByteArray::number(port));
    QWidget page;
    auto box = pageBox(&page);
    box->addItem(QStringLiteral("KEPT"));
    QSignalSpy done(box.get(), &TSQLServersListComboBox::searchFinished);
    box->loaded();
    QVERIFY(done.wait(6000));
    // Nobody answering is a search that found no network servers: a user without any SQL
    // Server is offered the embedded instances.
    QCOMPARE(items(*box), zt::embedded::instanceServerNames(zt::embedded::defaultRoot()));
    QVERIFY(box->isEnabled());
    QCOMPARE(box->currentText(), QString());
}

void TestServerBox::disabledBoxStaysDisabledAfterTheSearch()
{
    QWidget page;
    auto box = pageBox(&page);
    box->setEnabled(false);
    QSignalSpy done(box.get(), &TSQLServersListComboBox::searchFinished);
    box->loaded();
    QVERIFY(done.wait(3000));
    QVERIFY(!box->isEnabled());
}

void TestServerBox::boxDestroyedDuringSearchIsLeftAlone_data()
{
    QTest::addColumn<bool>("answering");
    QTest::newRow("still listening") << false;
    QTest::newRow("waiting to fill the list") << true;
}

void TestServerBox::boxDestroyedDuringSearchIsLeftAlone()
{
    QFETCH(bool, answering);
    SsrpResponder responder(answering
            ? QList<QByteArray> { SsrpResponder::svrResp(SsrpResponder::record("S", "I")) }
            : QList<QByteArray> {});
    qputenv("ZTWIZARD_BROWSE_TARGET", responder.target().toLatin1());
    auto page = std::make_unique<QWidget>();
    auto box = pageBox(page.get());
    box->loaded();
    if (answering) {
        // Without this thread taking events, the worker ends up waiting for its list change.
        QTRY_COMPARE(responder.requestCount(), 1);
        QThread::msleep(900);
    }
    QElapsedTimer clock;
    clock.start();
    box.reset();
    page.reset();
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(100); // nothing queued for the destroyed box may run
}

QTEST_MAIN(TestServerBox)
#include "tst_serverbox.moc"
