// Times a whole network-mode creation through unixODBC + FreeTDS + QODBC to ztwizard-tds, and
// counts its round trips (requests the server answered, login included), with no delay and
// with every packet held 25 ms in each direction (a 50 ms round trip, as to a hosted server).
// Usage: bench_tdsroad [delay-ms ...]   (default: 0 25)
#include "accountset/creation.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "tdsprocess.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <cstdio>

using namespace zt;
using namespace zt::accountset;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> delays;
    for (int i = 1; i < argc; ++i)
        delays << atoi(argv[i]);
    if (delays.isEmpty())
        delays = { 0, 25 };

    for (const int delay : std::as_const(delays)) {
        test::TestInstallation installation;
        if (!installation.isValid())
            return 1;
        test::TdsProcess tds(installation.dir(), { QStringLiteral("--delay"), QString::number(delay) });
        if (tds.port() == 0)
            return 1;
        const data::Login sa = data::Login::sql(QStringLiteral("sa"), QString());
        {
            data::Connection c;
            data::Query q(QStringLiteral("ADOQuery2"));
            store::openLocalConfiguration(c, q);
            store::storeServerRecord(q, tds.serverName(), sa);
        }
        install::heldValues() = {};
        QElapsedTimer timer;
        timer.start();
        try {
            AccountSetObjects o;
            store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
            QString fragment;
            CreationContext context;
            createAccountSet(o,
                { tds.serverName(), QStringLiteral("bench01"), QStringLiteral("基准帐套"), QString() },
                CreationMode::Network, fragment, context);
        } catch (const data::DataError &e) {
            std::fprintf(stderr, "creation failed: %s\n", e.what());
            return 1;
        }
        const qint64 ms = timer.elapsed();
        const QString stats = tds.stop();
        static const QRegularExpression requests(QStringLiteral("connections (\\d+) requests (\\d+)"));
        const auto m = requests.match(stats);
        std::printf("delay %d ms: creation %lld ms, %s round trips on %s connections\n%s", delay, ms,
            qPrintable(m.captured(2)), qPrintable(m.captured(1)), qPrintable(stats));
        std::fflush(stdout);
    }
    return 0;
}
