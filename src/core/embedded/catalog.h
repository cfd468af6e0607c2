#pragma once

#include "data/backend.h"
#include "instance.h"
#include "serverfunctions.h"
#include "sqlitefile.h"

#include <optional>

namespace zt::embedded {

// What SQL Server's catalogue tells of a column type declared as written ("nvarchar(50)").
struct TypeFacts
{
    QString name; // "nvarchar"
    int systemTypeId = 0; // sys.types.system_type_id
    int odbcType = 0; // the ODBC SQL type sp_columns reports
    int maxLength = 0; // bytes; -1 for max types
    int precision = 0;
    int scale = 0;
    int characters = -1; // the length in characters of a text type, -1 for max, 0 for other types
    bool text = false;
};
TypeFacts typeFacts(const QString &declared);

// A database of the instance with the number sys.databases gives it (master 1, the others from
// 5 in the order of their names) and its file.
struct DatabaseEntry
{
    QString name;
    int id = 0;
    QString path;
};
QList<DatabaseEntry> databases(const Instance &instance);

// The default collation of a database of the instance, by its SQL Server name.
QString databaseCollationName(const Instance &instance, const QString &database);

// Fills the session's temporary tables behind sys.databases, sys.tables, sys.objects,
// sys.columns, sys.schemas, INFORMATION_SCHEMA.TABLES and INFORMATION_SCHEMA.COLUMNS (named
// CatalogPrefix + schema + "_" + view) with what they show now.
void prepareCatalog(SqliteFile &file, const Instance &instance, const QString &database);
// Fills the session's temporary table behind sys.master_files: every database's data and log
// file (Instance::databaseFiles), read from each database, so only for statements that name it.
void prepareMasterFiles(SqliteFile &file, const Instance &instance);

// Fills the session's temporary tables behind msdb.dbo.backupset and msdb.dbo.backupmediafamily
// (CatalogPrefix + "msdb_" + table) with the instance's backup history: one set per backup, on
// one disk, its physical_device_name the full path the server wrote.
void prepareBackupHistory(SqliteFile &file, const Instance &instance);

// The result set of a procedure the server offers: sp_databases, sp_helpdb, sp_tables,
// sp_columns, sp_who, sp_datatype_info(_100), sp_server_info. Empty when it offers none of
// that name (SQL Server's 2812).
std::optional<data::ResultSet> procedureResult(
    SqliteFile &file, const ServerFunctionContext &context, const QString &name, const QList<QVariant> &args);

// The rows of a statement on the file, values as SQLite holds them.
QList<QList<QVariant>> sqliteRows(SqliteFile &file, const QString &sql, const QVariantList &params = {});

} // namespace zt::embedded
