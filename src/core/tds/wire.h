#pragma once

#include "transport.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace zt::tds {

// Packet types of the tabular data stream.
enum class PacketType : std::uint8_t {
    SqlBatch = 0x01,
    Rpc = 0x03,
    Reply = 0x04,
    Attention = 0x06,
    Login7 = 0x10,
    Sspi = 0x11,
    Prelogin = 0x12,
};

// Appends little-endian values and strings to a message under construction.
class Writer final
{
public:
    void u8(std::uint8_t v) { m_data.append(char(v)); }
    void u16(std::uint16_t v);
    void u16be(std::uint16_t v);
    void u32(std::uint32_t v);
    void u64(std::uint64_t v);
    void bytes(const QByteArray &b) { m_data.append(b); }
    // UTF-16LE text, without a length.
    void utf16(const QString &s);
    // Text with a one-byte character count (B_VARCHAR) or a two-byte one (US_VARCHAR).
    void bVarchar(const QString &s);
    void usVarchar(const QString &s);
    // Overwrites a two-byte value at a position written earlier.
    void patchU16(qsizetype at, std::uint16_t v);

    qsizetype size() const { return m_data.size(); }
    const QByteArray &data() const { return m_data; }
    QByteArray take() { return std::exchange(m_data, {}); }

private:
    QByteArray m_data;
};

// Reads little-endian values from a received message; reading past the end throws Malformed.
class Reader final
{
public:
    struct Malformed
    {
    };

    explicit Reader(const QByteArray &data, qsizetype at = 0)
        : m_data(data)
        , m_at(at)
    { }

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint16_t u16be();
    std::uint32_t u32();
    std::uint64_t u64();
    QByteArray bytes(qsizetype n);
    QString utf16(qsizetype chars);
    QString bVarchar() { return utf16(u8()); }
    QString usVarchar() { return utf16(u16()); }
    void skip(qsizetype n) { bytes(n); }

    qsizetype at() const { return m_at; }
    bool atEnd() const { return m_at >= m_data.size(); }

private:
    const QByteArray &m_data;
    qsizetype m_at;
};

// A whole request: the payload of its packets joined.
struct Message
{
    PacketType type = PacketType::SqlBatch;
    QByteArray payload;
};

// What one client may make the server wait for and hold.
struct ChannelLimits
{
    // A request larger than this many bytes ends the connection (0: 65,536 packets of the
    // negotiated size, SQL Server's bound).
    qint64 maxRequestBytes = 0;
    // Waiting for the next request (after login) ends after this long; before login the
    // request timeout applies.
    int idleTimeoutMs = 8 * 60 * 60 * 1000;
    // Within a request: the longest wait for the next bytes, and for the whole request.
    int requestTimeoutMs = 30 * 1000;
    int wholeRequestTimeoutMs = 5 * 60 * 1000;
};

// Blocking packet input and output on one connected socket, each packet held for delayMs. The
// packets travel on the socket itself or, once startTls has run, inside a TLS session.
class Channel final
{
public:
    Channel(int fd, int delayMs, ChannelLimits limits = {});
    ~Channel();

    // Why the last read ended without a request.
    enum class End { Closed, Malformed, TooLarge, TimedOut };

    // The next request; false when the peer has closed the connection, sent garbage, sent more
    // than the limit or kept the server waiting too long (see ended()).
    bool read(Message &message);
    End ended() const { return m_end; }
    // After login the idle timeout applies between requests.
    void setLoggedIn() { m_loggedIn = true; }
    // Sends a reply split into packets of at most packetSize bytes; false on a broken connection.
    bool write(PacketType type, const QByteArray &payload);

    void setPacketSize(int size) { m_packetSize = size; }
    int packetsIn() const { return m_packetsIn; }
    int packetsOut() const { return m_packetsOut; }

    // The first byte the client sends, left for read(); -1 when none comes within the request
    // timeout.
    int peekFirstByte();
    // The TLS handshake as server: the client's records arrive in pre-login packets and ours
    // leave in them (TDS 7.x, inPrelogin), or both go straight on the socket (TDS 8.0). From then
    // on every packet travels inside the session. False when the handshake fails.
    bool startTls(std::unique_ptr<tls::Session> session, bool inPrelogin, QString *why = nullptr);
    // Login-only encryption: the next packet comes through TLS, everything after it in clear.
    void clearAfterNextPacket() { m_clearAfterPacket = true; }
    bool encrypted() const { return m_tls != nullptr; }

private:
    // first: the first bytes of a request (idle wait); deadline: the whole request's (ms since
    // the epoch of a steady clock, 0 for none).
    bool readExactly(char *to, qsizetype n, bool first, qint64 deadline);
    bool sendPacket(const QByteArray &packet);
    Transport &transport();
    void hold() const;
    qint64 maxRequest() const;

    int m_fd;
    SocketTransport m_socket;
    std::unique_ptr<TlsTransport> m_tls;
    int m_delayMs;
    ChannelLimits m_limits;
    End m_end = End::Closed;
    bool m_loggedIn = false;
    bool m_clearAfterPacket = false;
    int m_packetSize = 4096;
    int m_packetsIn = 0;
    int m_packetsOut = 0;
};

} // namespace zt::tds
