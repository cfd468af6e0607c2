#include "server.h"

#include "text/gbk.h"

#include <QHostAddress>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zt::tds {

namespace {

bool socketAddress(const Endpoint &endpoint, sockaddr_in &address)
{
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(endpoint.port));
    const QString host = endpoint.host.compare(QLatin1StringView("localhost"), Qt::CaseInsensitive) == 0
        ? QStringLiteral("127.0.0.1")
        : endpoint.host;
    return ::inet_pton(AF_INET, host.toLatin1().constData(), &address.sin_addr) == 1;
}

int boundPort(int fd)
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(
        QLatin1StringView(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

bool parseEndpoint(const QString &text, Endpoint &endpoint)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    bool ok = false;
    endpoint.host = text.left(colon);
    endpoint.port = text.mid(colon + 1).toInt(&ok);
    sockaddr_in address;
    return ok && endpoint.port >= 0 && endpoint.port <= 65535 && socketAddress(endpoint, address);
}

bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1StringView("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    return QHostAddress(host).isLoopback();
}

Server::Server(ServerSettings settings)
    : m_settings(std::move(settings))
{ }

Server::~Server()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int Server::listen(const Endpoint &endpoint)
{
    sockaddr_in address;
    if (!socketAddress(endpoint, address)) {
        m_error = QStringLiteral("not an IPv4 address: %1").arg(endpoint.host);
        return -1;
    }
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_fd, 64) != 0) {
        m_error = systemError("cannot listen");
        return -1;
    }
    return boundPort(m_fd);
}

void Server::reapFinished()
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        if (it->finished) {
            it->thread.join();
            it = m_clients.erase(it);
        } else {
            ++it;
        }
    }
}

void Server::serve(int stopFd)
{
    for (;;) {
        pollfd fds[2] = { { m_fd, POLLIN, 0 }, { stopFd, POLLIN, 0 } };
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR)
            break;
        if (fds[1].revents)
            break;
        reapFinished();
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        ++m_traffic.connections;
        std::lock_guard lock(m_mutex);
        if (std::ssize(m_clients) >= m_settings.maxConnections) {
            // Refused at once: the client sees its connection closed instead of waiting.
            ++m_traffic.refusedConnections;
            ::close(fd);
            continue;
        }
        Client &client = m_clients.emplace_back();
        client.fd = fd;
        client.thread = std::thread([this, &client] {
            {
                Connection connection(client.fd, m_settings, m_traffic);
                connection.run();
            }
            // What the connection held goes back to the system, not only to the allocator: after
            // a storm of large or hostile requests the server's size returns to where it was.
            ::malloc_trim(0);
            std::lock_guard lock(m_mutex);
            ::close(client.fd);
            client.fd = -1;
            client.finished = true;
        });
    }
    // Ending: every connection is cut; its thread sees the end of its input and finishes.
    {
        std::lock_guard lock(m_mutex);
        for (Client &client : m_clients) {
            if (client.fd >= 0)
                ::shutdown(client.fd, SHUT_RDWR);
        }
    }
    for (Client &client : m_clients)
        client.thread.join();
    m_clients.clear();
}

Browser::Browser(QString serverName, QString instanceName, int tcpPort)
    : m_serverName(std::move(serverName))
    , m_instanceName(std::move(instanceName))
    , m_tcpPort(tcpPort)
{ }

Browser::~Browser()
{
    if (m_thread.joinable()) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (const int fd : { m_fd, m_wake[0], m_wake[1] }) {
        if (fd >= 0)
            ::close(fd);
    }
}

int Browser::start(const Endpoint &endpoint)
{
    sockaddr_in address;
    if (!socketAddress(endpoint, address)) {
        m_error = QStringLiteral("not an IPv4 address: %1").arg(endpoint.host);
        return -1;
    }
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        m_error = systemError("cannot answer browser requests");
        return -1;
    }
    m_thread = std::thread([this] { loop(); });
    return boundPort(m_fd);
}

QByteArray Browser::answer(
    const QByteArray &request, const QString &serverName, const QString &instanceName, int tcpPort)
{
    if (request.isEmpty())
        return {};
    const auto kind = std::uint8_t(request.at(0));
    if (kind == 0x04) { // CLNT_UCAST_INST: 0x04, the instance name, 0x00
        const QString asked = text::fromGbk(request.mid(1).split('\0').first());
        if (asked.compare(instanceName, Qt::CaseInsensitive) != 0)
            return {};
    } else if (kind != 0x02 && kind != 0x03) { // CLNT_BCAST_EX, CLNT_UCAST_EX
        return {};
    }
    const QByteArray record = text::toGbk(
        QStringLiteral("ServerName;%1;InstanceName;%2;IsClustered;No;Version;15.0.2000.5;tcp;%3;;")
            .arg(serverName, instanceName)
            .arg(tcpPort));
    QByteArray datagram;
    datagram.append(char(0x05));
    datagram.append(char(record.size() & 0xff));
    datagram.append(char(record.size() >> 8));
    datagram.append(record);
    return datagram;
}

void Browser::loop()
{
    for (;;) {
        pollfd fds[2] = { { m_fd, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        char buffer[1024];
        sockaddr_in from {};
        socklen_t length = sizeof from;
        const ssize_t got
            = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
        if (got <= 0)
            continue;
        const QByteArray reply = answer(QByteArray(buffer, got), m_serverName, m_instanceName, m_tcpPort);
        if (!reply.isEmpty())
            ::sendto(m_fd, reply.constData(), size_t(reply.size()), 0, reinterpret_cast<sockaddr *>(&from),
                length);
    }
}

} // namespace zt::tds
