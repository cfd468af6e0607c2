#pragma once

#include "backend.h"
#include "connectionstring.h"

#include <QList>
#include <QString>

#include <memory>

namespace zt::data {

class Query;

// A database connection in the manner the wizard's pages use one: it takes a connection
// string (an unchanged one does nothing, a different one is refused while open), opens by
// itself when a query on it first runs, and never asks for a login.
class Connection final
{
public:
    explicit Connection(QString name = {});
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    const QString &name() const { return m_name; }

    void setConnectionString(const ConnectionString &connectionString);
    const ConnectionString &connectionString() const { return m_connectionString; }

    bool isOpen() const { return m_backend != nullptr; }
    void open();
    // Closes the session and every query on it.
    void close();

    // The open session (opened now if need be).
    Backend &backend();

private:
    friend class Query;
    void attach(Query *query);
    void detach(Query *query);

    QString m_name;
    ConnectionString m_connectionString;
    std::unique_ptr<Backend> m_backend;
    QList<Query *> m_queries;
};

// Points a named connection at a database for an operation and attaches the query to it: the
// connection is closed (ending its session and every query on it), takes the connection string
// and opens by itself when the query first runs. With KeepSession, a connection already open
// on that very string keeps its session (a series of statements on one server logs in once).
enum class Session { New, KeepSession };
void pointAt(
    Connection &connection, Query &query, const ConnectionString &target, Session session = Session::New);

} // namespace zt::data
