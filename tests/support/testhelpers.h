#pragma once

// Small helpers several tests share.

#include "accountset/creation.h"
#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/dataerror.h"
#include "data/query.h"
#include "store/localstore.h"

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

// What failureOf says of a call that throws nothing.
inline const QString NoError = QStringLiteral("no error");

// The message of the DataError a call throws, or NoError.
template<typename F> QString failureOf(F &&f)
{
    try {
        f();
    } catch (const data::DataError &e) {
        return e.message();
    }
    return NoError;
}

// The result of an operation a test expects to succeed. A failure is thrown as the DataError the
// operation reported, so that the test ends there with the server's text and failureOf tells it.
template<typename Result> Result done(Result result)
{
    if (!result.succeeded())
        throw data::DataError(result.error, result.errorNumbers);
    return result;
}

// Runs a statement on a database of the embedded server "(embedded)" as the operating-system user.
inline void embeddedExec(const QString &catalog, const QString &sql)
{
    data::Connection c;
    c.setConnectionString(
        data::ConnectionString::catalog(data::LoginFragment::fromLogin(data::Credentials::integrated()),
            catalog, QStringLiteral("(embedded)")));
    c.backend().execute(sql);
}

// Writes the server connection record of the login into the local configuration, as page 1 does
// after its probe.
inline void storeServerLogin(const QString &server, const data::Credentials &login)
{
    data::Connection c;
    data::Query q(QStringLiteral("ADOQuery2"));
    store::openLocalConfiguration(c, q);
    store::storeServerRecord(q, server, login);
}

// Compares every base-data table of the target database with Sample.mdb's, row for row (in ID
// order there, xh order on the target), value for value; rows counts the source rows. The first
// difference, or empty text when there is none.
inline QString baseDataDifference(data::Connection &target, int *rows = nullptr)
{
    data::Connection sample;
    sample.setConnectionString(store::localAccessString(QStringLiteral("Sample.mdb")));
    int total = 0;
    for (const QString &table : accountset::baseDataTables()) {
        auto source = openQuery(sample, QStringLiteral("select * from %1 order by ID").arg(table));
        auto copied = openQuery(target, QStringLiteral("select * from %1 order by xh").arg(table));
        if (copied->recordCount() != source->recordCount()) {
            return QStringLiteral("%1: %2 rows, %3 in the source")
                .arg(table)
                .arg(copied->recordCount())
                .arg(source->recordCount());
        }
        total += source->recordCount();
        for (int row = 0; row < source->recordCount(); ++row) {
            for (int column = 1; column < source->fieldCount(); ++column) {
                const QString name = source->fieldName(column);
                const QString expected = source->fieldAsText(name);
                const QString actual = copied->fieldAsText(name);
                // Numbers may come back in another notation, flags as True / False.
                const bool sameFlag
                    = (expected == u"1" && actual == u"True") || (expected == u"0" && actual == u"False");
                if (expected != actual && expected.toDouble() != actual.toDouble() && !sameFlag)
                    return QStringLiteral("%1.%2 row %3: %4 != %5")
                        .arg(table, name)
                        .arg(row)
                        .arg(expected, actual);
            }
            source->next();
            copied->next();
        }
    }
    if (rows)
        *rows = total;
    return {};
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
