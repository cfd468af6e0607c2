#include "roadprobe.h"

#include "tls/session.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zt::guard {

namespace {

constexpr std::uint8_t PreloginPacket = 0x12;
constexpr std::uint8_t ReplyPacket = 0x04;
constexpr std::uint8_t EndOfMessage = 0x01;
constexpr std::uint8_t EncryptOn = 0x01;
constexpr int HeaderSize = 8;

class Socket final
{
public:
    explicit Socket(int fd = -1)
        : m_fd(fd)
    { }
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    pollfd p { fd, events, 0 };
    int n;
    do {
        n = ::poll(&p, 1, int(std::max<qint64>(0, deadline.remainingTime())));
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

// A connected socket to host:port, or -1 with *why.
int connectTo(const QString &host, int port, const QDeadlineTimer &deadline, QString *why)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int rc
        = ::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &found);
    if (rc != 0) {
        *why = QString::fromLocal8Bit(::gai_strerror(rc));
        return -1;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    for (addrinfo *a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS) {
            int error = 0;
            socklen_t size = sizeof error;
            if (waitFor(fd, POLLOUT, deadline) && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0
                && error == 0) {
                const int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                return fd;
            }
            *why = error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("timed out");
        } else {
            *why = QString::fromLocal8Bit(std::strerror(errno));
        }
        ::close(fd);
    }
    return -1;
}

bool sendAll(int fd, const char *data, qsizetype size, const QDeadlineTimer &deadline)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd, POLLOUT, deadline))
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Up to size bytes, at least one; 0 at the end of the stream, -1 on an error or a timeout.
qsizetype receiveSome(int fd, char *data, qsizetype size, const QDeadlineTimer &deadline)
{
    for (;;) {
        const ssize_t n = ::recv(fd, data, size_t(size), 0);
        if (n >= 0)
            return n;
        if (errno != EAGAIN && errno != EINTR)
            return -1;
        if (!waitFor(fd, POLLIN, deadline))
            return -1;
    }
}

bool receiveExactly(int fd, char *data, qsizetype size, const QDeadlineTimer &deadline)
{
    while (size > 0) {
        const qsizetype n = receiveSome(fd, data, size, deadline);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// A message in packets of at most 4,096 bytes (the size before a login), the last marked as its
// end: a TLS flight goes as one pre-login message, as FreeTDS and SQL Server send it.
bool sendMessage(int fd, std::uint8_t type, const QByteArray &payload, const QDeadlineTimer &deadline)
{
    constexpr qsizetype Room = 4096 - HeaderSize;
    std::uint8_t number = 1;
    for (qsizetype at = 0; at == 0 || at < payload.size(); at += Room, ++number) {
        const QByteArray part = payload.mid(at, Room);
        const int length = HeaderSize + int(part.size());
        const bool last = at + Room >= payload.size();
        QByteArray out;
        out.append(char(type)).append(char(last ? EndOfMessage : 0));
        out.append(char((length >> 8) & 0xff)).append(char(length & 0xff));
        out.append(char(0)).append(char(0)).append(char(number)).append(char(0));
        out += part;
        if (!sendAll(fd, out.constData(), out.size(), deadline))
            return false;
    }
    return true;
}

// One whole packet's payload; false when the stream ends or is not TDS.
bool receivePacket(int fd, std::uint8_t &type, QByteArray &payload, const QDeadlineTimer &deadline)
{
    char header[HeaderSize];
    if (!receiveExactly(fd, header, HeaderSize, deadline))
        return false;
    type = std::uint8_t(header[0]);
    const int length = (std::uint8_t(header[2]) << 8) | std::uint8_t(header[3]);
    if (length < HeaderSize)
        return false;
    payload.resize(length - HeaderSize);
    return receiveExactly(fd, payload.data(), payload.size(), deadline);
}

// The TLS handshake of TDS 7.x: its records travel as the payload of pre-login packets.
RoadProbe handshakeInPrelogin(int fd, const QString &host, const QDeadlineTimer &deadline, RoadProbe probe)
{
    QString why;
    std::unique_ptr<tls::Session> session = tls::Session::client(host, {}, &why);
    if (!session) {
        probe.outcome = RoadProbe::Outcome::HandshakeFailed;
        probe.detail = why;
        return probe;
    }
    auto pending = std::make_shared<QByteArray>();
    auto flight = std::make_shared<QByteArray>();
    const auto flush = [fd, &deadline, flight] {
        const bool sent = flight->isEmpty() || sendMessage(fd, PreloginPacket, *flight, deadline);
        flight->clear();
        return sent;
    };
    session->setTransport(
        [flight](const char *data, qsizetype size) {
            flight->append(data, size);
            return true;
        },
        [fd, &deadline, pending, flush](char *data, qsizetype size) -> qsizetype {
            if (!flush())
                return -1;
            while (pending->isEmpty()) {
                std::uint8_t type = 0;
                QByteArray payload;
                if (!receivePacket(fd, type, payload, deadline))
                    return 0;
                if (type != PreloginPacket && type != ReplyPacket)
                    return -1;
                *pending = payload;
            }
            const qsizetype n = std::min(size, pending->size());
            std::memcpy(data, pending->constData(), size_t(n));
            pending->remove(0, n);
            return n;
        });
    if (!session->handshake()) {
        probe.outcome = RoadProbe::Outcome::HandshakeFailed;
        probe.detail = session->errorText();
        return probe;
    }
    probe.outcome = RoadProbe::Outcome::Encrypted;
    probe.chain = session->peerChain();
    return probe;
}

// TDS 8.0: TLS from the first byte, naming the protocol it carries.
RoadProbe strictLook(const QString &host, int port, const QDeadlineTimer &deadline, RoadProbe probe)
{
    QString why;
    Socket socket(connectTo(host, port, deadline, &why));
    if (socket.fd() < 0)
        return probe;
    std::unique_ptr<tls::Session> session
        = tls::Session::client(host, { QByteArrayLiteral("tds/8.0") }, &why);
    if (!session)
        return probe;
    const int fd = socket.fd();
    session->setTransport(
        [fd, &deadline](const char *data, qsizetype size) { return sendAll(fd, data, size, deadline); },
        [fd, &deadline](char *data, qsizetype size) { return receiveSome(fd, data, size, deadline); });
    if (!session->handshake())
        return probe;
    probe.outcome = RoadProbe::Outcome::Strict;
    probe.chain = session->peerChain();
    return probe;
}

} // namespace

QByteArray preloginRequest(std::uint8_t encryption)
{
    // VERSION, ENCRYPTION, INSTOPT, THREADID, MARS: five entries of five bytes and the terminator.
    struct Option
    {
        std::uint8_t token;
        QByteArray data;
    };
    const Option options[] = {
        { 0x00, QByteArray("\x0f\x00\x07\xd0\x00\x00", 6) }, // a client version, sub-build 0
        { 0x01, QByteArray(1, char(encryption)) }, { 0x02, QByteArray(1, '\0') }, // no instance name
        { 0x03, QByteArray(4, '\0') }, { 0x04, QByteArray(1, '\0') }, // no MARS
    };
    QByteArray table;
    QByteArray data;
    const int start = int(std::size(options)) * 5 + 1;
    for (const Option &o : options) {
        const int offset = start + int(data.size());
        table.append(char(o.token));
        table.append(char(offset >> 8)).append(char(offset & 0xff));
        table.append(char(o.data.size() >> 8)).append(char(o.data.size() & 0xff));
        data += o.data;
    }
    table.append(char(0xff));
    return table + data;
}

std::uint8_t answeredEncryption(const QByteArray &payload)
{
    for (qsizetype at = 0; at + 5 <= payload.size() && std::uint8_t(payload[at]) != 0xff; at += 5) {
        if (payload[at] != 0x01)
            continue;
        const int offset = (std::uint8_t(payload[at + 1]) << 8) | std::uint8_t(payload[at + 2]);
        const int length = (std::uint8_t(payload[at + 3]) << 8) | std::uint8_t(payload[at + 4]);
        if (length >= 1 && offset < payload.size())
            return std::uint8_t(payload[offset]);
        return 0xff;
    }
    return 0xff;
}

RoadProbe probeRoad(const QString &host, int port, int timeoutMs)
{
    // One deadline for the whole look, whatever the server does with each step.
    const QDeadlineTimer deadline(timeoutMs);
    RoadProbe probe;
    Socket socket(connectTo(host, port, deadline, &probe.detail));
    if (socket.fd() < 0)
        return probe;

    std::uint8_t type = 0;
    QByteArray payload;
    if (!sendMessage(socket.fd(), PreloginPacket, preloginRequest(EncryptOn), deadline)
        || !receivePacket(socket.fd(), type, payload, deadline) || type != ReplyPacket) {
        probe.outcome = RoadProbe::Outcome::NoAnswer;
        probe.detail = QStringLiteral("the connection ended before the pre-login answer");
        return strictLook(host, port, deadline, probe);
    }
    probe.encryption = answeredEncryption(payload);
    if (probe.encryption == 0x02) {
        probe.outcome = RoadProbe::Outcome::NotSupported;
        return probe;
    }
    if (probe.encryption > 0x03) {
        probe.outcome = RoadProbe::Outcome::NoAnswer;
        probe.detail = QStringLiteral("the pre-login answer names no encryption");
        return probe;
    }
    return handshakeInPrelogin(socket.fd(), host, deadline, probe);
}

} // namespace zt::guard
