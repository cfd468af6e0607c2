#pragma once

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/query.h"

#include <QString>

namespace zt::accountset {

// The connection and query objects the account-set page owns, under their page names. They are
// created with the page and reused by every operation: each use closes an object, sets new text
// or a new connection string, and opens or executes again.
struct AccountSetObjects
{
    data::Connection Conn_Ty { QStringLiteral("Conn_Ty") }; // local configuration database
    data::Query ADOTy { QStringLiteral("ADOTy") };
    data::Connection Conn_Ty1 { QStringLiteral("Conn_Ty1") }; // the SQL Server
    data::Query ADOTy1 { QStringLiteral("ADOTy1") };
    data::Connection Conn_Ty2 { QStringLiteral("Conn_Ty2") }; // base-data source
    data::Query ADOTy2 { QStringLiteral("ADOTy2") };
    data::Query ADOzd { QStringLiteral("ADOzd") };
    data::Connection Conn_ztgl { QStringLiteral("Conn_ztgl") }; // network account-set directory
    data::Query ADOztgl { QStringLiteral("ADOztgl") };
};

// What the page's fields hold for an operation.
struct AccountSetFields
{
    QString server; // Edit1
    QString database; // Edit5: the database name, which is the account-set number
    QString name; // Edit2
    QString password; // Edit6
};

// The creation mode chosen by the page's three radio buttons.
enum class CreationMode {
    Network, // CheckBox1 "网络账套"
    RentedBuild, // CheckBox2 "创建租用的远程ＳＱＬ数据库"
    RentedRegister, // CheckBox3 "引入租用的远程ＳＱＬ数据库"
};

// Trimming as the registration rows use it: leading and trailing characters of code 32 or less.
QString trimmed(const QString &text);

} // namespace zt::accountset
