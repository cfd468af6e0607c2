#include "storedservers.h"

#include "localstore.h"

#include <algorithm>

namespace zt::store {

QList<StoredServer> storedServers(data::Query &query)
{
    data::reopen(query, QStringLiteral("select * from xtljb"));
    QList<StoredServer> servers;
    for (query.first(); !query.isEof(); query.next()) {
        const data::LoginFragment fragment = rowFragment(query);
        const data::Credentials &login = fragment.login();
        servers.append({ query.fieldAsText(QStringLiteral("zjmc")), login.kind,
            login.kind == data::Credentials::Kind::Sql ? login.user : QString() });
    }
    return servers;
}

bool sameServerName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

QList<StoredServer> storedServersBeyond(const QList<StoredServer> &stored, const QStringList &listed)
{
    QStringList taken = listed;
    QList<StoredServer> beyond;
    for (const StoredServer &server : stored) {
        if (server.name.trimmed().isEmpty())
            continue;
        const bool repeated = std::any_of(taken.cbegin(), taken.cend(),
            [&](const QString &name) { return sameServerName(name, server.name); });
        if (repeated)
            continue;
        taken.append(server.name);
        beyond.append(server);
    }
    return beyond;
}

std::optional<StoredServer> findStoredServer(const QList<StoredServer> &stored, const QString &name)
{
    for (const StoredServer &server : stored) {
        if (!server.name.trimmed().isEmpty() && sameServerName(server.name, name))
            return server;
    }
    return std::nullopt;
}

} // namespace zt::store
