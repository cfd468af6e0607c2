// Encryption on the TDS road as ztwizard-tds speaks it: the pre-login answer to each client's
// offer under each server setting, the TLS handshake carried in pre-login packets (or from the
// first byte for TDS 8.0), and what travels in clear afterwards; then the certificate checks
// the wizard relies on.
#include "tds/wire.h"
#include "tdsprocess.h"
#include "testinstallation.h"
#include "tls/certificate.h"
#include "tls/session.h"

#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace zt;

namespace {

constexpr int NoOffer = -1; // the client opens with TLS (TDS 8.0)
constexpr int NoPrelogin = -2; // the client sends its login straight away, in clear
constexpr int Unstated = -3; // a pre-login without the ENCRYPTION option

// A TDS client on a raw socket: packets in clear or through a TLS session it drives itself.
class RawClient final
{
public:
    bool connect(int port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        return m_socket.waitForConnected(5000);
    }

    // Bytes from the socket, at least one; 0 when it has closed.
    qsizetype receive(char *to, qsizetype n)
    {
        while (m_socket.bytesAvailable() == 0) {
            if (m_socket.state() != QAbstractSocket::ConnectedState || !m_socket.waitForReadyRead(5000))
                return 0;
        }
        const qsizetype got = m_socket.read(to, n);
        m_wire.append(to, got);
        return got;
    }

    bool sendRaw(const char *data, qsizetype n)
    {
        m_socket.write(data, n);
        return m_socket.waitForBytesWritten(5000) || m_socket.bytesToWrite() == 0;
    }

    static QByteArray packet(tds::PacketType type, const QByteArray &payload)
    {
        const int length = int(payload.size()) + 8;
        QByteArray p;
        p.append(char(type)).append(char(1)).append(char(length >> 8)).append(char(length & 0xff));
        return p.append(QByteArray(4, '\0')).append(payload);
    }

    bool send(tds::PacketType type, const QByteArray &payload)
    {
        const QByteArray p = packet(type, payload);
        return m_tls ? m_tls->write(p) : sendRaw(p.constData(), p.size());
    }

    bool readExactly(char *to, qsizetype n, bool plain)
    {
        while (n > 0) {
            const qsizetype got = m_tls && !plain ? m_tls->read(to, n) : receive(to, n);
            if (got <= 0)
                return false;
            to += got;
            n -= got;
        }
        return true;
    }

    // One whole message's payload; empty when the connection has ended.
    QByteArray read(bool plain = false)
    {
        QByteArray payload;
        for (;;) {
            char header[8];
            if (!readExactly(header, 8, plain))
                return {};
            const int length = (std::uint8_t(header[2]) << 8) | std::uint8_t(header[3]);
            const qsizetype at = payload.size();
            payload.resize(at + length - 8);
            if (length < 8 || !readExactly(payload.data() + at, length - 8, plain))
                return {};
            if (header[1] & 0x01)
                return payload;
        }
    }

    // The TDS 7.x handshake: our records leave in pre-login packets, the server's come in them.
    bool handshakeInPrelogin()
    {
        auto session = tls::Session::client(QString());
        QByteArray out;
        QByteArray in;
        auto flush = [&] {
            const QByteArray p = packet(tds::PacketType::Prelogin, out);
            out.clear();
            return sendRaw(p.constData(), p.size());
        };
        session->setTransport(
            [&](const char *data, qsizetype size) {
                out.append(data, size);
                return true;
            },
            [&](char *data, qsizetype size) -> qsizetype {
                if (in.isEmpty() && ((!out.isEmpty() && !flush()) || (in = read(true)).isEmpty()))
                    return -1;
                const qsizetype n = std::min(size, in.size());
                std::memcpy(data, in.constData(), size_t(n));
                in.remove(0, n);
                return n;
            });
        if (!session->handshake() || (!out.isEmpty() && !flush()))
            return false;
        adopt(std::move(session));
        return true;
    }

    // TDS 8.0: TLS from the first byte.
    bool handshakeFirst()
    {
        auto session = tls::Session::client(QString(), { QByteArrayLiteral("tds/8.0") });
        adopt(std::move(session));
        return m_tls->handshake();
    }

    void dropTls() { m_tls.reset(); }
    tls::Session *session() const { return m_tls.get(); }
    // Every byte the socket gave since the last call.
    QByteArray takeWire() { return std::exchange(m_wire, {}); }
    bool closedByServer()
    {
        return m_socket.state() != QAbstractSocket::ConnectedState || !m_socket.waitForReadyRead(5000);
    }

private:
    void adopt(std::unique_ptr<tls::Session> session)
    {
        m_tls = std::move(session);
        m_tls->setTransport([this](const char *data, qsizetype n) { return sendRaw(data, n); },
            [this](char *data, qsizetype n) { return receive(data, n); });
    }

    QTcpSocket m_socket;
    std::unique_ptr<tls::Session> m_tls;
    QByteArray m_wire;
};

// VERSION and, unless offer is negative, ENCRYPTION.
QByteArray prelogin(int offer)
{
    if (offer < 0)
        return QByteArray("\x00\x00\x06\x00\x06\xff\x0f\x00\x07\xd0\x00\x00", 12);
    QByteArray p("\x00\x00\x0b\x00\x06\x01\x00\x11\x00\x01\xff\x0f\x00\x07\xd0\x00\x00", 17);
    return p.append(char(offer));
}

int encryptionAnswer(const QByteArray &reply)
{
    tds::Reader r(reply);
    for (std::uint8_t token = r.u8(); token != 0xff; token = r.u8()) {
        const int offset = r.u16be();
        r.u16be();
        if (token == 0x01)
            return std::uint8_t(reply.at(offset));
    }
    return -1;
}

QByteArray login7()
{
    tds::Writer user;
    user.utf16(QStringLiteral("sa"));
    tds::Writer w;
    for (const std::uint32_t v : { 0u, 0x74000004u, 4096u, 0u, 0u, 0u })
        w.u32(v);
    w.u32(0); // option flags 1-3, type flags
    w.u32(0);
    w.u32(0);
    for (int i = 0; i < 9; ++i) {
        w.u16(94);
        w.u16(std::uint16_t(i == 1 ? 2 : 0));
    }
    w.bytes(QByteArray(6 + 4 * 4, '\0'));
    w.bytes(user.data());
    QByteArray message = w.take();
    message[0] = char(message.size());
    return message;
}

QByteArray batch(const QString &sql)
{
    tds::Writer w;
    for (const std::uint32_t v : { 22u, 18u })
        w.u32(v);
    w.u16(2);
    w.u64(0);
    w.u32(1);
    w.utf16(sql);
    return w.take();
}

bool isTdsReply(const QByteArray &wire)
{
    return wire.size() >= 8 && wire.at(0) == char(tds::PacketType::Reply);
}

} // namespace

class TestTdsEncryption : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(test::testCertificates().ok); }
    void negotiation_data();
    void negotiation();
    void certificates_data();
    void certificates();
    void describeAndFingerprint();

private:
    test::TestInstallation m_installation;
};

enum class Expect { Clear, LoginOnly, Encrypted, Ended };

void TestTdsEncryption::negotiation_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("offer");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expect");
    auto row = [](const char *name, const char *mode, int offer, int answer, Expect expect) {
        QTest::newRow(name) << QString::fromLatin1(mode) << offer << answer << int(expect);
    };
    row("off, client off", "off", 0, 2, Expect::Clear);
    row("off, client on", "off", 1, 2, Expect::Clear);
    row("offered, client off: login only", "offered", 0, 0, Expect::LoginOnly);
    row("offered, client on", "offered", 1, 1, Expect::Encrypted);
    row("offered, client required", "offered", 3, 1, Expect::Encrypted);
    row("offered, client cannot", "offered", 2, 2, Expect::Clear);
    row("offered, no encryption option", "offered", Unstated, 2, Expect::Clear);
    row("offered, TDS 8.0", "offered", NoOffer, 2, Expect::Encrypted);
    row("forced, client off", "forced", 0, 3, Expect::Encrypted);
    row("forced, client on", "forced", 1, 1, Expect::Encrypted);
    row("forced, client cannot", "forced", 2, 3, Expect::Ended);
    row("forced, login without pre-login", "forced", NoPrelogin, -1, Expect::Ended);
    row("strict, plain pre-login", "strict", 1, -1, Expect::Ended);
    row("strict, TDS 8.0", "strict", NoOffer, 2, Expect::Encrypted);
}

void TestTdsEncryption::negotiation()
{
    QFETCH(QString, mode);
    QFETCH(int, offer);
    QFETCH(int, answer);
    QFETCH(int, expect);
    test::TdsProcess server(m_installation.dir(), { QStringLiteral("--encryption"), mode });
    QVERIFY(server.port() > 0);
    QCOMPARE(server.fingerprint().isEmpty(), mode == QLatin1StringView("off"));
    RawClient client;
    QVERIFY(client.connect(server.port()));

    if (offer == NoOffer) {
        QVERIFY2(client.handshakeFirst(), qPrintable(client.session()->errorText()));
        QCOMPARE(client.session()->negotiatedAlpn(), QByteArrayLiteral("tds/8.0"));
        QCOMPARE(client.session()->protocolName(), QStringLiteral("TLS1.3"));
        client.takeWire();
        QVERIFY(client.send(tds::PacketType::Prelogin, prelogin(1)));
        QCOMPARE(encryptionAnswer(client.read()), answer);
    } else if (offer != NoPrelogin) {
        QVERIFY(client.send(tds::PacketType::Prelogin, prelogin(offer == Unstated ? -1 : offer)));
        const QByteArray reply = client.read();
        if (answer < 0) {
            QVERIFY(reply.isEmpty());
            QVERIFY(client.closedByServer());
            return;
        }
        QCOMPARE(encryptionAnswer(reply), answer);
        if (expect == int(Expect::Encrypted) || expect == int(Expect::LoginOnly)) {
            QVERIFY(client.handshakeInPrelogin());
            // TDS 7.x stays with TLS 1.2, as SQL Server does; the chain is the tests' own.
            QCOMPARE(client.session()->protocolName(), QStringLiteral("TLS1.2"));
            const tls::Verdict verdict = tls::verifyChain(client.session()->peerChain(),
                test::testCertificates().authorityFile, QStringLiteral("127.0.0.1"));
            QVERIFY2(verdict.ok(), qPrintable(verdict.why));
            client.takeWire();
        }
    }

    QVERIFY(client.send(tds::PacketType::Login7, login7()));
    if (expect == int(Expect::LoginOnly))
        client.dropTls(); // the login went encrypted; its answer and all else come in clear
    const QByteArray ack = client.read();
    if (expect == int(Expect::Ended)) {
        QVERIFY(ack.isEmpty());
        QVERIFY(client.closedByServer());
        return;
    }
    QVERIFY(ack.contains(char(0xad))); // LOGINACK
    QVERIFY(client.send(tds::PacketType::SqlBatch, batch(QStringLiteral("select 'hidden words'"))));
    const QByteArray rows = client.read();
    tds::Writer text;
    text.utf16(QStringLiteral("hidden words"));
    QVERIFY(rows.contains(text.data()));
    // What came over the socket after the handshake: TDS packets in clear, or TLS records only.
    const QByteArray wire = client.takeWire();
    QCOMPARE(isTdsReply(wire), expect != int(Expect::Encrypted));
    QCOMPARE(wire.contains(text.data()), expect != int(Expect::Encrypted));
    if (expect == int(Expect::Encrypted))
        QCOMPARE(wire.at(0), char(0x17)); // application data
}

void TestTdsEncryption::certificates_data()
{
    QTest::addColumn<QString>("presented"); // which certificate the server shows
    QTest::addColumn<QString>("bundle"); // which file is trusted
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<bool>("named");
    QTest::newRow("issued, IP name") << "issued"
                                     << "authority"
                                     << "127.0.0.1" << true << true;
    QTest::newRow("issued, DNS name") << "issued"
                                      << "authority"
                                      << "LOCALHOST" << true << true;
    QTest::newRow("issued, wrong name") << "issued"
                                        << "authority"
                                        << "db.example" << true << false;
    QTest::newRow("issued, another IP") << "issued"
                                        << "authority"
                                        << "127.0.0.2" << true << false;
    QTest::newRow("issued, unknown authority") << "issued"
                                               << "other"
                                               << "127.0.0.1" << false << true;
    QTest::newRow("self-signed pinned") << "self"
                                        << "self"
                                        << "127.0.0.1" << true << true;
    QTest::newRow("self-signed unknown") << "self"
                                         << "authority"
                                         << "127.0.0.1" << false << true;
    QTest::newRow("other self-signed pinned") << "self"
                                              << "self2"
                                              << "127.0.0.1" << false << true;
}

void TestTdsEncryption::certificates()
{
    QFETCH(QString, presented);
    QFETCH(QString, bundle);
    QFETCH(QString, host);
    QFETCH(bool, trusted);
    QFETCH(bool, named);
    const test::TestCertificates &c = test::testCertificates();
    static QTemporaryDir dir;
    static const QString self = dir.filePath(QStringLiteral("self.pem"));
    static const QString self2 = dir.filePath(QStringLiteral("self2.pem"));
    static const bool made = [] {
        const auto one = tls::makeSelfSigned(
            QStringLiteral("SSL_Self_Signed_Fallback"), { QStringLiteral("127.0.0.1") }, 1);
        const auto two = tls::makeSelfSigned(
            QStringLiteral("SSL_Self_Signed_Fallback"), { QStringLiteral("127.0.0.1") }, 1);
        return test::writeFile(self, one.certificatePem) && test::writeFile(self2, two.certificatePem);
    }();
    QVERIFY(made);
    QFile file(presented == QLatin1StringView("self") ? self : c.certificateFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> chain = tls::derFromPem(file.readAll());
    QCOMPARE(chain.size(), 1);
    const QString caFile = bundle == QLatin1StringView("authority") ? c.authorityFile
        : bundle == QLatin1StringView("other")                      ? c.otherAuthorityFile
        : bundle == QLatin1StringView("self")                       ? self
                                                                    : self2;
    const tls::Verdict verdict = tls::verifyChain(chain, caFile, host);
    QCOMPARE(verdict.chainTrusted, trusted);
    QCOMPARE(verdict.nameMatches, named);
    QCOMPARE(verdict.why.isEmpty(), trusted && named);
}

void TestTdsEncryption::describeAndFingerprint()
{
    // The certificate a server makes for itself when it has none, as a user is shown it.
    test::TdsProcess server(m_installation.dir(),
        { QStringLiteral("--self-signed"), QStringLiteral("--encryption"), QStringLiteral("forced") });
    QVERIFY(server.port() > 0);
    RawClient client;
    QVERIFY(client.connect(server.port()));
    QVERIFY(client.send(tds::PacketType::Prelogin, prelogin(1)));
    QCOMPARE(encryptionAnswer(client.read()), 1);
    QVERIFY(client.handshakeInPrelogin());
    const QList<QByteArray> chain = client.session()->peerChain();
    QCOMPARE(chain.size(), 1);
    tls::CertificateInfo info;
    QVERIFY(tls::describe(chain.first(), info));
    QCOMPARE(info.subject, QStringLiteral("CN=SSL_Self_Signed_Fallback"));
    QCOMPARE(info.issuer, info.subject);
    QVERIFY(info.selfSigned);
    QCOMPARE(info.names, QStringList { QStringLiteral("127.0.0.1") });
    QCOMPARE(info.sha256, server.fingerprint());
    QCOMPARE(info.sha256.size(), 32 * 3 - 1);
    QVERIFY(
        info.notBefore < QDateTime::currentDateTimeUtc() && QDateTime::currentDateTimeUtc() < info.notAfter);
    QCOMPARE(tls::derFromPem(tls::pemFromDer(chain.first())), chain);

    // One issued by an authority is not its own signer; garbage is not a certificate.
    QFile issued(test::testCertificates().certificateFile);
    QVERIFY(issued.open(QIODevice::ReadOnly));
    QVERIFY(tls::describe(tls::derFromPem(issued.readAll()).value(0), info));
    QVERIFY(!info.selfSigned);
    QCOMPARE(info.issuer, QStringLiteral("CN=ztwizard test authority"));
    QString why;
    QVERIFY(!tls::describe(QByteArrayLiteral("not a certificate"), info, &why));
    QVERIFY(!why.isEmpty());
}

QTEST_GUILESS_MAIN(TestTdsEncryption)
#include "tst_tdsencryption.moc"
