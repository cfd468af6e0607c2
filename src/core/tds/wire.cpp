#include "wire.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
        pollfd fd { m_fd, POLLIN, 0 };
        const int ready = ::poll(&fd, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            m_end = End::TimedOut;
            return false;
        }
        const ssize_t got = ::recv(m_fd, to, size_t(n), 0);
        if (got < 0 && errno == EINTR)
            continue;
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
        hold();
        message.type = PacketType(header[0]);
        if (header[1] & EndOfMessage)
            return true;
    }
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
        const char *from = packet.constData();
        qsizetype left = packet.size();
        while (left > 0) {
            const ssize_t sent = ::send(m_fd, from, size_t(left), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            from += sent;
            left -= sent;
        }
        ++m_packetsOut;
        at += n;
    } while (at < payload.size());
    return true;
}

} // namespace zt::tds
