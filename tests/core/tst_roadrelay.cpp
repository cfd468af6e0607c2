// The relay the tests of the server road put between client and server: what its analysis reads
// from hand-made streams, and that it relays, rewrites, resets and impersonates as it says.

#include "loopback.h"
#include "roadrelay.h"
#include "tds/loginpackets.h"
#include "tds/wire.h"
#include "tls/session.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

using namespace zt;
using test::RoadRelay;

namespace {

QByteArray packet(std::uint8_t type, const QByteArray &payload, bool last = true)
{
    const qsizetype length = payload.size() + 8;
    QByteArray p;
    p.append(char(type)).append(char(last ? 1 : 0)).append(char(length >> 8)).append(char(length & 0xff));
    return p.append(QByteArray(4, '\0')).append(payload);
}

// A pre-login of the type (0x12 asked, 0x04 answered): VERSION, ENCRYPTION, TERMINATOR.
QByteArray prelogin(std::uint8_t type, std::uint8_t encryption)
{
    return packet(type,
        QByteArray("\x00\x00\x0b\x00\x06\x01\x00\x11\x00\x01\xff\x0f\x00\x07\xd0\x00\x00", 17)
            + char(encryption));
}

QByteArray utf16le(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    return bytes;
}

// A LOGIN7 message as a client writes it: the fixed part, then its texts, the password in the
// LOGIN7 form (halves of each byte swapped, XORed with 0xA5).
QByteArray login7(const QString &user, const QString &password)
{
    QByteArray obfuscated = utf16le(password);
    for (char &c : obfuscated)
        c = char(std::uint8_t((std::uint8_t(c) << 4) | (std::uint8_t(c) >> 4)) ^ 0xa5);
    // Host, user, password, program, server, extension, library, language, database.
    const QList<QByteArray> texts { utf16le(QStringLiteral("host")), utf16le(user), obfuscated,
        utf16le(QStringLiteral("app")), {}, {}, {}, {}, utf16le(QStringLiteral("master")) };
    constexpr std::uint16_t FixedSize = 94;
    tds::Writer fixed;
    fixed.u32(0); // the length, patched below
    fixed.u32(0x74000004);
    fixed.u32(4096);
    fixed.bytes(QByteArray(12 + 4 + 8, '\0')); // versions, ids, flags, time zone, LCID
    QByteArray variable;
    for (const QByteArray &text : texts) {
        fixed.u16(std::uint16_t(FixedSize + variable.size()));
        fixed.u16(std::uint16_t(text.size() / 2));
        variable.append(text);
    }
    fixed.bytes(QByteArray(FixedSize - fixed.size(), '\0'));
    QByteArray message = fixed.take() + variable;
    const auto length = std::uint32_t(message.size());
    for (int i = 0; i < 4; ++i)
        message[i] = char(length >> (8 * i));
    return message;
}

// Pseudo-random bytes as TLS records of the type (0x16 handshake, 0x17 application data).
QByteArray tlsRecord(char type, int size)
{
    QByteArray record;
    record.append(type).append("\x03\x03", 2).append(char(size >> 8)).append(char(size & 0xff));
    QRandomGenerator random(42 + size);
    for (int i = 0; i < size; ++i)
        record.append(char(random.bounded(256)));
    return record;
}

// Reads from a Qt socket until it holds n bytes (or five seconds pass).
QByteArray receive(QTcpSocket &socket, qsizetype n)
{
    QByteArray got;
    while (got.size() < n && (socket.bytesAvailable() > 0 || socket.waitForReadyRead(5000)))
        got.append(socket.readAll());
    return got;
}

// Writes to a Qt socket and waits until the bytes are handed to the system.
void transmit(QTcpSocket &socket, const QByteArray &bytes)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) { }
}

// recv waiting at most five seconds: > 0 bytes, 0 at the end, -errno on an error, -ETIMEDOUT.
qsizetype recvWithin(int fd, char *to, qsizetype size)
{
    pollfd p { fd, POLLIN, 0 };
    if (::poll(&p, 1, 5000) != 1)
        return -ETIMEDOUT;
    const ssize_t n = ::recv(fd, to, size_t(size), 0);
    return n < 0 ? -errno : n;
}

bool recvExactly(int fd, QByteArray &into, qsizetype n)
{
    while (n > 0) {
        char buffer[4096];
        const qsizetype got = recvWithin(fd, buffer, std::min<qsizetype>(n, sizeof buffer));
        if (got <= 0)
            return false;
        into.append(buffer, got);
        n -= got;
    }
    return true;
}

bool sendAll(int fd, const QByteArray &bytes)
{
    return ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
}

} // namespace

class TestRoadRelay : public QObject
{
    Q_OBJECT

private slots:
    void analysisReadsStreams_data();
    void analysisReadsStreams();
    void packetWalkFindsBoundaries_data();
    void packetWalkFindsBoundaries();
    void observeRecordsEachConnection();
    void downgradeRewritesOnlyThePrelogins();
    void resetFirstResetsOnlyTheFirstConnection();
    void impostorRecoversTheLogin_data();
    void impostorRecoversTheLogin();
};

void TestRoadRelay::analysisReadsStreams_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("secret");
    QTest::addColumn<bool>("text");

    const QByteArray message = login7(QStringLiteral("wizard_user"), QStringLiteral("Geheim-9"));
    QCOMPARE(tds::parseLogin7(message).password, QStringLiteral("Geheim-9")); // as the server reads it
    const QByteArray login = packet(0x10, message);
    QTest::newRow("LOGIN7 password") << login << QStringLiteral("Geheim-9") << true << false;
    QTest::newRow("another password") << login << QStringLiteral("Geheim-8") << false << false;
    QTest::newRow("LOGIN7 user name") << login << QStringLiteral("wizard_user") << true << true;
    QTest::newRow("UTF-8 in the clear")
        << QByteArray("PWD=Geheim-9;") << QStringLiteral("Geheim-9") << true << true;
    QTest::newRow("Chinese text") << packet(0x01, QByteArray("\x26\x8d\x57\x59", 4)) << QStringLiteral("账套")
                                  << true << true;
    // A batch split into two packets, the header falling inside the statement.
    const QByteArray batch = utf16le(QStringLiteral("select secret"));
    QTest::newRow("text across packets") << packet(0x01, batch.left(15), false) + packet(0x01, batch.mid(15))
                                         << QStringLiteral("select secret") << true << true;
    QTest::newRow("TLS records") << packet(0x12, tlsRecord(0x16, 300)) + tlsRecord(0x17, 400)
                                 << QStringLiteral("Geheim-9") << false << false;
    QTest::newRow("nothing to look for") << login << QString() << false << false;
}

void TestRoadRelay::analysisReadsStreams()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, needle);
    QFETCH(bool, secret);
    QFETCH(bool, text);
    QCOMPARE(test::revealsSecret(stream, needle), secret);
    QCOMPARE(test::revealsText(stream, needle), text);
}

void TestRoadRelay::packetWalkFindsBoundaries_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<bool>("tds50");
    QTest::addColumn<bool>("clearLogin7");

    const QByteArray ask = prelogin(0x12, 0x00);
    QTest::newRow("TDS 5.0 login") << packet(0x02, QByteArray(512, 'x')) << QList<int> { 0x02 } << true
                                   << false;
    QTest::newRow("LOGIN7 in the clear")
        << ask + packet(0x10, login7(QStringLiteral("sa"), QStringLiteral("p"))) << QList<int> { 0x12, 0x10 }
        << false << true;
    // The handshake wrapped in pre-login packets, the login as a bare record, then plain TDS.
    QTest::newRow("login inside TLS")
        << ask + packet(0x12, tlsRecord(0x16, 200)) + tlsRecord(0x17, 2) + packet(0x01, "x")
        << QList<int> { 0x12, 0x12, test::TlsRecord, 0x01 } << false << false;
    QTest::newRow("0x02 inside a payload")
        << packet(0x01, QByteArray("\x02\x01\x00\x10", 4)) << QList<int> { 0x01 } << false << false;
    QTest::newRow("not TDS") << QByteArray("GET / HTTP/1.1\r\n") + packet(0x02, "x") << QList<int> {} << false
                             << false;
}

void TestRoadRelay::packetWalkFindsBoundaries()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<int>, types);
    QFETCH(bool, tds50);
    QFETCH(bool, clearLogin7);
    QCOMPARE(test::packetTypes(stream), types);
    QCOMPARE(test::carriesTds50Login(stream), tds50);
    QCOMPARE(test::carriesClearLogin7(stream), clearLogin7);
}

void TestRoadRelay::observeRecordsEachConnection()
{
    QTcpServer upstream;
    QVERIFY(upstream.listen(QHostAddress::LocalHost, 0));
    RoadRelay relay(RoadRelay::Mode::Observe, upstream.serverPort());
    QVERIFY(relay.port() > 0);
    QList<QByteArray> asked;
    QList<QByteArray> answered;
    for (int i = 0; i < 2; ++i) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(relay.port()));
        QVERIFY(client.waitForConnected(5000));
        QVERIFY(upstream.waitForNewConnection(5000));
        QTcpSocket *server = upstream.nextPendingConnection();
        asked << QByteArray(70000 + i, char('a' + i)); // more than one read of the relay
        answered << QByteArray("answer ") + QByteArray::number(i);
        transmit(client, asked.last());
        QCOMPARE(receive(*server, asked.last().size()), asked.last());
        transmit(*server, answered.last());
        QCOMPARE(receive(client, answered.last().size()), answered.last());
        client.disconnectFromHost();
        QVERIFY(server->state() == QAbstractSocket::UnconnectedState || server->waitForDisconnected(5000));
    }
    QVERIFY(relay.waitUntilQuiet());
    QCOMPARE(relay.connections(), 2);
    QCOMPARE(relay.clientBytes(), asked);
    QCOMPARE(relay.serverBytes(), answered);
}

void TestRoadRelay::downgradeRewritesOnlyThePrelogins()
{
    QTcpServer upstream;
    QVERIFY(upstream.listen(QHostAddress::LocalHost, 0));
    RoadRelay relay(RoadRelay::Mode::Downgrade, upstream.serverPort());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(relay.port()));
    QVERIFY(client.waitForConnected(5000));
    QVERIFY(upstream.waitForNewConnection(5000));
    QTcpSocket *server = upstream.nextPendingConnection();

    // The client's pre-login asks for encryption (0x01) and arrives in two pieces.
    const QByteArray ask = prelogin(0x12, 0x01);
    transmit(client, ask.left(5));
    QTest::qWait(150);
    transmit(client, ask.mid(5));
    const QByteArray arrived = receive(*server, ask.size());
    QCOMPARE(test::preloginEncryption(arrived), 0x02);
    QCOMPARE(arrived.size(), ask.size());

    // The server's answer requires it (0x03); what follows is untouched.
    const QByteArray answer = prelogin(0x04, 0x03);
    const QByteArray later = prelogin(0x04, 0x03);
    transmit(*server, answer);
    QCOMPARE(test::preloginEncryption(receive(client, answer.size())), 0x02);
    transmit(*server, later);
    QCOMPARE(receive(client, later.size()), later);
    transmit(client, ask);
    QCOMPARE(receive(*server, ask.size()), ask);

    client.disconnectFromHost();
    server->disconnectFromHost();
    QVERIFY(relay.waitUntilQuiet());
    QCOMPARE(relay.rewrites(), 2);
    // The records hold what each side sent, before the rewriting.
    QCOMPARE(relay.clientBytes(), QList<QByteArray> { ask + ask });
    QCOMPARE(relay.serverBytes(), QList<QByteArray> { answer + later });
    QCOMPARE(test::preloginEncryption(relay.clientBytes().constFirst()), 0x01);
}

void TestRoadRelay::resetFirstResetsOnlyTheFirstConnection()
{
    QTcpServer upstream;
    QVERIFY(upstream.listen(QHostAddress::LocalHost, 0));
    RoadRelay relay(RoadRelay::Mode::ResetFirst, upstream.serverPort());

    const int first = test::connectLoopback(relay.port());
    QVERIFY(first >= 0);
    const auto closeAtEnd = qScopeGuard([first] { ::close(first); });
    QVERIFY(sendAll(first, prelogin(0x12, 0x00)));
    char buffer[64];
    QCOMPARE(recvWithin(first, buffer, sizeof buffer), qsizetype(-ECONNRESET));
    QVERIFY(!upstream.waitForNewConnection(200)); // the first never reached the server

    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, quint16(relay.port()));
    QVERIFY(second.waitForConnected(5000));
    QVERIFY(upstream.waitForNewConnection(5000));
    QTcpSocket *server = upstream.nextPendingConnection();
    transmit(second, "again");
    QCOMPARE(receive(*server, 5), QByteArray("again"));
    transmit(*server, "back");
    QCOMPARE(receive(second, 4), QByteArray("back"));
    second.disconnectFromHost();
    server->disconnectFromHost();
    QVERIFY(relay.waitUntilQuiet());
    QCOMPARE(relay.connections(), 2);
    QCOMPARE(relay.clientBytes(), (QList<QByteArray> { prelogin(0x12, 0x00), "again" }));
    QCOMPARE(relay.serverBytes(), (QList<QByteArray> { QByteArray(), "back" }));
}

void TestRoadRelay::impostorRecoversTheLogin_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<bool>("recovered");
    QTest::addColumn<bool>("refused");
    // The client encrypts the login only; the handshake travels inside pre-login packets.
    QTest::newRow("login in TLS") << QStringLiteral("tds7") << true << false;
    // The client wants TLS from the first byte.
    QTest::newRow("TDS 8.0") << QStringLiteral("tds8") << true << false;
    // The client does not encrypt at all.
    QTest::newRow("no encryption") << QStringLiteral("clear") << true << false;
    // The client finishes the handshake, dislikes the certificate and leaves.
    QTest::newRow("certificate refused") << QStringLiteral("leave") << false << true;
}

void TestRoadRelay::impostorRecoversTheLogin()
{
    QFETCH(QString, road);
    QFETCH(bool, recovered);
    QFETCH(bool, refused);
    RoadRelay relay(RoadRelay::Mode::Impostor, 1); // nothing is forwarded
    const int fd = test::connectLoopback(relay.port());
    QVERIFY(fd >= 0);
    const auto closeAtEnd = qScopeGuard([fd] { ::close(fd); });
    const QByteArray login = packet(0x10, login7(QStringLiteral("sa"), QStringLiteral("Geheim-9")));

    QByteArray inbound; // the handshake's records unwrapped from the relay's pre-login packets
    bool wrapped = road != u"tds8";
    auto pull = [&](char *to, qsizetype size) -> qsizetype {
        if (!wrapped)
            return std::max<qsizetype>(recvWithin(fd, to, size), -1);
        if (inbound.isEmpty()) {
            QByteArray p;
            if (!recvExactly(fd, p, 8) || !recvExactly(fd, p, ((uchar(p[2]) << 8) | uchar(p[3])) - 8))
                return -1;
            inbound = p.mid(8);
        }
        const qsizetype n = std::min(size, inbound.size());
        std::copy_n(inbound.constData(), n, to);
        inbound.remove(0, n);
        return n;
    };
    auto push = [&](const char *data, qsizetype size) {
        return sendAll(fd, wrapped ? packet(0x12, QByteArray(data, size)) : QByteArray(data, size));
    };
    const auto session = tls::Session::client(QString(),
        road == u"tds8" ? QList<QByteArray> { QByteArrayLiteral("tds/8.0") } : QList<QByteArray> {});
    QVERIFY(session != nullptr);
    session->setTransport(push, pull);
    if (road != u"tds8") {
        QVERIFY(sendAll(fd, prelogin(0x12, road == u"clear" ? 0x02 : 0x01)));
        QByteArray reply;
        QVERIFY(recvExactly(fd, reply, 8)
            && recvExactly(fd, reply, ((uchar(reply[2]) << 8) | uchar(reply[3])) - 8));
        QCOMPARE(test::preloginEncryption(reply), 0x00);
    }
    if (road == u"clear") {
        QVERIFY(sendAll(fd, login));
    } else {
        QVERIFY2(session->handshake(), qPrintable(session->errorText()));
        tls::CertificateInfo info;
        QVERIFY(!session->peerChain().isEmpty() && tls::describe(session->peerChain().constFirst(), info));
        QCOMPARE(info.subject, QStringLiteral("CN=attacker.invalid"));
        wrapped = false; // the records go on the bare socket from here
        if (road == u"tds8") {
            QVERIFY(session->write(prelogin(0x12, 0x00)));
            char reply[256];
            QVERIFY(session->read(reply, sizeof reply) > 0);
        }
        if (road != u"leave")
            QVERIFY(session->write(login));
    }
    ::shutdown(fd, SHUT_WR);
    QVERIFY(relay.waitUntilQuiet());
    const QString log = relay.log().join(u'\n');
    QVERIFY2(relay.recoveredLogin() == (recovered ? login : QByteArray()), qPrintable(log));
    QVERIFY2(relay.handshakeRefused() == refused, qPrintable(log));
    QCOMPARE(test::revealsSecret(relay.recoveredLogin(), QStringLiteral("Geheim-9")), recovered);
    // On the wire the password is in sight only when the client sent it without TLS.
    QCOMPARE(
        test::revealsSecret(relay.clientBytes().constFirst(), QStringLiteral("Geheim-9")), road == u"clear");
}

QTEST_GUILESS_MAIN(TestRoadRelay)
#include "tst_roadrelay.moc"
