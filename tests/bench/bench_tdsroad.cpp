// Times a whole network-mode creation through unixODBC + FreeTDS + QODBC to ztwizard-tds, once
// straight to the server and once through a relay that delivers every byte DELAY ms late in each
// direction (a round trip of 2 x DELAY, as to a hosted server), and counts the requests and
// connections the server answered (login included). The time the link adds, divided by its
// round trip, is the number of round trips the creation waited for; each connection costs one
// more on a real link, for its TCP handshake, which the relay does not delay. Each run does this
// on the encrypted road (the server's certificate from the test authority, the whole session in
// TLS) and on the road in clear (a server without encryption, allowed for the test), in turns.
// Usage: bench_tdsroad [runs [delay-ms]]   (default: 5 25)
#include "accountset/creation.h"
#include "benchhelpers.h"
#include "data/dataerror.h"
#include "delayrelay.h"
#include "guard/truststore.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "tdsprocess.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <cstdio>
#include <optional>

using namespace zt;
using namespace zt::accountset;

namespace {

struct Run
{
    double ms = 0;
    int requests = 0;
    int connections = 0;
};

// One creation on a fresh installation and server, through a relay of delayMs when it is above 0.
std::optional<Run> create(int delayMs, bool encrypted)
{
    test::TestInstallation installation;
    if (!installation.isValid())
        return std::nullopt;
    test::TdsProcess tds(installation.dir(),
        encrypted ? QStringList() : QStringList { QStringLiteral("--encryption"), QStringLiteral("off") });
    if (tds.port() == 0)
        return std::nullopt;
    std::optional<test::DelayRelay> relay;
    QString server = tds.serverName();
    if (delayMs > 0) {
        relay.emplace(tds.port(), delayMs);
        if (relay->port() == 0)
            return std::nullopt;
        server = QStringLiteral("127.0.0.1,%1").arg(relay->port());
    }
    if (!encrypted)
        guard::allowUnencrypted(server);
    {
        data::Connection c;
        data::Query q(QStringLiteral("ADOQuery2"));
        store::openLocalConfiguration(c, q);
        store::storeServerRecord(q, server, data::Credentials::sql(QStringLiteral("sa"), QString()));
    }
    install::heldValues() = {};
    QElapsedTimer timer;
    try {
        AccountSetObjects o;
        store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
        data::ServerLogin login;
        CreationContext context;
        timer.start();
        test::done(
            createAccountSet(o, { server, QStringLiteral("bench01"), QStringLiteral("基准帐套"), QString() },
                CreationMode::Network, login, context));
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "creation failed: %s\n", e.what());
        return std::nullopt;
    }
    Run run;
    run.ms = double(timer.elapsed());
    relay.reset();
    static const QRegularExpression counted(QStringLiteral("connections (\\d+) requests (\\d+)"));
    const auto m = counted.match(tds.stop());
    run.connections = m.captured(1).toInt();
    run.requests = m.captured(2).toInt();
    return run;
}

struct Series
{
    QList<double> direct, link, trips;
    Run last;
};

bool measure(Series &series, bool encrypted, int delayMs, int run)
{
    const std::optional<Run> straight = create(0, encrypted);
    const std::optional<Run> relayed = create(delayMs, encrypted);
    if (!straight || !relayed)
        return false;
    const double effective = (relayed->ms - straight->ms) / (2.0 * delayMs);
    std::printf("run %d %s: direct %.0f ms, over %d+%d ms %.0f ms, %d requests on %d connections "
                "(relayed %d on %d), %.1f effective round trips\n",
        run, encrypted ? "encrypted" : "in clear ", straight->ms, delayMs, delayMs, relayed->ms,
        straight->requests, straight->connections, relayed->requests, relayed->connections, effective);
    std::fflush(stdout);
    series.direct << straight->ms;
    series.link << relayed->ms;
    series.trips << effective;
    series.last = *relayed;
    return true;
}

void summarize(const Series &s, const char *road, int runs, int delayMs)
{
    std::printf(
        "median of %d, %s: direct %.0f ms, over %d+%d ms %.0f ms (+%.0f), %d requests, %d connections, "
        "%.1f effective round trips (+%d handshakes on a real link)\n",
        runs, road, test::median(s.direct), delayMs, delayMs, test::median(s.link),
        test::median(s.link) - test::median(s.direct), s.last.requests, s.last.connections,
        test::median(s.trips), s.last.connections);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int delayMs = argc > 2 ? std::max(1, atoi(argv[2])) : 25;

    Series clear, encrypted;
    for (int i = 0; i < runs; ++i) {
        if (!measure(clear, false, delayMs, i + 1) || !measure(encrypted, true, delayMs, i + 1))
            return 1;
    }
    summarize(clear, "in clear ", runs, delayMs);
    summarize(encrypted, "encrypted", runs, delayMs);
    return 0;
}
