#pragma once

#include "accountset/accountsetobjects.h"

#include <QDate>
#include <QMap>
#include <QStringList>

#include <optional>

namespace zt::doctor {

// One row of the local account-set list, as the doctor compares it.
struct LocalRow
{
    QString number; // ztbh
    QString name; // ztmc
    QString password; // kl
    QString server; // zjmc
    QString net; // "是" for a network set
    QDate date; // jlrq
};

// Reads the places the doctor compares, each through the page's own objects: the local list on
// Conn_Ty / ADOTy, the directory on Conn_ztgl / ADOztgl, the server and its databases on
// Conn_Ty1 / ADOTy1, the shipped base data on Conn_Ty2 / ADOTy2. Each failure throws
// data::DataError with the driver's or server's text.
class StoresReader final
{
public:
    StoresReader(accountset::AccountSetObjects &objects, QString server);

    // Every row of ztxxb (all servers).
    QList<LocalRow> localRows();
    // The server with its login (xtljb); read by localRows().
    const data::ServerLogin &login() const { return m_login; }
    // The numbers (ztbh) of the directory rows; empty when the directory table does not exist.
    const QStringList &directoryNumbers();
    // The databases of the server (sys.databases; on the embedded server its files when the
    // catalogue view is not answered).
    QStringList databases();
    // The user tables of a database (sys.tables; the embedded server's own list otherwise).
    QStringList tables(const QString &database);
    int rowCount(const QString &database, const QString &table);
    // Rows of a base-data table as shipped in data/Sample.mdb.
    int shippedRowCount(const QString &table);
    // The tables the creation script makes, in its order, each with its own statement.
    const QStringList &scriptTables();
    QString scriptStatement(const QString &table);

private:
    void useCatalog(const QString &database);
    void readScript();

    accountset::AccountSetObjects &o;
    QString m_server;
    data::ServerLogin m_login;
    std::optional<QStringList> m_directory;
    QMap<QString, int> m_shipped;
    QStringList m_scriptTables;
    QMap<QString, QString> m_scriptStatements; // case-folded table -> statement
    bool m_scriptRead = false;
};

} // namespace zt::doctor
