#include "catalog.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace zt::embedded {

namespace {

using Row = QList<QVariant>;

// A result set with typed columns, given as "name type" pairs.
data::ResultSet resultSet(std::initializer_list<std::pair<const char *, const char *>> columns)
{
    data::ResultSet set;
    for (const auto &[name, type] : columns) {
        const QString declared = QString::fromLatin1(type);
        set.columns.append({ QString::fromLatin1(name), declared.section(u'(', 0, 0), declared });
    }
    return set;
}

QString argument(const QList<QVariant> &args, qsizetype i)
{
    return i < args.size() && !args[i].isNull() ? args[i].toString() : QString();
}

// LIKE patterns of the catalogue procedures: % and _ as SQL Server reads them.
bool matches(const QString &pattern, const QString &name)
{
    if (pattern.isEmpty())
        return true;
    QString expression;
    for (const QChar c : pattern)
        expression += c == u'%' ? QStringLiteral(".*")
            : c == u'_'         ? QStringLiteral(".")
                                : QRegularExpression::escape(c);
    return QRegularExpression(
        QStringLiteral("^") + expression + u'$', QRegularExpression::CaseInsensitiveOption)
        .match(name)
        .hasMatch();
}

qint64 kilobytes(const QString &path)
{
    return (QFileInfo(path).size() + 1023) / 1024;
}

data::ResultSet databaseList(const ServerFunctionContext &c)
{
    data::ResultSet set = resultSet(
        { { "DATABASE_NAME", "nvarchar(128)" }, { "DATABASE_SIZE", "int" }, { "REMARKS", "varchar(254)" } });
    for (const DatabaseEntry &db : databases(*c.instance))
        set.rows.append({ db.name, kilobytes(db.path), QVariant() });
    return set;
}

data::ResultSet helpDatabase(const ServerFunctionContext &c, const QString &only)
{
    data::ResultSet set = resultSet({ { "name", "nvarchar(128)" }, { "db_size", "nvarchar(13)" },
        { "owner", "nvarchar(128)" }, { "dbid", "smallint" }, { "created", "nvarchar(11)" },
        { "status", "nvarchar(600)" }, { "compatibility_level", "tinyint" } });
    for (const DatabaseEntry &db : databases(*c.instance)) {
        if (!only.isEmpty() && db.name.compare(only, Qt::CaseInsensitive) != 0)
            continue;
        const QFileInfo info(db.path);
        const QDateTime created = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
        set.rows.append({ db.name,
            QStringLiteral("%1 MB").arg(double(info.size()) / 1048576.0, 13 - 3, 'f', 2),
            QStringLiteral("sa"), db.id, QLocale::c().toString(created.date(), QStringLiteral("MMM dd yyyy")),
            QStringLiteral("Status=ONLINE, Updateability=READ_WRITE, UserAccess=MULTI_USER, Recovery=SIMPLE, "
                           "Collation=%1")
                .arg(databaseCollationName(*c.instance, db.name)),
            150 });
    }
    return set;
}

data::ResultSet tableList(SqliteFile &file, const ServerFunctionContext &c, const QString &pattern)
{
    data::ResultSet set = resultSet({ { "TABLE_QUALIFIER", "nvarchar(128)" },
        { "TABLE_OWNER", "nvarchar(128)" }, { "TABLE_NAME", "nvarchar(128)" },
        { "TABLE_TYPE", "varchar(32)" }, { "REMARKS", "varchar(254)" } });
    for (const auto &row : sqliteRows(file,
             QStringLiteral("SELECT TABLE_NAME, TABLE_TYPE FROM temp.zt_catalog_information_schema_tables "
                            "ORDER BY TABLE_TYPE, TABLE_NAME"))) {
        if (matches(pattern, row[0].toString()))
            set.rows.append({ c.database, QStringLiteral("dbo"), row[0],
                row[1].toString() == QLatin1StringView("VIEW") ? QStringLiteral("VIEW")
                                                               : QStringLiteral("TABLE"),
                QVariant() });
    }
    return set;
}

data::ResultSet columnList(SqliteFile &file, const ServerFunctionContext &c, const QString &pattern)
{
    data::ResultSet set = resultSet({ { "TABLE_QUALIFIER", "nvarchar(128)" },
        { "TABLE_OWNER", "nvarchar(128)" }, { "TABLE_NAME", "nvarchar(128)" },
        { "COLUMN_NAME", "nvarchar(128)" }, { "DATA_TYPE", "smallint" }, { "TYPE_NAME", "nvarchar(128)" },
        { "PRECISION", "int" }, { "LENGTH", "int" }, { "SCALE", "smallint" }, { "RADIX", "smallint" },
        { "NULLABLE", "smallint" }, { "REMARKS", "varchar(254)" }, { "COLUMN_DEF", "nvarchar(4000)" },
        { "SQL_DATA_TYPE", "smallint" }, { "SQL_DATETIME_SUB", "smallint" }, { "CHAR_OCTET_LENGTH", "int" },
        { "ORDINAL_POSITION", "int" }, { "IS_NULLABLE", "varchar(254)" } });
    for (const auto &row : sqliteRows(file,
             QStringLiteral(
                 "SELECT TABLE_NAME, COLUMN_NAME, ORDINAL_POSITION, COLUMN_DEFAULT, IS_NULLABLE, t.type "
                 "FROM temp.zt_catalog_information_schema_columns, pragma_table_info(TABLE_NAME) t "
                 "WHERE t.name = COLUMN_NAME ORDER BY TABLE_NAME, ORDINAL_POSITION"))) {
        if (!matches(pattern, row[0].toString()))
            continue;
        const TypeFacts f = typeFacts(row[5].toString());
        const bool nullable = row[4].toString() == QLatin1StringView("YES");
        // LENGTH of an exact number is the characters of its text (digits, sign and point).
        const bool exact
            = f.systemTypeId == 106 || f.systemTypeId == 108 || f.systemTypeId == 60 || f.systemTypeId == 122;
        const QVariant length = f.text ? QVariant(f.maxLength < 0 ? 0 : f.maxLength)
                                       : QVariant(exact ? f.precision + 2 : f.maxLength);
        set.rows.append({ c.database, QStringLiteral("dbo"), row[0], row[1], f.odbcType, f.name,
            f.text ? QVariant(f.characters < 0 ? 0 : f.characters) : QVariant(f.precision), length,
            f.text ? QVariant() : QVariant(f.scale), f.text ? QVariant() : QVariant(10), nullable ? 1 : 0,
            QVariant(), row[3], f.odbcType, QVariant(), f.text ? length : QVariant(), row[2],
            nullable ? QStringLiteral("YES") : QStringLiteral("NO") });
    }
    return set;
}

data::ResultSet whoIsOn(const ServerFunctionContext &c)
{
    data::ResultSet set
        = resultSet({ { "spid", "smallint" }, { "ecid", "smallint" }, { "status", "nchar(30)" },
            { "loginame", "nvarchar(128)" }, { "hostname", "nchar(128)" }, { "blk", "char(5)" },
            { "dbname", "nvarchar(128)" }, { "cmd", "nchar(16)" }, { "request_id", "int" } });
    // The server knows its own session only: the other sessions are other processes' files.
    set.rows.append({ c.spid, 0, QStringLiteral("runnable"), c.principal->name, QString(),
        QStringLiteral("0"), c.database, QStringLiteral("SELECT"), 0 });
    return set;
}

data::ResultSet typeInfo(int only)
{
    data::ResultSet set = resultSet({ { "TYPE_NAME", "nvarchar(128)" }, { "DATA_TYPE", "smallint" },
        { "PRECISION", "int" }, { "LITERAL_PREFIX", "varchar(32)" }, { "LITERAL_SUFFIX", "varchar(32)" },
        { "CREATE_PARAMS", "varchar(32)" }, { "NULLABLE", "smallint" }, { "CASE_SENSITIVE", "smallint" },
        { "SEARCHABLE", "smallint" }, { "UNSIGNED_ATTRIBUTE", "smallint" }, { "MONEY", "smallint" },
        { "AUTO_INCREMENT", "smallint" }, { "LOCAL_TYPE_NAME", "nvarchar(128)" },
        { "MINIMUM_SCALE", "smallint" }, { "MAXIMUM_SCALE", "smallint" }, { "SQL_DATA_TYPE", "smallint" },
        { "SQL_DATETIME_SUB", "smallint" }, { "NUM_PREC_RADIX", "int" }, { "INTERVAL_PRECISION", "smallint" },
        { "USERTYPE", "smallint" } });
    struct Info
    {
        const char *name;
        int type, precision;
        const char *prefix, *suffix, *params;
        int searchable, isUnsigned, money, minScale, maxScale, dateTimeSub;
    };
    static constexpr Info Infos[] = {
        { "bit", -7, 1, nullptr, nullptr, nullptr, 2, 0, 0, 0, 0, 0 },
        { "tinyint", -6, 3, nullptr, nullptr, nullptr, 2, 1, 0, 0, 0, 0 },
        { "bigint", -5, 19, nullptr, nullptr, nullptr, 2, 0, 0, 0, 0, 0 },
        { "image", -4, 2147483647, "0x", nullptr, nullptr, 0, -1, 0, -1, -1, 0 },
        { "varbinary", -3, 8000, "0x", nullptr, "max length", 2, -1, 0, -1, -1, 0 },
        { "binary", -2, 8000, "0x", nullptr, "length", 2, -1, 0, -1, -1, 0 },
        { "text", -1, 2147483647, "'", "'", nullptr, 1, -1, 0, -1, -1, 0 },
        { "char", 1, 8000, "'", "'", "length", 3, -1, 0, -1, -1, 0 },
        { "numeric", 2, 38, nullptr, nullptr, "precision,scale", 2, 0, 0, 0, 38, 0 },
        { "decimal", 3, 38, nullptr, nullptr, "precision,scale", 2, 0, 0, 0, 38, 0 },
        { "money", 3, 19, "$", nullptr, nullptr, 2, 0, 1, 4, 4, 0 },
        { "smallmoney", 3, 10, "$", nullptr, nullptr, 2, 0, 1, 4, 4, 0 },
        { "int", 4, 10, nullptr, nullptr, nullptr, 2, 0, 0, 0, 0, 0 },
        { "smallint", 5, 5, nullptr, nullptr, nullptr, 2, 0, 0, 0, 0, 0 },
        { "float", 6, 53, nullptr, nullptr, nullptr, 2, 0, 0, -1, -1, 0 },
        { "real", 7, 24, nullptr, nullptr, nullptr, 2, 0, 0, -1, -1, 0 },
        { "varchar", 12, 8000, "'", "'", "max length", 3, -1, 0, -1, -1, 0 },
        { "datetime", 11, 23, "'", "'", nullptr, 3, -1, 0, 3, 3, 3 },
        { "nvarchar", -9, 4000, "N'", "'", "max length", 3, -1, 0, -1, -1, 0 },
        { "nchar", -8, 4000, "N'", "'", "length", 3, -1, 0, -1, -1, 0 },
        { "ntext", -10, 1073741823, "N'", "'", nullptr, 1, -1, 0, -1, -1, 0 },
    };
    auto text = [](const char *s) { return s ? QVariant(QString::fromLatin1(s)) : QVariant(); };
    auto orNull = [](int v) { return v < 0 ? QVariant() : QVariant(v); };
    for (const Info &i : Infos) {
        if (only != 0 && i.type != only)
            continue;
        const bool isText = i.prefix && QByteArray(i.prefix).contains('\'');
        set.rows.append({ QString::fromLatin1(i.name), i.type, i.precision, text(i.prefix), text(i.suffix),
            text(i.params), 1, 0, i.searchable, orNull(i.isUnsigned), i.money,
            isText || i.type < -1 ? QVariant() : QVariant(0), QString::fromLatin1(i.name), orNull(i.minScale),
            orNull(i.maxScale), i.type == 11 ? 9 : i.type, orNull(i.dateTimeSub == 0 ? -1 : i.dateTimeSub),
            i.precision <= 53 && !isText && i.type > -2 ? QVariant(10) : QVariant(), QVariant(), 0 });
    }
    return set;
}

} // namespace

std::optional<data::ResultSet> procedureResult(
    SqliteFile &file, const ServerFunctionContext &c, const QString &name, const QList<QVariant> &args)
{
    if (name == QLatin1StringView("sp_databases"))
        return databaseList(c);
    if (name == QLatin1StringView("sp_helpdb"))
        return helpDatabase(c, argument(args, 0));
    if (name == QLatin1StringView("sp_tables"))
        return tableList(file, c, argument(args, 0));
    if (name == QLatin1StringView("sp_columns"))
        return columnList(file, c, argument(args, 0));
    if (name == QLatin1StringView("sp_who") || name == QLatin1StringView("sp_who2"))
        return whoIsOn(c);
    if (name == QLatin1StringView("sp_datatype_info") || name == QLatin1StringView("sp_datatype_info_100")
        || name == QLatin1StringView("sp_datatype_info_90"))
        return typeInfo(argument(args, 0).toInt());
    return std::nullopt;
}

} // namespace zt::embedded
