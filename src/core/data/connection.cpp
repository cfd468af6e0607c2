#include "connection.h"

#include "backends.h"
#include "dataerror.h"
#include "query.h"

namespace zt::data {

Connection::Connection(QString name)
    : m_name(std::move(name))
{ }

Connection::~Connection()
{
    close();
    for (Query *query : std::as_const(m_queries))
        query->m_connection = nullptr;
}

void Connection::setConnectionString(const ConnectionString &connectionString)
{
    if (connectionString == m_connectionString)
        return;
    if (isOpen())
        throw DataError(QStringLiteral("Operation is not allowed when the object is open."));
    m_connectionString = connectionString;
}

void Connection::open()
{
    if (isOpen())
        return;
    if (m_connectionString.isEmpty())
        throw DataError(m_name + QStringLiteral(": Missing Connection or ConnectionString"));
    m_backend = openBackend(m_connectionString);
}

void Connection::close()
{
    if (!m_backend)
        return;
    for (Query *query : std::as_const(m_queries))
        query->close();
    m_backend.reset();
}

Backend &Connection::backend()
{
    open();
    return *m_backend;
}

void Connection::attach(Query *query)
{
    if (!m_queries.contains(query))
        m_queries.append(query);
}

void Connection::detach(Query *query)
{
    m_queries.removeAll(query);
}

void pointAt(Connection &connection, Query &query, const ConnectionString &target, Session session)
{
    if (session == Session::New || !connection.isOpen() || !(connection.connectionString() == target))
        connection.close();
    connection.setConnectionString(target);
    query.setConnection(&connection);
}

} // namespace zt::data
