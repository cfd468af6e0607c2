// Time from loading page 1's server box until it is enabled again, and how well the page keeps
// painting and taking input meanwhile. Runs offscreen; the network search only ever reaches a
// responder on 127.0.0.1.
#include "server/sqlserverslistcombobox.h"
#include "ssrpresponder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

using zt::gui::TSQLServersListComboBox;
using zt::test::SsrpResponder;

namespace {

class PaintCounter final : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

struct Run
{
    double enabledAfterMs = 0;
    qint64 longestStallMs = 0;
    int paints = 0;
    int keysTyped = 0;
    int keysAccepted = 0;
};

Run measure(const QByteArray &target)
{
    qputenv("ZTWIZARD_BROWSE_TARGET", target);
    QWidget page;
    page.resize(465, 269);
    auto *box = new TSQLServersListComboBox(&page);
    box->setGeometry(97, 17, 189, 20);
    box->addItem(QString());
    auto *input = new QLineEdit(&page);
    input->setGeometry(97, 60, 189, 20);
    PaintCounter counter;
    input->installEventFilter(&counter);
    page.show();
    if (!QTest::qWaitForWindowExposed(&page))
        std::fprintf(stderr, "page not exposed\n");
    input->setFocus();

    Run run;
    QElapsedTimer clock, tick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        run.longestStallMs = std::max(run.longestStallMs, tick.restart());
        QTest::keyClick(input, Qt::Key_A);
        ++run.keysTyped;
        input->repaint();
    });
    QSignalSpy done(box, &TSQLServersListComboBox::searchFinished);
    clock.start();
    tick.start();
    box->loaded();
    ticker.start();
    done.wait(10000);
    run.enabledAfterMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    ticker.stop();
    run.paints = counter.paints;
    run.keysAccepted = static_cast<int>(input->text().size());
    return run;
}

void report(const char *name, const QByteArray &target, int rounds)
{
    QList<Run> runs;
    for (int i = 0; i < rounds; ++i)
        runs.append(measure(target));
    std::sort(runs.begin(), runs.end(),
        [](const Run &a, const Run &b) { return a.enabledAfterMs < b.enabledAfterMs; });
    const Run &median = runs.at(runs.size() / 2);
    qint64 stall = 0;
    for (const Run &run : runs)
        stall = std::max(stall, run.longestStallMs);
    std::printf("%-28s enabled after: median %7.1f ms, max %7.1f ms | longest event-loop stall %3lld ms | "
                "paints %4d | keys accepted %d/%d\n",
        name, median.enabledAfterMs, runs.constLast().enabledAfterMs, static_cast<long long>(stall),
        median.paints, median.keysAccepted, median.keysTyped);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = 5;

    report("off", "off", rounds);
    {
        SsrpResponder responder({ SsrpResponder::svrResp(SsrpResponder::record("SRV", "MSSQLSERVER")
            + SsrpResponder::record("SRV", "FINANCE", "50001")) });
        report("responder answering at once", responder.target().toLatin1(), rounds);
    }
    {
        SsrpResponder responder;
        report("silent responder", responder.target().toLatin1(), 1);
    }
    qputenv("ZTWIZARD_BROWSE_TARGET", "off");
    return 0;
}
