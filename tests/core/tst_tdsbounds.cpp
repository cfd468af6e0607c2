// What a client can make ztwizard-tds hold: connections beyond the bound are closed at once,
// stalled and oversized requests lose their connection, and a few seconds of malformed and
// mutated requests leave the server serving, at about the size it had before.

#include "data/connection.h"
#include "data/query.h"
#include "loopback.h"
#include "tdsprocess.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace zt;

namespace {

// True when the server closes the connection within the time (data it sends is read past).
bool closedWithin(int fd, int ms)
{
    QElapsedTimer clock;
    clock.start();
    char buffer[4096];
    while (clock.elapsed() < ms) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return true;
    }
    return false;
}

// True when the server closes the connection before it answers anything.
bool refused(int fd, int ms)
{
    char buffer[64];
    pollfd p { fd, POLLIN, 0 };
    return ::poll(&p, 1, ms) == 1 && ::recv(fd, buffer, sizeof buffer, 0) <= 0;
}

QByteArray packet(std::uint8_t type, const QByteArray &payload, bool last)
{
    QByteArray p;
    const int length = int(payload.size()) + 8;
    p.append(char(type)).append(char(last ? 1 : 0)).append(char(length >> 8)).append(char(length & 0xff));
    return p.append(QByteArray(4, '\0')).append(payload);
}

void sendAll(int fd, const QByteArray &bytes)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (sent <= 0)
            return;
        at += sent;
    }
}

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

bool serves(int port)
{
    return test::failureOf([port] {
        data::Connection c;
        c.setConnectionString(data::ConnectionString::master(
            data::LoginFragment::fromLogin(data::Credentials::sql(QStringLiteral("sa"), QString())),
            QStringLiteral("127.0.0.1,%1").arg(port)));
        test::openQuery(c, QStringLiteral("select count(*) from zt_logins"));
    }) == test::NoError;
}

} // namespace

class TestTdsBounds final : public QObject
{
    Q_OBJECT

private slots:
    void boundsHoldAndAStormLeavesNoWeight();
};

void TestTdsBounds::boundsHoldAndAStormLeavesNoWeight()
{
    test::TestInstallation installation;
    QVERIFY(installation.isValid());
    test::TdsProcess tds(installation.dir(),
        { QStringLiteral("--max-connections"), QStringLiteral("8"), QStringLiteral("--request-timeout"),
            QStringLiteral("1") });
    QVERIFY(tds.port() > 0);
    QVERIFY(serves(tds.port()));
    QTest::qWait(300); // that connection's thread ends

    // Eight silent clients fill the server; a ninth is closed at once, and the silent ones are
    // cut once the login timeout has passed.
    std::vector<int> silent;
    for (int i = 0; i < 8; ++i)
        silent.push_back(test::connectLoopback(tds.port()));
    QTest::qWait(200);
    const int ninth = test::connectLoopback(tds.port());
    sendAll(ninth, packet(0x12, QByteArray("\x00\x00\x06\x00\x01\xff\x09\x00\x00\x00\x00\x00", 12), true));
    if (!refused(ninth, 5000))
        QFAIL(qPrintable(tds.stop()));
    ::close(ninth);
    for (const int fd : silent) {
        QVERIFY(closedWithin(fd, 3000));
        ::close(fd);
    }

    // A request beyond the bound (1 MiB before login) ends its connection without a reply.
    const int large = test::connectLoopback(tds.port());
    const QByteArray chunk = packet(0x12, QByteArray(4000, 'x'), false);
    for (int i = 0; i < 300; ++i)
        sendAll(large, chunk);
    QVERIFY(closedWithin(large, 3000));
    ::close(large);

    QTest::qWait(300);
    const qint64 before = residentKiB(tds.pid());
    QVERIFY(before > 0);

    // Storm: for two seconds, four clients send random bytes, packets with random headers and
    // valid headers with random payloads of every type, each on a fresh connection.
    std::vector<std::thread> clients;
    std::atomic<int> sent { 0 };
    for (int t = 0; t < 4; ++t) {
        clients.emplace_back([&, t] {
            QRandomGenerator random(quint32(t + 1));
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 2000) {
                const int fd = test::connectLoopback(tds.port());
                if (fd < 0)
                    continue;
                QByteArray payload(random.bounded(1, 20000), Qt::Uninitialized);
                for (char &c : payload)
                    c = char(random.bounded(256));
                switch (random.bounded(4)) {
                case 3: // about 900 KB of pre-login packets, under the bound before login
                    for (int i = 0; i < 220; ++i)
                        sendAll(fd, packet(0x12, payload.left(4000), false));
                    break;
                case 0:
                    sendAll(fd, payload);
                    break;
                case 1:
                    sendAll(
                        fd, packet(std::uint8_t(random.bounded(256)), payload.left(4000), random.bounded(2)));
                    break;
                default:
                    sendAll(fd,
                        packet(0x12, payload.left(4000), true) + packet(0x10, payload.mid(4000, 4000), true)
                            + packet(0x01, payload.left(4000), true));
                }
                closedWithin(fd, 5);
                ::close(fd);
                ++sent;
            }
        });
    }
    for (std::thread &client : clients)
        client.join();
    QVERIFY(sent > 100);
    QTest::qWait(1500); // the last connections time out and their threads end
    QVERIFY(serves(tds.port()));
    const qint64 after = residentKiB(tds.pid());
    qInfo("resident before %lld KiB, after %d requests %lld KiB", before, sent.load(), after);
    if (!test::sanitizerBuild())
        QVERIFY2(
            after - before < 6 * 1024, qPrintable(QStringLiteral("%1 -> %2 KiB").arg(before).arg(after)));

    bool clean = false;
    const QString stats = tds.stop(&clean);
    QVERIFY(clean);
    QVERIFY2(!stats.contains(QStringLiteral("refused-connections 0 "))
            && !stats.contains(QStringLiteral("too-large 0 ")),
        qPrintable(stats));
}

QTEST_GUILESS_MAIN(TestTdsBounds)
#include "tst_tdsbounds.moc"
