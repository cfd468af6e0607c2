#include "localstore.h"

#include "install/installation.h"

namespace zt::store {

data::ConnectionString localAccessString(const QString &fileName)
{
    return data::ConnectionString::localAccess(install::directory(), fileName);
}

void openLocalConfiguration(data::Connection &connection, data::Query &query)
{
    data::pointAt(connection, query, localAccessString(QStringLiteral("MORVEK.mdb")));
}

QString textEquals(const QString &value)
{
    // The local files stand for Access files, whose text comparisons ignore letter case. Said in
    // the statement, so that files whose columns were declared without it compare alike.
    return sqlLiteral(value) + QStringLiteral(" COLLATE NOCASE");
}

bool findServerRecord(data::Query &query, const QString &serverName)
{
    data::reopen(query, QStringLiteral("select * from xtljb where zjmc=") + textEquals(serverName));
    return query.recordCount() != 0;
}

data::LoginFragment rowFragment(const data::Query &query)
{
    return data::LoginFragment::fromText(
        query.fieldAsText(QStringLiteral("1")) + query.fieldAsText(QStringLiteral("2")));
}

data::ServerLogin readServerLogin(data::Query &query, const QString &serverName)
{
    findServerRecord(query, serverName);
    return { serverName, rowFragment(query) };
}

void storeServerRecord(data::Query &query, const QString &serverName, const data::Credentials &login)
{
    if (!findServerRecord(query, serverName)) {
        query.append();
        query.setFieldText(QStringLiteral("1"), data::LoginFragment::firstHalf(login));
        query.setFieldText(QStringLiteral("2"), data::LoginFragment::secondHalf(login));
        query.setFieldText(QStringLiteral("zjmc"), serverName);
    } else {
        // The name as first stored stays.
        query.edit();
        query.setFieldText(QStringLiteral("1"), data::LoginFragment::firstHalf(login));
        query.setFieldText(QStringLiteral("2"), data::LoginFragment::secondHalf(login));
    }
    query.post();
}

void beginAccountSetRow(data::Query &query, const AccountSetRow &row)
{
    // Registering a set again (created anew after a deletion, taken over, restored) rewrites its
    // row: a second row would list the set twice.
    if (findAccountSetRow(query, row.number, row.server)) {
        while (query.rowCount() > 1) {
            query.setCurrentRow(query.rowCount() - 1);
            query.deleteCurrent();
        }
        query.setCurrentRow(0);
        query.edit();
        query.clearField(QStringLiteral("net")); // as in an appended row, until the caller sets it
    } else {
        query.append();
    }
    query.setFieldText(QStringLiteral("ztbh"), row.number);
    query.setFieldText(QStringLiteral("ztmc"), row.name);
    query.setFieldDate(QStringLiteral("jlrq"), row.date);
    query.setFieldText(QStringLiteral("kl"), row.password);
    query.setFieldText(QStringLiteral("zjmc"), row.server);
    query.setFieldText(QStringLiteral("sjklx"), row.databaseType);
}

namespace {

// " where ztbh=<number> and (zjmc=<a> or zjmc=<b> ...)": the set's rows under the server names.
QString setRowsCondition(const QString &number, const QStringList &serverNames)
{
    QStringList servers;
    for (const QString &name : serverNames)
        servers << QStringLiteral("zjmc=") + textEquals(name);
    return QStringLiteral(" where ztbh=") + textEquals(number) + QStringLiteral(" and (")
        + servers.join(QStringLiteral(" or ")) + u')';
}

} // namespace

int removeAccountSetRows(data::Query &query, const QString &number, const QStringList &serverNames)
{
    if (serverNames.isEmpty())
        return 0;
    return data::reexecute(
        query, QStringLiteral("delete from ztxxb") + setRowsCondition(number, serverNames));
}

int changeAccountSetRows(data::Query &query, const QString &number, const QStringList &serverNames,
    const std::optional<QString> &name, const std::optional<QString> &password)
{
    QStringList assignments;
    if (name)
        assignments << QStringLiteral("ztmc=") + sqlLiteral(*name);
    if (password)
        assignments << QStringLiteral("kl=") + sqlLiteral(*password);
    if (serverNames.isEmpty() || assignments.isEmpty())
        return 0;
    return data::reexecute(query,
        QStringLiteral("update ztxxb set ") + assignments.join(QStringLiteral(", "))
            + setRowsCondition(number, serverNames));
}

bool findAccountSetRow(data::Query &query, const QString &number, const QString &serverName)
{
    data::reopen(query,
        QStringLiteral("select * from ztxxb where ztbh=") + textEquals(number) + QStringLiteral(" and zjmc=")
            + textEquals(serverName));
    return query.recordCount() != 0;
}

} // namespace zt::store
