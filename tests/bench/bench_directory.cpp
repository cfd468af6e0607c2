// Times the network account-set directory on page 2 with a large directory on the embedded server:
//  1. the listing that changing to the tab "网络账套" runs (fragment lookup, select of the whole
//     table, binding the grid, first row current), and the grid painted afterwards;
//  2. moving to the last row with Ctrl+End (the current directory row follows) and painting it.
// Usage: bench_directory [rows] [runs]
#include "accountset/directory.h"
#include "accountset/form_xzzt.h"
#include "data/dataerror.h"
#include "store/localstore.h"
#include "testinstallation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <cstdio>

using namespace zt;

namespace {

const QString Server = QStringLiteral("(embedded)");

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

void fillDirectory(int rows)
{
    data::Connection c;
    c.setConnectionString(data::ConnectionString::master(
        data::LoginFragment::fromLogin(data::Credentials::integrated()), Server));
    c.backend().execute(accountset::directoryTableStatement().join(QStringLiteral("\r\n")));
    const int batch = 500;
    for (int first = 0; first < rows; first += batch) {
        QStringList statements;
        for (int i = first; i < std::min(rows, first + batch); ++i)
            statements.append(
                QStringLiteral("insert into PBTOVRASQLBASEDATA (ztbh, ztmc, zjmc, jlrq, kl) values "
                               "('zt%1', N'分公司账套%1', '(embedded)', '2026-01-05', 'pw%1')")
                    .arg(i, 5, 10, QLatin1Char('0')));
        c.backend().execute(statements.join(QStringLiteral("\r\n")));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ZTWIZARD_BROWSE_TARGET"))
        qputenv("ZTWIZARD_BROWSE_TARGET", "off");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    test::TestInstallation installation;
    if (!installation.isValid())
        return 1;

    QList<double> listing, listingPainted, toEnd;
    try {
        {
            data::Connection c;
            data::Query q(QStringLiteral("ADOQuery2"));
            store::openLocalConfiguration(c, q);
            store::storeServerRecord(q, Server, data::Credentials::integrated());
        }
        QElapsedTimer fillTimer;
        fillTimer.start();
        fillDirectory(rows);
        std::printf("filled PBTOVRASQLBASEDATA with %d rows in %.0f ms\n", rows, double(fillTimer.elapsed()));

        QList<double> query;
        for (int run = 0; run < runs; ++run) {
            accountset::AccountSetObjects objects;
            store::openLocalConfiguration(objects.Conn_Ty, objects.ADOTy);
            data::ServerLogin login;
            QElapsedTimer timer;
            timer.start();
            if (!accountset::listDirectory(objects, Server, login))
                return 1;
            query.append(timer.nsecsElapsed() / 1e6);
        }
        std::printf("  %-34s %8.1f ms\n", "the listing's query alone", median(query));

        gui::Tform_xzzt page;
        page.show();
        if (!QTest::qWaitForWindowExposed(&page))
            return 1;
        auto *tabs = page.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        auto *grid = page.findChild<QTableView *>(QStringLiteral("DBGrid1"));
        page.findChild<QLineEdit *>(QStringLiteral("Edit1"))->setText(Server);
        QCoreApplication::processEvents();

        for (int run = 0; run < runs; ++run) {
            tabs->setCurrentIndex(0);
            QCoreApplication::processEvents();

            QElapsedTimer timer;
            timer.start();
            tabs->setCurrentIndex(1); // the listing runs here
            listing.append(timer.nsecsElapsed() / 1e6);
            grid->repaint();
            QCoreApplication::processEvents();
            listingPainted.append(timer.nsecsElapsed() / 1e6);
            if (grid->model()->rowCount() != rows || page.ADOztgl().currentRow() != 0) {
                std::fprintf(stderr, "listing shows %d rows\n", grid->model()->rowCount());
                return 1;
            }

            timer.restart();
            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
            grid->repaint();
            QCoreApplication::processEvents();
            toEnd.append(timer.nsecsElapsed() / 1e6);
            if (page.ADOztgl().currentRow() != rows - 1) {
                std::fprintf(stderr, "the current row is %d after Ctrl+End\n", page.ADOztgl().currentRow());
                return 1;
            }
        }
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }

    std::printf("%d runs, %d directory rows, medians (min / max):\n", runs, rows);
    const auto line = [](const char *what, const QList<double> &values) {
        std::printf("  %-34s %8.1f ms  (%.1f / %.1f)\n", what, median(values),
            *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()));
    };
    line("listing on the tab change", listing);
    line("listing and grid painted", listingPainted);
    line("Ctrl+End to the last row, painted", toEnd);
    return 0;
}
