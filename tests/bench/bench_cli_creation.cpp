// Times creating an account set of the shipped base data, in one run:
//  1. the wizard's own creation: createAccountSet in this process, as page 2 runs it;
//  2. ztaccountset create as a whole process (start-up, local configuration, creation, exit);
//  3. optionally both again through FreeTDS to ztwizard-tds serving this installation's embedded
//     instance, each packet held the given milliseconds each way (a distant server).
// Usage: bench_cli_creation [runs] [tds-delay-ms]
#include "accountset/creation.h"
#include "data/dataerror.h"
#include "store/localstore.h"
#include "tdsprocess.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>

using namespace zt;
using namespace zt::accountset;

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

void storeLogin(const QString &server, const data::Credentials &login)
{
    data::Connection c;
    data::Query q(QStringLiteral("ADOQuery2"));
    store::openLocalConfiguration(c, q);
    store::storeServerRecord(q, server, login);
}

double inProcess(const QString &server, const QString &number)
{
    AccountSetObjects o;
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
    CreationContext context;
    data::ServerLogin held;
    QElapsedTimer timer;
    timer.start();
    test::done(createAccountSet(
        o, { server, number, QStringLiteral("示范"), QString() }, CreationMode::Network, held, context));
    return timer.nsecsElapsed() / 1e6;
}

double asProcess(const QString &dir, const QString &server, const QString &number)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZTWIZARD_SET_PASSWORD"), QString());
    env.insert(QStringLiteral("ZTWIZARD_BROWSE_TARGET"), QStringLiteral("off"));
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(ZT_ACCOUNTSET_EXE),
        { QStringLiteral("--dir"), dir, QStringLiteral("create"), QStringLiteral("--server"), server,
            QStringLiteral("--db"), number, QStringLiteral("--name"), QStringLiteral("示范") });
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        throw data::DataError(QString::fromUtf8(process.readAllStandardError()));
    return timer.nsecsElapsed() / 1e6;
}

void measure(const QString &label, const QString &dir, const QString &server, int runs)
{
    QList<double> own, cli;
    for (int run = 0; run < runs; ++run) {
        // Alternating, so that a drift of the machine's speed touches both alike.
        own << inProcess(server, QStringLiteral("own%1_%2").arg(label.left(3)).arg(run));
        cli << asProcess(dir, server, QStringLiteral("cli%1_%2").arg(label.left(3)).arg(run));
    }
    std::printf("%s: wizard's creation in process: median %.0f ms (min %.0f, max %.0f)\n", qPrintable(label),
        median(own), *std::min_element(own.begin(), own.end()), *std::max_element(own.begin(), own.end()));
    std::printf("%s: ztaccountset create, whole process: median %.0f ms (min %.0f, max %.0f) over %d runs\n",
        qPrintable(label), median(cli), *std::min_element(cli.begin(), cli.end()),
        *std::max_element(cli.begin(), cli.end()), runs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString tdsDelay = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    test::TestInstallation installation;
    if (!installation.isValid())
        return 1;
    std::printf("installation: %s\n", qPrintable(installation.dir()));
    std::fflush(stdout);
    try {
        storeLogin(QStringLiteral("(embedded)"), data::Credentials::integrated());
        measure(QStringLiteral("embedded"), installation.dir(), QStringLiteral("(embedded)"), runs);
        if (!tdsDelay.isEmpty()) {
            test::TdsProcess tds(installation.dir(), { QStringLiteral("--delay"), tdsDelay });
            if (tds.port() <= 0)
                throw data::DataError(QStringLiteral("ztwizard-tds did not start"));
            storeLogin(tds.serverName(), data::Credentials::sql(QStringLiteral("sa"), QString()));
            measure(QStringLiteral("tds, delay ") + tdsDelay + QStringLiteral(" ms"), installation.dir(),
                tds.serverName(), runs);
        }
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
