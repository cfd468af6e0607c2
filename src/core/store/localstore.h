#pragma once

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/query.h"
#include "data/sqlliteral.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

namespace zt::store {

// The local configuration database (data/MORVEK.mdb through the data source plumbrook): the
// server connection records (xtljb) and the local account-set list (ztxxb). Every operation
// works on the calling page's own connection and query objects.

// "'" + value with each quote doubled + "'": a pasted value cannot end the literal early.
inline QString sqlLiteral(const QString &value)
{
    return data::plainLiteral(value);
}

// The local Access connection string for a file of the data folder.
data::ConnectionString localAccessString(const QString &fileName);

// Closes the connection, gives it the local Access connection string for MORVEK.mdb and attaches
// the query. The connection opens when the query first runs.
void openLocalConfiguration(data::Connection &connection, data::Query &query);

// The right-hand side of a text comparison in a look-up: the literal, compared without regard
// to letter case as Access compares text.
QString textEquals(const QString &value);

// Opens "select * from xtljb where zjmc='<server>' COLLATE NOCASE" on the query; true when a row
// exists. The first row is the current one.
bool findServerRecord(data::Query &query, const QString &serverName);

// The login fragment of the query's current xtljb row: field "1" followed by field "2".
data::LoginFragment rowFragment(const data::Query &query);

// The server with the login of its first server connection record: field "1" followed by field
// "2", empty text when there is none.
data::ServerLogin readServerLogin(data::Query &query, const QString &serverName);

// Writes the server connection record of the name for a login: appends a row when none exists
// (zjmc = the name), else edits the first row's fields "1" and "2" and leaves zjmc alone.
void storeServerRecord(data::Query &query, const QString &serverName, const data::Credentials &login);

// One row of the local account-set list.
struct AccountSetRow
{
    QString number; // ztbh
    QString name; // ztmc
    QDate date; // jlrq
    QString password; // kl
    QString server; // zjmc
    QString databaseType = QStringLiteral("MS SQL"); // sjklx
};

// Begins writing the set's row: the list keeps one row per number and server name. Opens the rows
// findAccountSetRow finds for the row's ztbh and zjmc; a first one found is edited (any further
// one is deleted), otherwise a row is appended. Sets ztbh, ztmc, jlrq, kl, zjmc and sjklx, net
// NULL. The row stays in the editing or appending state: the caller may set net, then posts it.
void beginAccountSetRow(data::Query &query, const AccountSetRow &row);

// Deletes the set's rows of the number under any of the server names (compared as
// findAccountSetRow compares); returns how many went.
int removeAccountSetRows(data::Query &query, const QString &number, const QStringList &serverNames);

// Changes the name (ztmc) and/or the password (kl) of the set's rows of the number under any of
// the server names (compared as removeAccountSetRows compares); a value left empty stays. Returns
// how many rows changed.
int changeAccountSetRows(data::Query &query, const QString &number, const QStringList &serverNames,
    const std::optional<QString> &name, const std::optional<QString> &password);

// Opens "select * from ztxxb where ztbh='<number>' COLLATE NOCASE and zjmc='<server>' COLLATE
// NOCASE"; true when a row exists.
bool findAccountSetRow(data::Query &query, const QString &number, const QString &serverName);

} // namespace zt::store
