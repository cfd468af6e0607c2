#pragma once

// What carries a connection's bytes under the packet framing: the socket itself, or a TLS
// session over it.

#include <QtGlobal>

#include <memory>

namespace zt::tls {
class Session;
}

namespace zt::tds {

class Transport
{
public:
    static constexpr qsizetype Failed = -1;
    static constexpr qsizetype TimedOut = -2;

    virtual ~Transport() = default;
    // Up to n bytes, waiting at most waitMs for the first: the number read, 0 when the peer has
    // closed the connection, Failed or TimedOut.
    virtual qsizetype receive(char *to, qsizetype n, int waitMs) = 0;
    // All of the bytes; false on a broken connection.
    virtual bool send(const char *data, qsizetype n) = 0;
};

class SocketTransport final : public Transport
{
public:
    explicit SocketTransport(int fd)
        : m_fd(fd)
    { }
    qsizetype receive(char *to, qsizetype n, int waitMs) override;
    bool send(const char *data, qsizetype n) override;
    // Waits for bytes to read: 1 when there are, 0 after waitMs, -1 on a broken connection.
    int wait(int waitMs);
    // The next byte without taking it; -1 when none comes within waitMs or the peer has gone.
    int peek(int waitMs);

private:
    int m_fd;
};

// Records straight on the socket. A record that stalls for stallMs in the middle ends the
// connection as a timeout.
class TlsTransport final : public Transport
{
public:
    TlsTransport(int fd, std::unique_ptr<tls::Session> session, int stallMs);
    ~TlsTransport() override;
    qsizetype receive(char *to, qsizetype n, int waitMs) override;
    bool send(const char *data, qsizetype n) override;

    tls::Session &session() { return *m_session; }
    bool stalled() const { return m_stalled; }

private:
    SocketTransport m_socket;
    std::unique_ptr<tls::Session> m_session;
    int m_stallMs;
    bool m_stalled = false;
};

} // namespace zt::tds
