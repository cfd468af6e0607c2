#pragma once

// The pieces RoadRelay's connection threads share: TDS framing and one socket with bounded waits.
// Private to roadrelay*.cpp.

#include "roadrelay.h"
#include "tls/certificate.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>

namespace zt::test {

struct RoadRelay::Identity
{
    tls::Identity identity;
};

namespace road {

using Clock = std::chrono::steady_clock;

constexpr int SliceMs = 100; // the longest single wait, so an ending relay is noticed
constexpr int MaxConnections = 64;
constexpr int StepMs = 10000; // the longest wait for a client's next message
constexpr int ImpostorWholeMs = 30000; // and for an impostor's whole conversation
constexpr qsizetype MaxMessage = 1 << 20;

// TDS packet types and pre-login values this relay reads or writes.
constexpr std::uint8_t Tds50Login = 0x02;
constexpr std::uint8_t Reply = 0x04;
constexpr std::uint8_t Login7 = 0x10;
constexpr std::uint8_t Prelogin = 0x12;
constexpr std::uint8_t EncryptionToken = 0x01;
constexpr std::uint8_t EncryptOff = 0x00;
constexpr std::uint8_t EncryptNotSupported = 0x02;
constexpr std::uint8_t EndOfMessage = 0x01;
constexpr qsizetype Header = 8;

inline sockaddr_in loopback(int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(std::uint16_t(port));
    return address;
}

inline std::uint16_t be16(const QByteArray &b, qsizetype at)
{
    return std::uint16_t((std::uint8_t(b.at(at)) << 8) | std::uint8_t(b.at(at + 1)));
}

inline QByteArray packet(std::uint8_t type, const QByteArray &payload)
{
    const qsizetype length = payload.size() + Header;
    QByteArray p;
    p.append(char(type)).append(char(EndOfMessage)).append(char(length >> 8)).append(char(length & 0xff));
    p.append("\0\0\x01\0", 4); // server process id 0, packet number 1, window 0
    return p.append(payload);
}

// One socket seen from a connection's thread: every wait ends at the deadline or at the relay's
// end; what is read and written is handed to the recording functions.
class Wire final
{
public:
    Wire(int fd, const std::atomic<bool> &stopping, std::function<void(const QByteArray &)> onRead,
        std::function<void(const QByteArray &)> onWrite)
        : m_fd(fd)
        , m_stopping(stopping)
        , m_onRead(std::move(onRead))
        , m_onWrite(std::move(onWrite))
    { }

    void setDeadline(Clock::time_point deadline) { m_deadline = deadline; }
    void unread(const QByteArray &bytes) { m_back.prepend(bytes); }

    // Up to size bytes, waiting for at least one: 0 at the end of the stream, -1 on an error,
    // the deadline or the relay's end.
    qsizetype read(char *to, qsizetype size)
    {
        if (!m_back.isEmpty()) {
            const qsizetype n = std::min(size, m_back.size());
            std::copy_n(m_back.constData(), n, to);
            m_back.remove(0, n);
            return n;
        }
        if (!wait(POLLIN))
            return -1;
        const ssize_t n = ::recv(m_fd, to, size_t(size), 0);
        if (n > 0)
            m_onRead(QByteArray(to, n));
        return n;
    }

    bool write(const char *data, qsizetype size)
    {
        for (qsizetype sent = 0; sent < size;) {
            if (!wait(POLLOUT))
                return false;
            const ssize_t n = ::send(m_fd, data + sent, size_t(size - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (n > 0) {
                m_onWrite(QByteArray(data + sent, n));
                sent += n;
            }
        }
        return true;
    }
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }

private:
    bool wait(short event)
    {
        while (!m_stopping && Clock::now() < m_deadline) {
            pollfd p { m_fd, event, 0 };
            const int ready = ::poll(&p, 1, SliceMs);
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
        return false;
    }

    int m_fd;
    const std::atomic<bool> &m_stopping;
    std::function<void(const QByteArray &)> m_onRead;
    std::function<void(const QByteArray &)> m_onWrite;
    Clock::time_point m_deadline = Clock::now();
    QByteArray m_back; // bytes read ahead and given back
};

using Source = std::function<qsizetype(char *, qsizetype)>;

inline bool readExactly(const Source &source, QByteArray &into, qsizetype n)
{
    const qsizetype start = into.size();
    into.resize(start + n);
    for (qsizetype got = 0; got < n;) {
        const qsizetype r = source(into.data() + start + got, n - got);
        if (r <= 0) {
            into.resize(start + got);
            return false;
        }
        got += r;
    }
    return true;
}

// Appends one TDS packet, header and all; false (with what was read) when the stream ends or
// breaks first or the header's length is impossible.
inline bool readPacket(const Source &source, QByteArray &into)
{
    const qsizetype at = into.size();
    if (!readExactly(source, into, Header))
        return false;
    const qsizetype length = be16(into, at + 2);
    return length >= Header && at + length <= MaxMessage && readExactly(source, into, length - Header);
}

// One whole TDS message: its packets up to the one marked last, with their headers.
inline bool readMessage(const Source &source, QByteArray &message)
{
    message.clear();
    for (;;) {
        const qsizetype at = message.size();
        if (!readPacket(source, message))
            return false;
        if (std::uint8_t(message.at(at + 1)) & EndOfMessage)
            return true;
    }
}

} // namespace road

} // namespace zt::test
