#pragma once

#include "connectionstring.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace zt::data::odbc {

// While one is alive, the SQL Server sessions this thread opens through FreeTDS are kept when
// their connection closes, and the next connection of this thread to the same server name with
// the same login that names a database takes the kept session and switches its database
// (SQL_ATTR_CURRENT_CATALOG: a USE on the server) instead of logging in again, so a sequence of
// steps on several databases pays one login. A switch that fails closes the session and logs in
// anew, so a failure reads as it would without the reuse. One session is kept at most; an open
// that cannot take it closes it first. Ending the outermost scope closes the kept session;
// sessions opened outside a scope, or in an earlier one, close with their connection as before.
class ConnectionReuse final
{
public:
    ConnectionReuse();
    ~ConnectionReuse();
    ConnectionReuse(const ConnectionReuse &) = delete;
    ConnectionReuse &operator=(const ConnectionReuse &) = delete;
};

// The back end's side of the reuse.
namespace reuse {

// A QODBC connection under its own connection name.
struct OpenDatabase
{
    QString name;
    QSqlDatabase db;
};

// Closes the connection and removes its name; no other handle on it may be left.
void closeDatabase(OpenDatabase &open);

// What a SQL Server session opened under a ConnectionReuse may serve again.
struct Ticket
{
    QString server; // the name as given
    Credentials login;
    quint64 scope = 0; // the outermost ConnectionReuse it was opened under
};

// The ticket of a session opened now: none outside a scope.
std::optional<Ticket> ticketFor(const QString &serverName, const Credentials &login);

// The kept session, switched to the catalog, when it can serve the ticket; a kept session that
// cannot is closed.
std::optional<OpenDatabase> takeKept(const Ticket &ticket, const QString &catalog);

// Keeps the session of a closing connection when its scope is still alive (the one kept before
// is closed); false when it is not kept, and then it is the caller's to close.
bool keep(const Ticket &ticket, OpenDatabase &open);

} // namespace reuse

} // namespace zt::data::odbc
