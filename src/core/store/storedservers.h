#pragma once

#include "data/connectionstring.h"
#include "data/query.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zt::store {

// The servers this workstation has stored a login for (the server connection records of xtljb),
// offered again by page 1's server box and by "ztaccountset servers" beside what the search
// finds. Only the name, the kind of login and a SQL login's user id are read: the password stays
// in the table.
struct StoredServer
{
    QString name; // zjmc, as typed when it was stored
    data::Credentials::Kind login = data::Credentials::Kind::None; // None: a record not understood
    QString user; // the SQL login's user id; empty for the integrated login

    friend bool operator==(const StoredServer &, const StoredServer &) = default;
};

// Every server connection record, in the table's order. Throws data::DataError.
QList<StoredServer> storedServers(data::Query &query);

// Whether two server names name one server in a list: compared trimmed and without regard to
// letter case.
bool sameServerName(const QString &a, const QString &b);

// The stored servers a list does not hold already (listed: the embedded instances and what the
// search found), in their order: names blank after trimming are left out, and of names that are
// one (sameServerName) only the first stays.
QList<StoredServer> storedServersBeyond(const QList<StoredServer> &stored, const QStringList &listed);

// The first stored server that is one with the name.
std::optional<StoredServer> findStoredServer(const QList<StoredServer> &stored, const QString &name);

} // namespace zt::store
