#include "roadrelay.h"

#include "roadrelaywire.h"

#include <netinet/tcp.h>

namespace zt::test {

using namespace road;

namespace {

// Where the ENCRYPTION option's byte lies in a packet starting with a pre-login of the given
// type: an index into the packet, or -1.
qsizetype encryptionAt(const QByteArray &packetBytes, std::uint8_t type)
{
    if (packetBytes.size() < Header || std::uint8_t(packetBytes.at(0)) != type)
        return -1;
    const qsizetype end = std::min<qsizetype>(packetBytes.size(), be16(packetBytes, 2));
    for (qsizetype at = Header; at < end && std::uint8_t(packetBytes.at(at)) != 0xff; at += 5) {
        if (at + 5 > end)
            return -1;
        const qsizetype value = Header + be16(packetBytes, at + 1);
        if (std::uint8_t(packetBytes.at(at)) == EncryptionToken && be16(packetBytes, at + 3) >= 1)
            return value < end ? value : -1;
    }
    return -1;
}

// A connection to 127.0.0.1:port within the step's time; -1 when refused or too slow.
int connectWithin(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in address = loopback(port);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        pollfd p { fd, POLLOUT, 0 };
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || ::poll(&p, 1, StepMs) != 1
            || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

// Makes the next close of the socket a reset (RST) instead of an orderly end (FIN).
void resetOnClose(int fd)
{
    const linger abort { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

} // namespace

RoadRelay::RoadRelay(Mode mode, int upstreamPort)
    : m_mode(mode)
    , m_upstreamPort(upstreamPort)
{
    if (mode == Mode::Impostor) {
        QString why;
        m_identity = std::make_unique<Identity>();
        m_identity->identity = tls::makeSelfSigned(
            QStringLiteral("attacker.invalid"), { QStringLiteral("attacker.invalid") }, 2, &why);
        if (m_identity->identity.isNull())
            note(-1, QStringLiteral("no certificate: %1").arg(why));
    }
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listener, 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

RoadRelay::~RoadRelay()
{
    m_stopping = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    for (std::thread &t : m_connectionThreads)
        t.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

bool RoadRelay::waitUntilQuiet(int timeoutMs) const
{
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_open > 0 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return m_open == 0;
}

QList<QByteArray> RoadRelay::clientBytes() const
{
    const std::lock_guard lock(m_mutex);
    QList<QByteArray> bytes;
    for (const Record &r : m_records)
        bytes.append(r.client);
    return bytes;
}

QList<QByteArray> RoadRelay::serverBytes() const
{
    const std::lock_guard lock(m_mutex);
    QList<QByteArray> bytes;
    for (const Record &r : m_records)
        bytes.append(r.server);
    return bytes;
}

QByteArray RoadRelay::recoveredLogin() const
{
    const std::lock_guard lock(m_mutex);
    return m_recoveredLogin;
}

QStringList RoadRelay::log() const
{
    const std::lock_guard lock(m_mutex);
    return m_log;
}

void RoadRelay::recordClient(int index, const QByteArray &bytes)
{
    const std::lock_guard lock(m_mutex);
    m_records[index].client.append(bytes);
}

void RoadRelay::recordServer(int index, const QByteArray &bytes)
{
    const std::lock_guard lock(m_mutex);
    m_records[index].server.append(bytes);
}

void RoadRelay::note(int index, const QString &what)
{
    const std::lock_guard lock(m_mutex);
    m_log.append(index < 0 ? what : QStringLiteral("%1: %2").arg(index + 1).arg(what));
}

void RoadRelay::acceptLoop()
{
    while (!m_stopping) {
        pollfd p { m_listener, POLLIN, 0 };
        if (::poll(&p, 1, SliceMs) <= 0)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        if (m_accepted >= MaxConnections) {
            ::close(client);
            continue;
        }
        int index = 0;
        {
            const std::lock_guard lock(m_mutex);
            index = int(m_records.size());
            m_records.append(Record());
        }
        ++m_accepted;
        ++m_open;
        m_connectionThreads.emplace_back([this, index, client] {
            serve(index, client);
            ::close(client);
            --m_open;
        });
    }
}

void RoadRelay::serve(int index, int client)
{
    switch (m_mode) {
    case Mode::Observe:
        return observe(index, client, false);
    case Mode::Downgrade:
        return observe(index, client, true);
    case Mode::Impostor:
        return impersonate(index, client);
    case Mode::ResetFirst:
        if (index == 0)
            return resetOnFirstBytes(index, client);
        return observe(index, client, false);
    }
}

void RoadRelay::resetOnFirstBytes(int index, int client)
{
    Wire wire(
        client, m_stopping, [&](const QByteArray &b) { recordClient(index, b); }, [](const QByteArray &) {});
    wire.setDeadline(Clock::now() + std::chrono::milliseconds(StepMs));
    char buffer[4096];
    if (wire.read(buffer, sizeof buffer) <= 0)
        return note(index, QStringLiteral("no bytes to answer with a reset"));
    resetOnClose(client);
    note(index, QStringLiteral("reset"));
}

void RoadRelay::observe(int index, int client, bool downgrade)
{
    const int server = connectWithin(m_upstreamPort);
    if (server < 0)
        return note(index, QStringLiteral("upstream refused the connection"));
    const int on = 1;
    for (const int fd : { client, server })
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

    struct Direction
    {
        int from;
        std::unique_ptr<Wire> to;
        std::uint8_t preloginType;
        bool holdFirst; // the first packet is held whole to be rewritten
        QByteArray held;
        bool open = true;
    };
    auto nothing = [](const QByteArray &) {};
    Direction directions[2] = {
        { client, std::make_unique<Wire>(server, m_stopping, nothing, nothing), Prelogin, downgrade, {} },
        { server, std::make_unique<Wire>(client, m_stopping, nothing, nothing), Reply, downgrade, {} },
    };
    // Hands the held first packet on, its ENCRYPTION option rewritten when it is a pre-login.
    auto release = [&](Direction &d) {
        const qsizetype at = encryptionAt(d.held, d.preloginType);
        if (at >= 0) {
            d.held[at] = char(EncryptNotSupported);
            ++m_rewrites;
        }
        d.holdFirst = false;
        return d.to->write(std::exchange(d.held, {}));
    };

    const int idleMs = m_idleTimeoutMs;
    Clock::time_point lastTraffic = Clock::now();
    bool broken = false;
    while (!m_stopping && !broken && (directions[0].open || directions[1].open)) {
        if (Clock::now() - lastTraffic > std::chrono::milliseconds(idleMs)) {
            note(index, QStringLiteral("idle, closed"));
            break;
        }
        pollfd fds[2];
        for (int i = 0; i < 2; ++i)
            fds[i] = { directions[i].open ? directions[i].from : -1, POLLIN, 0 };
        if (::poll(fds, 2, SliceMs) <= 0)
            continue;
        for (int i = 0; i < 2 && !broken; ++i) {
            Direction &d = directions[i];
            if (!d.open || !fds[i].revents)
                continue;
            char buffer[65536];
            const ssize_t n = ::recv(d.from, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0) {
                // A side's reset reaches the other side as a reset.
                if (errno == ECONNRESET)
                    resetOnClose(i == 0 ? server : client);
                broken = errno != EAGAIN && errno != EINTR;
                continue;
            }
            const Clock::time_point now = Clock::now();
            lastTraffic = now;
            d.to->setDeadline(now + std::chrono::milliseconds(idleMs));
            if (n == 0) {
                d.open = false;
                if (d.holdFirst)
                    broken = !release(d);
                ::shutdown(i == 0 ? server : client, SHUT_WR);
                continue;
            }
            const QByteArray bytes(buffer, n);
            if (i == 0)
                recordClient(index, bytes);
            else
                recordServer(index, bytes);
            if (!d.holdFirst) {
                broken = !d.to->write(bytes);
                continue;
            }
            d.held.append(bytes);
            // Held until the first packet is whole; a stream that is no pre-login goes on as is.
            const bool notPrelogin = std::uint8_t(d.held.at(0)) != d.preloginType;
            if (notPrelogin || (d.held.size() >= Header && d.held.size() >= be16(d.held, 2)))
                broken = !release(d);
        }
    }
    if (broken)
        note(index, QStringLiteral("connection broken"));
    ::close(server);
}

namespace {

bool isTdsPacketType(std::uint8_t type)
{
    // Batch, TDS 5.0 login, RPC, reply, attention, bulk load, federated authentication,
    // transaction manager, TDS 5.0 normal, LOGIN7, SSPI, pre-login.
    static constexpr std::uint8_t Known[]
        = { 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x08, 0x0e, 0x0f, 0x10, 0x11, 0x12 };
    return std::find(std::begin(Known), std::end(Known), type) != std::end(Known);
}

// Walks a stream packet by packet, calling visit(type, start, length) for each TDS packet and
// visit(TlsRecord, start, length) for each TLS record, until it looks like neither.
void walk(const QByteArray &stream, const std::function<void(int, qsizetype, qsizetype)> &visit)
{
    qsizetype at = 0;
    while (at + 5 <= stream.size()) {
        const auto type = std::uint8_t(stream.at(at));
        if (type >= 0x14 && type <= 0x17 && stream.at(at + 1) == 0x03
            && std::uint8_t(stream.at(at + 2)) <= 0x04) {
            const qsizetype length = 5 + be16(stream, at + 3);
            visit(TlsRecord, at, length);
            at += length;
            continue;
        }
        if (!isTdsPacketType(type) || at + Header > stream.size() || std::uint8_t(stream.at(at + 1)) > 0x1f)
            return;
        const qsizetype length = be16(stream, at + 2);
        if (length < Header)
            return;
        visit(type, at, length);
        at += length;
    }
}

// The payloads of the stream's TDS packets joined, so text a packet header splits is whole again.
QByteArray tdsPayloads(const QByteArray &stream)
{
    QByteArray joined;
    walk(stream, [&](int type, qsizetype at, qsizetype length) {
        if (type != TlsRecord)
            joined.append(stream.mid(at + Header, length - Header));
    });
    return joined;
}

QByteArray utf16le(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    return bytes;
}

bool containsAny(const QByteArray &bytes, const QList<QByteArray> &needles)
{
    const QByteArray joined = tdsPayloads(bytes);
    return std::any_of(needles.begin(), needles.end(),
        [&](const QByteArray &n) { return !n.isEmpty() && (bytes.contains(n) || joined.contains(n)); });
}

} // namespace

bool revealsText(const QByteArray &bytes, const QString &text)
{
    return containsAny(bytes, { text.toUtf8(), utf16le(text) });
}

bool revealsSecret(const QByteArray &bytes, const QString &secret)
{
    QByteArray obfuscated = utf16le(secret);
    for (char &c : obfuscated) {
        const auto b = std::uint8_t(c);
        c = char(std::uint8_t((b << 4) | (b >> 4)) ^ 0xa5);
    }
    return containsAny(bytes, { secret.toUtf8(), utf16le(secret), obfuscated });
}

QList<int> packetTypes(const QByteArray &stream)
{
    QList<int> types;
    walk(stream, [&](int type, qsizetype, qsizetype) { types.append(type); });
    return types;
}

bool carriesTds50Login(const QByteArray &clientBytes)
{
    return packetTypes(clientBytes).contains(Tds50Login);
}

bool carriesClearLogin7(const QByteArray &clientBytes)
{
    return packetTypes(clientBytes).contains(Login7);
}

int preloginEncryption(const QByteArray &stream)
{
    qsizetype at = encryptionAt(stream, Prelogin);
    if (at < 0)
        at = encryptionAt(stream, Reply);
    return at < 0 ? -1 : std::uint8_t(stream.at(at));
}

} // namespace zt::test
