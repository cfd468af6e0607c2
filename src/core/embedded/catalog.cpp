#include "catalog.h"

#include "data/dataerror.h"
#include "passthrough.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

struct TypeRow
{
    const char *name;
    int systemTypeId;
    int odbcType;
    int maxLength; // 0: from the size written
    int precision;
    int scale;
};

constexpr TypeRow Types[] = {
    { "bit", 104, -7, 1, 1, 0 },
    { "tinyint", 48, -6, 1, 3, 0 },
    { "smallint", 52, 5, 2, 5, 0 },
    { "int", 56, 4, 4, 10, 0 },
    { "integer", 56, 4, 4, 10, 0 },
    { "bigint", 127, -5, 8, 19, 0 },
    { "decimal", 106, 3, 0, 18, 0 },
    { "numeric", 108, 2, 0, 18, 0 },
    { "money", 60, 3, 8, 19, 4 },
    { "smallmoney", 122, 3, 4, 10, 4 },
    { "float", 62, 6, 8, 53, 0 },
    { "real", 59, 7, 4, 24, 0 },
    { "datetime", 61, 11, 8, 23, 3 },
    { "smalldatetime", 58, 11, 4, 16, 0 },
    { "date", 40, 9, 3, 10, 0 },
    { "datetime2", 42, 11, 8, 27, 7 },
    { "char", 175, 1, 0, 0, 0 },
    { "varchar", 167, 12, 0, 0, 0 },
    { "nchar", 239, -8, 0, 0, 0 },
    { "nvarchar", 231, -9, 0, 0, 0 },
    { "text", 35, -1, 16, 0, 0 },
    { "ntext", 99, -10, 16, 0, 0 },
    { "binary", 173, -2, 0, 0, 0 },
    { "varbinary", 165, -3, 0, 0, 0 },
    { "image", 34, -4, 16, 0, 0 },
    { "uniqueidentifier", 36, -11, 16, 0, 0 },
};

QString dateText(const QDateTime &when)
{
    return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) : QString();
}

struct TableEntry
{
    qint64 objectId;
    QString name;
    bool view;
};

// The tables and views of the database that are the user's (not SQLite's nor the server's own).
QList<TableEntry> userTables(SqliteFile &file)
{
    QList<TableEntry> tables;
    const auto rows = sqliteRows(file,
        QStringLiteral("SELECT rowid, name, type FROM main.sqlite_master WHERE type IN ('table', 'view') "
                       "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND name NOT IN ('zt_identity', "
                       "'zt_logins', 'zt_properties', 'zt_backup_history') "
                       "ORDER BY name"));
    for (const auto &row : rows)
        tables.append(
            { row[0].toLongLong(), row[1].toString(), row[2].toString() == QLatin1StringView("view") });
    return tables;
}

bool identityColumn(SqliteFile &file, const QString &table, const QString &column)
{
    return sqliteRows(file,
               QStringLiteral(
                   "SELECT 1 FROM main.sqlite_master WHERE type = 'trigger' AND name = ? COLLATE NOCASE "
                   "AND sql LIKE ?"),
               { QStringLiteral("zt_identity_%1_number").arg(table),
                   QStringLiteral("%NEW.\"") + column + QStringLiteral("\" IS NULL%") })
               .size()
        > 0;
}

struct ColumnEntry
{
    QString name;
    int ordinal;
    TypeFacts type;
    bool nullable;
    QVariant defaultValue;
    bool identity;
};

QList<ColumnEntry> columnsOf(SqliteFile &file, const QString &table)
{
    QList<ColumnEntry> columns;
    const auto rows = sqliteRows(file,
        QStringLiteral("SELECT cid, name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?)"),
        { table });
    for (const auto &row : rows) {
        // A key or identity column holds no NULL on SQL Server, whatever SQLite allows it.
        const bool identity = identityColumn(file, table, row[1].toString());
        columns.append({ row[1].toString(), row[0].toInt() + 1, typeFacts(row[2].toString()),
            row[3].toInt() == 0 && row[5].toInt() == 0 && !identity, row[4], identity });
    }
    return columns;
}

void fill(SqliteFile &file, const QString &table, const QString &columns, const QList<QVariantList> &rows)
{
    file.exec(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS %1%2 (%3)")
                  .arg(QLatin1StringView(CatalogPrefix), table, columns));
    file.exec(QStringLiteral("DELETE FROM temp.%1%2").arg(QLatin1StringView(CatalogPrefix), table));
    if (rows.isEmpty())
        return;
    const QString marks = QStringList(rows.first().size(), QStringLiteral("?")).join(u',');
    const QString insert = QStringLiteral("INSERT INTO temp.%1%2 VALUES (%3)")
                               .arg(QLatin1StringView(CatalogPrefix), table, marks);
    for (const QVariantList &row : rows)
        sqliteRows(file, insert, row);
}

QVariant orNull(bool has, const QVariant &value)
{
    return has ? value : QVariant();
}

} // namespace

TypeFacts typeFacts(const QString &declared)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*([a-z0-9 ]+?)\\s*(?:\\(\\s*(-?\\d+|max)\\s*(?:,\\s*(\\d+)\\s*)?\\))?\\s*$"));
    TypeFacts facts;
    const QRegularExpressionMatch m = form.match(declared.toLower());
    facts.name = m.hasMatch() ? m.captured(1) : declared.toLower();
    const QString size = m.captured(2);
    const int n = size.isEmpty() ? 1 : (size == QLatin1StringView("max") ? -1 : size.toInt());
    for (const TypeRow &row : Types) {
        if (facts.name != QLatin1StringView(row.name))
            continue;
        facts.systemTypeId = row.systemTypeId;
        facts.odbcType = row.odbcType;
        facts.maxLength = row.maxLength;
        facts.precision = row.precision;
        facts.scale = row.scale;
        break;
    }
    if (facts.systemTypeId == 0) { // a type the server does not know keeps the text's facts
        facts.name = QStringLiteral("nvarchar");
        facts.systemTypeId = 231;
        facts.odbcType = -9;
    }
    if (facts.name == QLatin1StringView("decimal") || facts.name == QLatin1StringView("numeric")) {
        facts.precision = size.isEmpty() ? 18 : std::clamp(n, 1, 38);
        facts.scale = std::min(m.captured(3).toInt(), facts.precision);
        facts.maxLength = facts.precision <= 9 ? 5
            : facts.precision <= 19            ? 9
            : facts.precision <= 28            ? 13
                                               : 17;
    }
    const bool wide = facts.name == QLatin1StringView("nchar") || facts.name == QLatin1StringView("nvarchar");
    facts.text = wide || facts.name == QLatin1StringView("char") || facts.name == QLatin1StringView("varchar")
        || facts.name == QLatin1StringView("text") || facts.name == QLatin1StringView("ntext");
    if (facts.maxLength == 0) {
        facts.characters = n;
        facts.maxLength = n < 0 ? -1 : (wide ? 2 * n : n);
    }
    if (facts.name == QLatin1StringView("text") || facts.name == QLatin1StringView("ntext"))
        facts.characters = facts.name == QLatin1StringView("text") ? 2147483647 : 1073741823;
    if (!facts.text)
        facts.characters = 0;
    return facts;
}

QList<DatabaseEntry> databases(const Instance &instance)
{
    QList<DatabaseEntry> list;
    const QDir folder(instance.folder());
    QStringList files
        = folder.entryList({ QStringLiteral("*.db") }, QDir::Files, QDir::Name | QDir::IgnoreCase);
    int next = 5;
    for (const QString &file : std::as_const(files)) {
        const QString name = file.chopped(3);
        const bool master = name.compare(QLatin1StringView("master"), Qt::CaseInsensitive) == 0;
        list.append({ name, master ? 1 : next++, folder.filePath(file) });
    }
    std::stable_sort(
        list.begin(), list.end(), [](const DatabaseEntry &a, const DatabaseEntry &b) { return a.id < b.id; });
    return list;
}

QString databaseCollationName(const Instance &instance, const QString &database)
{
    std::optional<text::Collation> collation;
    try {
        collation = instance.databaseCollation(database);
    } catch (const data::DataError &) {
        // a database that cannot be opened now shows the server's collation
    }
    return collation ? collation->name : instance.collation().name;
}

void prepareCatalog(SqliteFile &file, const Instance &instance, const QString &database)
{
    const QString collation = databaseCollationName(instance, database);
    QList<QVariantList> rows;
    for (const DatabaseEntry &db : databases(instance)) {
        const QFileInfo info(db.path);
        const QDateTime created = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
        rows.append({ db.name, db.id, dateText(created), 150, databaseCollationName(instance, db.name), 0,
            QStringLiteral("MULTI_USER"), 0, QStringLiteral("ONLINE"), 3, QStringLiteral("SIMPLE") });
    }
    fill(file, QStringLiteral("sys_databases"),
        QStringLiteral(
            "name nvarchar(128), database_id int, create_date datetime, compatibility_level tinyint, "
            "collation_name nvarchar(128), user_access tinyint, user_access_desc nvarchar(60), "
            "state tinyint, state_desc nvarchar(60), recovery_model tinyint, recovery_model_desc "
            "nvarchar(60)"),
        rows);
    fill(file, QStringLiteral("sys_schemas"),
        QStringLiteral("name nvarchar(128), schema_id int, principal_id int"),
        { { QStringLiteral("dbo"), 1, 1 }, { QStringLiteral("guest"), 2, 2 },
            { QStringLiteral("INFORMATION_SCHEMA"), 3, 3 }, { QStringLiteral("sys"), 4, 4 } });

    QList<QVariantList> tables, objects, infoTables, columns, infoColumns;
    for (const TableEntry &t : userTables(file)) {
        const QString type = t.view ? QStringLiteral("V ") : QStringLiteral("U ");
        const QString desc = t.view ? QStringLiteral("VIEW") : QStringLiteral("USER_TABLE");
        if (!t.view)
            tables.append({ t.name, t.objectId, 1, type, desc, QVariant(), QVariant() });
        objects.append({ t.name, t.objectId, 1, 0, type, desc, QVariant(), QVariant() });
        infoTables.append({ database, QStringLiteral("dbo"), t.name,
            t.view ? QStringLiteral("VIEW") : QStringLiteral("BASE TABLE") });
        for (const ColumnEntry &c : columnsOf(file, t.name)) {
            const TypeFacts &f = c.type;
            const QVariant textCollation = orNull(f.text, collation);
            columns.append({ t.objectId, c.name, c.ordinal, f.systemTypeId, f.systemTypeId, f.maxLength,
                f.precision, f.scale, textCollation, c.nullable, c.identity });
            const bool numeric = !f.text && f.precision > 0 && f.systemTypeId != 61 && f.systemTypeId != 58
                && f.systemTypeId != 40 && f.systemTypeId != 42;
            infoColumns.append({ database, QStringLiteral("dbo"), t.name, c.name, c.ordinal, c.defaultValue,
                c.nullable ? QStringLiteral("YES") : QStringLiteral("NO"), f.name,
                orNull(f.text, f.characters), orNull(f.text, f.maxLength), orNull(numeric, f.precision),
                orNull(numeric, f.scale), textCollation });
        }
    }
    fill(file, QStringLiteral("sys_tables"),
        QStringLiteral(
            "name nvarchar(128), object_id int, schema_id int, type char(2), type_desc nvarchar(60), "
            "create_date datetime, modify_date datetime"),
        tables);
    fill(file, QStringLiteral("sys_objects"),
        QStringLiteral(
            "name nvarchar(128), object_id int, schema_id int, parent_object_id int, type char(2), "
            "type_desc nvarchar(60), create_date datetime, modify_date datetime"),
        objects);
    fill(file, QStringLiteral("sys_columns"),
        QStringLiteral(
            "object_id int, name nvarchar(128), column_id int, system_type_id tinyint, user_type_id int, "
            "max_length smallint, precision tinyint, scale tinyint, collation_name nvarchar(128), "
            "is_nullable bit, is_identity bit"),
        columns);
    fill(file, QStringLiteral("information_schema_tables"),
        QStringLiteral("TABLE_CATALOG nvarchar(128), TABLE_SCHEMA nvarchar(128), TABLE_NAME nvarchar(128), "
                       "TABLE_TYPE varchar(10)"),
        infoTables);
    fill(file, QStringLiteral("information_schema_columns"),
        QStringLiteral("TABLE_CATALOG nvarchar(128), TABLE_SCHEMA nvarchar(128), TABLE_NAME nvarchar(128), "
                       "COLUMN_NAME nvarchar(128), ORDINAL_POSITION int, COLUMN_DEFAULT nvarchar(4000), "
                       "IS_NULLABLE varchar(3), DATA_TYPE nvarchar(128), CHARACTER_MAXIMUM_LENGTH int, "
                       "CHARACTER_OCTET_LENGTH int, NUMERIC_PRECISION tinyint, NUMERIC_SCALE int, "
                       "COLLATION_NAME nvarchar(128)"),
        infoColumns);
}

void prepareMasterFiles(SqliteFile &file, const Instance &instance)
{
    QList<QVariantList> files;
    for (const DatabaseEntry &db : databases(instance)) {
        int fileId = 0;
        for (const DatabaseFile &f : instance.databaseFiles(db.name)) {
            files.append(
                { db.id, ++fileId, f.log ? 1 : 0, f.log ? QStringLiteral("LOG") : QStringLiteral("ROWS"),
                    f.log ? 0 : 1, f.logical, f.physical, 0, QStringLiteral("ONLINE") });
        }
    }
    fill(file, QStringLiteral("sys_master_files"),
        QStringLiteral(
            "database_id int, file_id int, type tinyint, type_desc nvarchar(60), data_space_id int, "
            "name nvarchar(128), physical_name nvarchar(260), state tinyint, state_desc nvarchar(60)"),
        files);
}

void prepareBackupHistory(SqliteFile &file, const Instance &instance)
{
    QList<QVariantList> sets, families;
    for (const QVariantList &h : instance.backupHistory()) {
        // backup_set_id, database_name, physical_device_name, position, start, finish, size
        sets.append({ h[0], h[0], h[3], h[4], h[5], QStringLiteral("D"), h[1], h[6] });
        families.append({ h[0], 1, QVariant(), h[2], 2 });
    }
    fill(file, QStringLiteral("msdb_backupset"),
        QStringLiteral("backup_set_id int, media_set_id int, position int, backup_start_date datetime, "
                       "backup_finish_date datetime, type char(1), database_name nvarchar(128), "
                       "backup_size numeric(20, 0)"),
        sets);
    fill(file, QStringLiteral("msdb_backupmediafamily"),
        QStringLiteral("media_set_id int, family_sequence_number tinyint, logical_device_name nvarchar(128), "
                       "physical_device_name nvarchar(260), device_type tinyint"),
        families);
}

QList<QList<QVariant>> sqliteRows(SqliteFile &file, const QString &sql, const QVariantList &params)
{
    sqlite3 *db = file.handle();
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &raw, nullptr) != SQLITE_OK)
        throw SqliteFile::Failure { QString::fromUtf8(sqlite3_errmsg(db)) };
    const SqliteStatement statement(raw);
    for (int i = 0; i < params.size(); ++i)
        bindValue(raw, i + 1, params[i]);
    QList<QList<QVariant>> rows;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        QList<QVariant> row;
        for (int i = 0; i < sqlite3_column_count(raw); ++i) {
            switch (sqlite3_column_type(raw, i)) {
            case SQLITE_NULL:
                row.append(QVariant());
                break;
            case SQLITE_INTEGER:
                row.append(QVariant::fromValue<qlonglong>(sqlite3_column_int64(raw, i)));
                break;
            case SQLITE_FLOAT:
                row.append(sqlite3_column_double(raw, i));
                break;
            case SQLITE_BLOB:
                row.append(QByteArray(
                    static_cast<const char *>(sqlite3_column_blob(raw, i)), sqlite3_column_bytes(raw, i)));
                break;
            default:
                row.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, i)),
                    sqlite3_column_bytes(raw, i)));
            }
        }
        rows.append(row);
    }
    if (rc != SQLITE_DONE)
        throw SqliteFile::Failure { QString::fromUtf8(sqlite3_errmsg(db)) };
    return rows;
}

} // namespace zt::embedded
