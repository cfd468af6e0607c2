#include "wire.h"

#include "tls/session.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace zt::tds {

namespace {

constexpr int HeaderSize = 8;
constexpr std::uint8_t EndOfMessage = 0x01;
// This stand-in serves one workstation: a request is never held beyond this, even where SQL
// Server's bound (65,536 packets) would allow more.
constexpr int MaxMessage = 64 * 1024 * 1024;

} // namespace

void Writer::u16(std::uint16_t v)
{
    u8(v & 0xff);
    u8(v >> 8);
}

void Writer::u16be(std::uint16_t v)
{
    u8(v >> 8);
    u8(v & 0xff);
}

void Writer::u32(std::uint32_t v)
{
    u16(v & 0xffff);
    u16(v >> 16);
}

void Writer::u64(std::uint64_t v)
{
    u32(v & 0xffffffffu);
    u32(v >> 32);
}

void Writer::utf16(const QString &s)
{
    for (const QChar c : s)
        u16(c.unicode());
}

void Writer::bVarchar(const QString &s)
{
    const QString t = s.left(255);
    u8(std::uint8_t(t.size()));
    utf16(t);
}

void Writer::usVarchar(const QString &s)
{
    const QString t = s.left(65535);
    u16(std::uint16_t(t.size()));
    utf16(t);
}

void Writer::patchU16(qsizetype at, std::uint16_t v)
{
    m_data[at] = char(v & 0xff);
    m_data[at + 1] = char(v >> 8);
}

std::uint8_t Reader::u8()
{
    if (m_at >= m_data.size())
        throw Malformed {};
    return std::uint8_t(m_data.at(m_at++));
}

std::uint16_t Reader::u16()
{
    const std::uint16_t lo = u8();
    return std::uint16_t(lo | (u8() << 8));
}

std::uint16_t Reader::u16be()
{
    const std::uint16_t hi = u8();
    return std::uint16_t((hi << 8) | u8());
}

std::uint32_t Reader::u32()
{
    const std::uint32_t lo = u16();
    return lo | (std::uint32_t(u16()) << 16);
}

std::uint64_t Reader::u64()
{
    const std::uint64_t lo = u32();
    return lo | (std::uint64_t(u32()) << 32);
}

QByteArray Reader::bytes(qsizetype n)
{
    if (n < 0 || m_at + n > m_data.size())
        throw Malformed {};
    QByteArray out = m_data.mid(m_at, n);
    m_at += n;
    return out;
}

QString Reader::utf16(qsizetype chars)
{
    const QByteArray raw = bytes(chars * 2);
    QString s(chars, Qt::Uninitialized);
    for (qsizetype i = 0; i < chars; ++i)
        s[i] = QChar(char16_t(std::uint8_t(raw[2 * i]) | (std::uint8_t(raw[2 * i + 1]) << 8)));
    return s;
}

Channel::Channel(int fd, int delayMs, ChannelLimits limits)
    : m_fd(fd)
    , m_socket(fd)
    , m_delayMs(delayMs)
    , m_limits(limits)
{ }

Channel::~Channel() = default;

Transport &Channel::transport()
{
    if (m_tls)
        return *m_tls;
    return m_socket;
}

void Channel::hold() const
{
    if (m_delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
}

qint64 Channel::maxRequest() const
{
    if (m_limits.maxRequestBytes > 0)
        return m_limits.maxRequestBytes;
    // Before login nothing legitimate comes near this; after it, SQL Server's bound.
    return m_loggedIn ? qint64(65536) * m_packetSize : qint64(1) << 20;
}

namespace {

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

bool Channel::readExactly(char *to, qsizetype n, bool first, qint64 deadline)
{
    while (n > 0) {
        int wait = first && m_loggedIn ? m_limits.idleTimeoutMs : m_limits.requestTimeoutMs;
        if (deadline > 0)
            wait = int(std::clamp<qint64>(std::min<qint64>(wait, deadline - steadyMs()), 0, wait));
        const qsizetype got = transport().receive(to, n, wait);
        if (got == Transport::TimedOut) {
            m_end = End::TimedOut;
            return false;
        }
        if (got <= 0) {
            m_end = End::Closed;
            return false;
        }
        to += got;
        n -= got;
        first = false;
    }
    return true;
}

bool Channel::read(Message &message)
{
    message.payload = QByteArray(); // a large request's buffer is not kept for the next one
    qint64 deadline = 0;
    for (;;) {
        unsigned char header[HeaderSize];
        if (!readExactly(reinterpret_cast<char *>(header), HeaderSize, deadline == 0, deadline))
            return false;
        if (deadline == 0)
            deadline = steadyMs() + m_limits.wholeRequestTimeoutMs;
        const int length = (header[2] << 8) | header[3];
        if (length < HeaderSize) {
            m_end = End::Malformed;
            return false;
        }
        const qsizetype at = message.payload.size();
        if (at + length - HeaderSize > std::min<qint64>(maxRequest(), MaxMessage)) {
            m_end = End::TooLarge;
            message.payload = QByteArray();
            return false;
        }
        message.payload.resize(at + length - HeaderSize);
        if (!readExactly(message.payload.data() + at, length - HeaderSize, false, deadline))
            return false;
        ++m_packetsIn;
        if (m_clearAfterPacket && m_tls) {
            // The client has dropped its session without a word: so do we.
            m_tls.reset();
            m_clearAfterPacket = false;
        }
        hold();
        message.type = PacketType(header[0]);
        if (header[1] & EndOfMessage)
            return true;
    }
}

bool Channel::sendPacket(const QByteArray &packet)
{
    return transport().send(packet.constData(), packet.size());
}

bool Channel::write(PacketType type, const QByteArray &payload)
{
    const qsizetype chunk = m_packetSize - HeaderSize;
    qsizetype at = 0;
    std::uint8_t packetId = 1;
    do {
        const qsizetype n = std::min(chunk, payload.size() - at);
        const bool last = at + n >= payload.size();
        const int length = int(n) + HeaderSize;
        QByteArray packet;
        packet.reserve(length);
        packet.append(char(type));
        packet.append(char(last ? EndOfMessage : 0));
        packet.append(char(length >> 8));
        packet.append(char(length & 0xff));
        packet.append(char(0)); // SPID
        packet.append(char(0));
        packet.append(char(packetId++));
        packet.append(char(0));
        packet.append(payload.constData() + at, n);
        hold();
        if (!sendPacket(packet))
            return false;
        ++m_packetsOut;
        at += n;
    } while (at < payload.size());
    return true;
}

int Channel::peekFirstByte()
{
    const int ready = m_tls ? -1 : m_socket.wait(m_limits.requestTimeoutMs);
    m_end = ready == 0 ? End::TimedOut : End::Closed;
    return ready > 0 ? m_socket.peek(0) : -1;
}

bool Channel::startTls(std::unique_ptr<tls::Session> session, bool inPrelogin, QString *why)
{
    if (!inPrelogin) {
        m_tls = std::make_unique<TlsTransport>(m_fd, std::move(session), m_limits.requestTimeoutMs);
        if (m_tls->session().handshake())
            return true;
        if (why)
            *why = m_tls->session().errorText();
        m_end = m_tls->stalled() ? End::TimedOut : End::Closed;
        m_tls.reset();
        return false;
    }

    // Each flight of records is one pre-login message: ours is sent when the session wants the
    // client's answer, or when the handshake is over. The packets go on the socket meanwhile.
    m_tls.reset();
    QByteArray in;
    qsizetype inAt = 0;
    QByteArray out;
    bool broken = false;
    auto flush = [&] {
        if (out.isEmpty())
            return true;
        const bool sent = write(PacketType::Prelogin, out);
        out.clear();
        return sent;
    };
    session->setTransport(
        [&](const char *data, qsizetype size) {
            out.append(data, size);
            return true;
        },
        [&](char *data, qsizetype size) -> qsizetype {
            if (inAt == in.size()) {
                Message message;
                if (!flush() || !read(message) || message.type != PacketType::Prelogin) {
                    broken = true;
                    return Transport::Failed;
                }
                in = message.payload;
                inAt = 0;
            }
            const qsizetype n = std::min(size, in.size() - inAt);
            std::memcpy(data, in.constData() + inAt, size_t(n));
            inAt += n;
            return n;
        });
    if (!session->handshake() || !flush()) {
        if (why)
            *why = broken ? QStringLiteral("the client left the handshake") : session->errorText();
        return false;
    }
    // From here the records go straight on the socket.
    m_tls = std::make_unique<TlsTransport>(m_fd, std::move(session), m_limits.requestTimeoutMs);
    return true;
}

} // namespace zt::tds
