#include "odbcbackend.h"

#include "dataerror.h"
#include "discovery/ssrp.h"

namespace zt::data::odbc {

namespace {

constexpr int InstanceLookupTimeoutMs = 1000;

} // namespace

ServerAddress parseServerName(const QString &serverName)
{
    QString name = serverName.trimmed();
    if (name.startsWith(QLatin1StringView("tcp:"), Qt::CaseInsensitive))
        name = name.mid(4).trimmed();

    ServerAddress address;
    const qsizetype comma = name.indexOf(u',');
    if (comma >= 0) {
        bool ok = false;
        const int port = name.mid(comma + 1).trimmed().toInt(&ok);
        address.port = ok && port > 0 && port <= 65535 ? port : 0;
        name = name.left(comma).trimmed();
    }
    const qsizetype backslash = name.indexOf(u'\\');
    if (backslash >= 0) {
        // An explicit port wins over the instance name, as with SQL Server's own clients.
        if (comma < 0)
            address.instance = name.mid(backslash + 1).trimmed();
        name = name.left(backslash).trimmed();
    }
    if (name == u'.' || name.compare(QLatin1StringView("(local)"), Qt::CaseInsensitive) == 0)
        name = QStringLiteral("127.0.0.1");
    address.host = name;
    return address;
}

ServerAddress checkedAddress(const QString &serverName)
{
    ServerAddress address = parseServerName(serverName);
    if (address.port == 0) {
        throw DataError(QStringLiteral("[FreeTDS][SQL Server]Unable to connect: the port in server name '%1' "
                                       "is not valid.")
                            .arg(serverName));
    }
    return address;
}

// A named instance's port, asked of the host's SQL Server Browser.
void resolveInstance(ServerAddress &address)
{
    if (address.instance.isEmpty())
        return;
    address.port = discovery::resolveInstancePort(
        address.host, address.instance, InstanceLookupTimeoutMs, discovery::instanceLookupPort());
    if (address.port <= 0) {
        throw DataError(QStringLiteral("[FreeTDS][SQL Server]Unable to connect: SQL Server instance '%1' on "
                                       "host '%2' did not answer.")
                            .arg(address.instance, address.host));
    }
}

} // namespace zt::data::odbc
