#include "reverselookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace zt::discovery {

std::optional<quint32> parseInetAddr(const QString &text)
{
    // A NUL would end the text early for inet_addr and let trailing garbage through.
    if (text.contains(QChar(u'\0')))
        return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    const in_addr_t address = ::inet_addr(bytes.constData());
    if (address == INADDR_NONE)
        return std::nullopt;
    return ntohl(address);
}

std::optional<QString> reverseLookup(const QString &ipText)
{
    const auto address = parseInetAddr(ipText);
    if (!address)
        return std::nullopt;
    sockaddr_in socketAddress {};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = htonl(*address);
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr *>(&socketAddress), sizeof socketAddress, host,
            sizeof host, nullptr, 0, NI_NAMEREQD)
        != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(host);
}

QString localHostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return QString::fromLocal8Bit(name);
}

} // namespace zt::discovery
