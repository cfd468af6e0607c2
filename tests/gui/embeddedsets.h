#pragma once

// Account sets made on the embedded server behind the windows' back, and looked at, for the window
// tests: a database with one table and its directory row.

#include "accountset/directory.h"
#include "data/connection.h"
#include "data/dataerror.h"
#include "store/localstore.h"

namespace zt::test {

inline const QString Embedded = QStringLiteral("(embedded)");

namespace sets {

inline zt::data::Backend &backendOf(zt::data::Connection &c, const QString &catalog)
{
    c.setConnectionString(zt::data::ConnectionString::catalog(
        zt::data::LoginFragment::fromLogin(zt::data::Credentials::integrated()), catalog, Embedded));
    return c.backend();
}

inline void exec(const QString &catalog, const QString &sql)
{
    zt::data::Connection c;
    backendOf(c, catalog).execute(sql);
}

inline int count(const QString &catalog, const QString &sql)
{
    zt::data::Connection c;
    return int(backendOf(c, catalog).query(sql).rows.size());
}

inline bool databaseExists(const QString &name)
{
    try {
        count(name, QStringLiteral("select 1"));
        return true;
    } catch (const zt::data::DataError &) {
        return false;
    }
}

// An account set on the server: its database with one table, and its directory row.
inline void registerSet(const QString &number, const QString &name, const QString &password)
{
    try {
        exec(
            QStringLiteral("master"), zt::accountset::directoryTableStatement().join(QStringLiteral("\r\n")));
    } catch (const zt::data::DataError &) {
        // the table exists already
    }
    exec(QStringLiteral("master"), QStringLiteral("create database ") + number);
    exec(number,
        QStringLiteral("create table t (a int, b nvarchar(10)); insert into t values (1, N'一'); "
                       "insert into t values (2, N'二')"));
    exec(QStringLiteral("master"),
        QStringLiteral("insert into PBTOVRASQLBASEDATA (ztbh, ztmc, zjmc, kl) values (%1, %2, %3, %4)")
            .arg(zt::store::sqlLiteral(number), zt::store::sqlLiteral(name), zt::store::sqlLiteral(Embedded),
                zt::store::sqlLiteral(password)));
}

inline int directoryRows(const QString &number)
{
    return count(QStringLiteral("master"),
        QStringLiteral("select * from PBTOVRASQLBASEDATA where ztbh = %1")
            .arg(zt::store::sqlLiteral(number)));
}

} // namespace sets

} // namespace zt::test
