#include "sessionreuse.h"

#include "odbchandles.h"

#include <QSqlDriver>
#include <QVariant>

#include <atomic>

#include <sql.h>
#include <sqlext.h>

namespace zt::data::odbc {

namespace {

struct KeptSession
{
    reuse::Ticket ticket;
    reuse::OpenDatabase open;
};

// The reuse of one thread: QODBC connections are used on the thread that opened them.
struct ReusePool
{
    int depth = 0;
    quint64 scope = 0;
    std::optional<KeptSession> kept;

    void closeKept()
    {
        if (kept)
            reuse::closeDatabase(kept->open);
        kept.reset();
    }
};

ReusePool &pool()
{
    thread_local ReusePool pool;
    return pool;
}

std::atomic<quint64> s_nextScope { 1 };

// Makes the catalog the session's database: FreeTDS sends "USE [catalog]" and waits for it.
bool switchCatalog(const QSqlDatabase &db, const QString &catalog)
{
    const SQLHANDLE connection = connectionHandle(db);
    if (!connection)
        return false;
    // Ended by a NUL: drivers differ in whether a wide string's length counts bytes or characters.
    QList<SQLWCHAR> text;
    for (const QChar c : catalog)
        text.append(SQLWCHAR(c.unicode()));
    text.append(0);
    return SQL_SUCCEEDED(SQLSetConnectAttrW(connection, SQL_ATTR_CURRENT_CATALOG, text.data(), SQL_NTS));
}

} // namespace

ConnectionReuse::ConnectionReuse()
{
    ReusePool &p = pool();
    if (p.depth++ == 0)
        p.scope = s_nextScope.fetch_add(1);
}

ConnectionReuse::~ConnectionReuse()
{
    ReusePool &p = pool();
    if (--p.depth == 0)
        p.closeKept();
}

namespace reuse {

void closeDatabase(OpenDatabase &open)
{
    open.db.close();
    open.db = QSqlDatabase();
    QSqlDatabase::removeDatabase(open.name);
}

std::optional<Ticket> ticketFor(const QString &serverName, const Credentials &login)
{
    const ReusePool &p = pool();
    if (p.depth == 0)
        return std::nullopt;
    return Ticket { serverName, login, p.scope };
}

std::optional<OpenDatabase> takeKept(const Ticket &ticket, const QString &catalog)
{
    ReusePool &p = pool();
    if (!p.kept)
        return std::nullopt;
    KeptSession kept = std::move(*p.kept);
    p.kept.reset();
    // Without a catalog the session would have to be on the login's default database, which a
    // switched session may have left.
    if (kept.ticket.server == ticket.server && kept.ticket.login == ticket.login && !catalog.isEmpty()
        && switchCatalog(kept.open.db, catalog))
        return std::move(kept.open);
    closeDatabase(kept.open);
    return std::nullopt;
}

bool keep(const Ticket &ticket, OpenDatabase &open)
{
    ReusePool &p = pool();
    if (p.depth == 0 || p.scope != ticket.scope || !open.db.isOpen())
        return false;
    p.closeKept();
    p.kept = KeptSession { ticket, std::move(open) };
    open = OpenDatabase();
    return true;
}

} // namespace reuse

} // namespace zt::data::odbc
