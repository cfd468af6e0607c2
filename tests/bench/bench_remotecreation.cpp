// Times a whole network-mode creation with the shipped base data (per-set file, database, script,
// base data, local row, directory) as the page runs it, and counts its round trips to the server;
// each run creates one account set the way the creation does now, and one with the base data
// posted row by row as the transfer was first written (its field list read again before every
// row), the rest of the steps being the same.
//
//   bench_remotecreation [runs]                          on the embedded server, in process
//   bench_remotecreation [runs] ZTWIZARD_TDS [DELAY_MS [COLLATION]]
//                                through FreeTDS to ztwizard-tds, started here on a free loopback
//                                port (with --delay DELAY_MS, its instance made with the server
//                                collation COLLATION) and reached through a relay that counts
//                                the requests
// A round trip is one request message of the client (a TDS packet carrying the end-of-message
// flag): pre-login, login, each batch or procedure call. ZTWIZARD_BROWSE_TARGET must be off or a
// loopback address.
#include "accountset/basedata.h"
#include "accountset/creation.h"
#include "accountset/identifiers.h"
#include "data/dataerror.h"
#include "store/localstore.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace zt;
using namespace Qt::StringLiterals;
using namespace zt::accountset;

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Relays loopback TCP connections to a TDS server and counts the client's request messages.
class CountingRelay final
{
public:
    explicit CountingRelay(int targetPort)
        : m_targetPort(targetPort)
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || listen(m_listener, 16) != 0
            || getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            std::perror("relay");
            std::exit(1);
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~CountingRelay()
    {
        m_stop = true;
        m_thread.join();
        close(m_listener);
    }

    int port() const { return m_port; }
    int requests() const { return m_requests; }
    int connections() const { return m_connections; }
    void reset()
    {
        m_requests = 0;
        m_connections = 0;
    }

private:
    struct Pair
    {
        int client;
        int server;
        QByteArray pending; // client bytes not yet parsed into packets
    };

    int connectTarget() const
    {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(m_targetPort));
        if (::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            close(s);
            return -1;
        }
        return s;
    }

    // Counts the messages completed by the client's bytes: TDS packets are an 8-byte header
    // (type, status, big-endian length of the whole packet, ...); status bit 0 ends a message.
    void count(Pair &pair, const char *data, ssize_t size)
    {
        pair.pending.append(data, size);
        while (pair.pending.size() >= 8) {
            const auto *header = reinterpret_cast<const unsigned char *>(pair.pending.constData());
            const int length = (header[2] << 8) | header[3];
            if (length < 8 || pair.pending.size() < length)
                break;
            if (header[1] & 0x01)
                ++m_requests;
            pair.pending.remove(0, length);
        }
    }

    void run()
    {
        std::vector<Pair> pairs;
        while (!m_stop) {
            std::vector<pollfd> fds { { m_listener, POLLIN, 0 } };
            for (const Pair &p : pairs) {
                fds.push_back({ p.client, POLLIN, 0 });
                fds.push_back({ p.server, POLLIN, 0 });
            }
            if (poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int client = accept(m_listener, nullptr, nullptr);
                const int server = client >= 0 ? connectTarget() : -1;
                if (server >= 0) {
                    pairs.push_back({ client, server, {} });
                    ++m_connections;
                } else if (client >= 0) {
                    close(client);
                }
            }
            std::vector<size_t> closed;
            for (size_t i = 0; i < (fds.size() - 1) / 2; ++i) { // the pairs polled this time
                for (int side = 0; side < 2; ++side) {
                    const pollfd &fd = fds[1 + 2 * i + side];
                    if (!(fd.revents & (POLLIN | POLLHUP | POLLERR)))
                        continue;
                    char buffer[65536];
                    const ssize_t n = read(fd.fd, buffer, sizeof buffer);
                    if (n <= 0) {
                        closed.push_back(i);
                        break;
                    }
                    if (side == 0)
                        count(pairs[i], buffer, n);
                    const int to = side == 0 ? pairs[i].server : pairs[i].client;
                    for (ssize_t sent = 0; sent < n;) {
                        const ssize_t w = write(to, buffer + sent, n - sent);
                        if (w <= 0)
                            break;
                        sent += w;
                    }
                }
            }
            for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
                close(pairs[*it].client);
                close(pairs[*it].server);
                pairs.erase(pairs.begin() + static_cast<std::ptrdiff_t>(*it));
            }
        }
        for (const Pair &p : pairs) {
            close(p.client);
            close(p.server);
        }
    }

    int m_targetPort;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_requests { 0 };
    std::atomic<int> m_connections { 0 };
    std::thread m_thread;
};

// The base-data transfer as first written: the field list read again before every source row,
// one append and one post of the target's result set per row.
void postRowByRow(AccountSetObjects &o, const QStringList &tables)
{
    o.Conn_Ty2.setConnectionString(store::localAccessString(QStringLiteral("Sample.mdb")));
    o.ADOTy2.setConnection(&o.Conn_Ty2);
    o.ADOzd.setConnection(&o.Conn_Ty2);
    for (const QString &table : tables) {
        data::reopen(o.ADOTy2, QStringLiteral("select * from ") + table + QStringLiteral(" order by ID"));
        data::reopen(o.ADOTy1, QStringLiteral("select * from ") + table);
        while (!o.ADOTy2.isEof()) {
            data::reopen(o.ADOzd, QStringLiteral("select * from ") + table);
            o.ADOTy1.append();
            for (int column = 1; column < o.ADOzd.fieldCount(); ++column) {
                const QString name = o.ADOzd.fieldName(column);
                o.ADOTy1.setFieldText(name, o.ADOTy2.fieldAsText(name));
            }
            o.ADOTy1.post();
            o.ADOTy2.next();
        }
    }
}

// The network-mode creation's steps with that transfer.
void createPostingRowByRow(
    AccountSetObjects &o, const AccountSetFields &fields, const CreationContext &context)
{
    ensurePerSetFile(fields.database, context.progress);
    const data::ServerLogin login = store::readServerLogin(o.ADOTy, fields.server);
    o.Conn_Ty1.close();
    o.Conn_Ty1.setConnectionString(data::ConnectionString::server(login));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
    data::reexecute(o.ADOTy1, QStringLiteral("create database ") + sqlName(fields.database));
    o.Conn_Ty1.close();
    o.Conn_Ty1.setConnectionString(data::ConnectionString::catalog(login, fields.database));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
    runCreationScript(o);
    postRowByRow(o, baseDataTables());
    registerAccountSet(o, fields, CreationMode::Network, login, context);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const bool remote = argc > 2;
    test::TestInstallation installation;
    if (!installation.isValid())
        return 1;

    std::unique_ptr<CountingRelay> relay;
    QProcess tds;
    QString server = QStringLiteral("(embedded)");
    data::Credentials login = data::Credentials::integrated();
    if (remote) {
        QStringList arguments { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
            QStringLiteral("--directory"), installation.dir(), QStringLiteral("--stats") };
        if (argc > 3)
            arguments << QStringLiteral("--delay") << QString::fromLocal8Bit(argv[3]);
        if (argc > 4)
            arguments << QStringLiteral("--collation") << QString::fromLocal8Bit(argv[4]);
        tds.start(QString::fromLocal8Bit(argv[2]), arguments);
        static const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
        int port = 0;
        while (port == 0 && tds.waitForReadyRead(10000)) {
            while (tds.canReadLine()) {
                if (const auto m = listening.match(QString::fromUtf8(tds.readLine()).trimmed()); m.hasMatch())
                    port = m.captured(1).toInt();
            }
        }
        if (port == 0) {
            std::fprintf(stderr, "ztwizard-tds did not start\n");
            return 1;
        }
        relay = std::make_unique<CountingRelay>(port);
        server = QStringLiteral("127.0.0.1,%1").arg(relay->port());
        login = data::Credentials::sql(QStringLiteral("sa"), QString());
    }
    {
        data::Connection c;
        data::Query q(QStringLiteral("ADOQuery2"));
        store::openLocalConfiguration(c, q);
        store::storeServerRecord(q, server, login);
    }

    struct Way
    {
        const char *name;
        bool rowByRow;
        QList<double> times;
        QList<double> roundTrips;
    };
    Way ways[] = { { "base data posted row by row (before)", true, {}, {} },
        { "base data in batches (now)", false, {}, {} } };
    int connections = 0;
    const QString stamp = QString::number(QDateTime::currentSecsSinceEpoch() % 1000000);
    try {
        for (int run = 0; run < runs; ++run) {
            for (Way &way : ways) {
                AccountSetObjects o;
                store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
                CreationContext context;
                context.reportDirectoryError = [](const QString &message) {
                    std::fprintf(stderr, "directory: %s\n", qPrintable(message));
                };
                const AccountSetFields fields { server,
                    QStringLiteral("rc%1%2x%3").arg(stamp, way.rowByRow ? u"r"_s : u"b"_s).arg(run),
                    QStringLiteral("示范"), QString() };
                if (relay)
                    relay->reset();
                QElapsedTimer timer;
                timer.start();
                if (way.rowByRow) {
                    createPostingRowByRow(o, fields, context);
                } else {
                    data::ServerLogin held;
                    test::done(createAccountSet(o, fields, CreationMode::Network, held, context));
                }
                way.times << timer.nsecsElapsed() / 1e6;
                if (relay) {
                    o.Conn_Ty1.close(); // the last requests are in
                    way.roundTrips << relay->requests();
                    connections = relay->connections();
                }
            }
        }
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(e.message()));
        tds.terminate();
        tds.waitForFinished();
        return 1;
    }
    QString where = !remote ? QStringLiteral("the embedded server")
        : argc > 3          ? QStringLiteral("ztwizard-tds through FreeTDS, --delay %1").arg(argv[3])
                            : QStringLiteral("ztwizard-tds through FreeTDS, no delay");
    if (argc > 4)
        where += QStringLiteral(", collation %1").arg(argv[4]);
    for (const Way &way : ways) {
        std::printf("whole network-mode creation on %s, %s: median %.0f ms, min %.0f ms over %d runs",
            qPrintable(where), way.name, median(way.times),
            *std::min_element(way.times.begin(), way.times.end()), runs);
        if (relay)
            std::printf("; %.0f round trips in %d connections", median(way.roundTrips), connections);
        std::printf("\n");
    }
    relay.reset();
    if (remote) {
        tds.terminate(); // the server was started here; it ends by its own process
        tds.waitForFinished();
        // Its traffic over all runs; --delay holds every packet, in and out.
        std::printf("ztwizard-tds over %d runs: %s", runs, tds.readAllStandardOutput().constData());
    }
    return 0;
}
