#include "transport.h"

#include "tls/session.h"

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>

namespace zt::tds {

namespace {

// Waits for the socket to become readable: 1 ready, 0 timed out, -1 failed.
int waitReadable(int fd, int waitMs)
{
    for (;;) {
        pollfd p { fd, POLLIN, 0 };
        const int ready = ::poll(&p, 1, waitMs);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready < 0 ? -1 : ready;
    }
}

} // namespace

qsizetype SocketTransport::receive(char *to, qsizetype n, int waitMs)
{
    const int ready = waitReadable(m_fd, waitMs);
    if (ready <= 0)
        return ready == 0 ? TimedOut : Failed;
    for (;;) {
        const ssize_t got = ::recv(m_fd, to, size_t(n), 0);
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 ? Failed : qsizetype(got);
    }
}

bool SocketTransport::send(const char *data, qsizetype n)
{
    while (n > 0) {
        const ssize_t sent = ::send(m_fd, data, size_t(n), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        n -= sent;
    }
    return true;
}

int SocketTransport::wait(int waitMs)
{
    return waitReadable(m_fd, waitMs);
}

int SocketTransport::peek(int waitMs)
{
    if (waitReadable(m_fd, waitMs) <= 0)
        return -1;
    unsigned char byte = 0;
    ssize_t got;
    do {
        got = ::recv(m_fd, &byte, 1, MSG_PEEK);
    } while (got < 0 && errno == EINTR);
    return got == 1 ? byte : -1;
}

TlsTransport::TlsTransport(int fd, std::unique_ptr<tls::Session> session, int stallMs)
    : m_socket(fd)
    , m_session(std::move(session))
    , m_stallMs(stallMs)
{
    m_session->setTransport([this](const char *data, qsizetype size) { return m_socket.send(data, size); },
        [this](char *data, qsizetype size) -> qsizetype {
            const qsizetype got = m_socket.receive(data, size, m_stallMs);
            m_stalled = got == TimedOut;
            return got == TimedOut ? Failed : got;
        });
}

TlsTransport::~TlsTransport() = default;

qsizetype TlsTransport::receive(char *to, qsizetype n, int waitMs)
{
    // Bytes already decrypted are not waited for on the socket.
    if (m_session->pending() == 0) {
        const int ready = m_socket.wait(waitMs);
        if (ready <= 0)
            return ready == 0 ? TimedOut : Failed;
    }
    const qsizetype got = m_session->read(to, n);
    if (got < 0)
        return m_stalled ? TimedOut : Failed;
    return got;
}

bool TlsTransport::send(const char *data, qsizetype n)
{
    return m_session->write(data, n);
}

} // namespace zt::tds
