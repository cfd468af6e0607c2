#pragma once

// Small helpers several tests share.

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/dataerror.h"
#include "data/query.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <memory>

namespace zt::test {

// Opens a query with the statement on the connection (named "check"); its rows are read at once.
inline std::unique_ptr<data::Query> openQuery(data::Connection &conn, const QString &sql)
{
    auto q = std::make_unique<data::Query>(QStringLiteral("check"));
    q->setConnection(&conn);
    q->addSql(sql);
    q->open();
    return q;
}

// The message of the DataError a call throws, or "no error".
template<typename F> QString failureOf(F &&f)
{
    try {
        f();
    } catch (const data::DataError &e) {
        return e.message();
    }
    return QStringLiteral("no error");
}

// Runs a statement on a database of the embedded server "(embedded)" as the operating-system user.
inline void embeddedExec(const QString &catalog, const QString &sql)
{
    data::Connection c;
    c.setConnectionString(data::ConnectionString::catalog(
        data::LoginFragment::fromLogin(data::Login::integrated()), catalog, QStringLiteral("(embedded)")));
    c.backend().execute(sql);
}

// The names /etc/hosts gives an address, in file order.
inline QStringList namesFromHosts(const QByteArray &address)
{
    QStringList names;
    QFile hosts(QStringLiteral("/etc/hosts"));
    if (!hosts.open(QIODevice::ReadOnly))
        return names;
    while (!hosts.atEnd()) {
        const QList<QByteArray> fields = hosts.readLine().split('#').first().simplified().split(' ');
        if (fields.size() > 1 && fields.first() == address) {
            for (qsizetype i = 1; i < fields.size(); ++i)
                names.append(QString::fromLatin1(fields.at(i)));
        }
    }
    return names;
}

} // namespace zt::test
