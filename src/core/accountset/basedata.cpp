#include "basedata.h"

#include "data/dataerror.h"
#include "store/localstore.h"

#include <optional>

namespace zt::accountset {

namespace {

// A base-data table as read from the source.
struct SourceTable
{
    QString name;
    QStringList fields; // the field list from position 1 on
    QList<QStringList> rows; // the values of those fields as text, in ID order
};

SourceTable readSourceTable(AccountSetObjects &o, const QString &table)
{
    SourceTable source { table, {}, {} };
    data::reopen(o.ADOTy2, QStringLiteral("select * from ") + table + QStringLiteral(" order by ID"));
    if (o.ADOTy2.isEof())
        return source; // the field list is not asked for a table without rows
    data::reopen(o.ADOzd, QStringLiteral("select * from ") + table);
    for (int column = 1; column < o.ADOzd.fieldCount(); ++column)
        source.fields.append(o.ADOzd.fieldName(column));
    for (; !o.ADOTy2.isEof(); o.ADOTy2.next()) {
        QStringList values;
        values.reserve(source.fields.size());
        for (const QString &field : std::as_const(source.fields))
            values.append(o.ADOTy2.fieldAsText(field));
        source.rows.append(values);
    }
    return source;
}

QString markerName(qsizetype table)
{
    return QStringLiteral("zt columns of %1").arg(table);
}

// The columns of the target tables, asked for in one statement that selects every column of all
// of them, cross-joined under a condition that is never true, with a marker column before each
// table's columns. Empty when the statement fails or its answer cannot be split; the tables are
// then asked for one by one, which meets each failure at its own table.
std::optional<QList<QList<data::Column>>> columnsOfAll(data::Backend &server, const QStringList &tables)
{
    QStringList selected;
    QStringList joined;
    for (qsizetype i = 0; i < tables.size(); ++i) {
        const QString alias = data::quoteIdentifier(QStringLiteral("t%1").arg(i));
        selected << QStringLiteral("0 AS ") + data::quoteIdentifier(markerName(i))
                 << alias + QStringLiteral(".*");
        joined << data::quoteTableName(tables.at(i)) + QStringLiteral(" AS ") + alias;
    }
    data::ResultSet answer;
    try {
        answer = server.query(QStringLiteral("SELECT ") + selected.join(QStringLiteral(", "))
            + QStringLiteral(" FROM ") + joined.join(QStringLiteral(", ")) + QStringLiteral(" WHERE 1 = 0"));
    } catch (const data::DataError &) {
        return std::nullopt; // met again, at its table, by the statement of that table
    }
    QList<QList<data::Column>> columns;
    for (const data::Column &column : std::as_const(answer.columns)) {
        if (column.name == markerName(columns.size()))
            columns.append(QList<data::Column>());
        else if (columns.isEmpty())
            return std::nullopt;
        else
            columns.last().append(column);
    }
    if (columns.size() != tables.size())
        return std::nullopt;
    return columns;
}

qsizetype columnIndex(const QList<data::Column> &columns, const QString &name)
{
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// Appends the rows of a source table to the batch as posting each row through the target
// table's result set would write them: the fields set by name (the target's spelling, in its
// column order), each text converted for its column.
void appendRows(data::InsertBatch &batch, const SourceTable &source, const QList<data::Column> &columns,
    const QString &targetName)
{
    QList<qsizetype> target; // target column of each field
    QList<bool> set(columns.size(), false);
    for (const QString &field : source.fields) {
        const qsizetype column = columnIndex(columns, field);
        if (column < 0)
            throw data::DataError(targetName + QStringLiteral(": Field '%1' not found").arg(field));
        target.append(column);
        set[column] = true;
    }
    QStringList names;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (set.at(i))
            names.append(data::quoteIdentifier(columns.at(i).name));
    }
    const QString table = data::quoteTableName(source.name);
    for (const QStringList &row : source.rows) {
        QList<QVariant> buffer(columns.size());
        for (qsizetype j = 0; j < row.size(); ++j)
            buffer[target.at(j)] = data::fieldValueFromText(columns.at(target.at(j)), row.at(j));
        QList<QVariant> values;
        values.reserve(names.size());
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (set.at(i))
                values.append(buffer.at(i));
        }
        batch.insert(table, names, values);
    }
}

} // namespace

void transferBaseData(AccountSetObjects &o, const QStringList &tables, const data::BatchLimits &limits,
    const TransferProgress &progress)
{
    // The string is the same on every run, so a connection left open by an earlier transfer
    // stays open.
    o.Conn_Ty2.setConnectionString(store::localAccessString(QStringLiteral("Sample.mdb")));
    o.ADOTy2.setConnection(&o.Conn_Ty2);
    o.ADOzd.setConnection(&o.Conn_Ty2);

    // The source is local: its tables are read first, up to the first that fails. That failure
    // is raised once the tables before it have been written.
    QList<SourceTable> sources;
    std::optional<data::DataError> sourceFailure;
    try {
        for (const QString &table : tables)
            sources.append(readSourceTable(o, table));
    } catch (const data::DataError &e) {
        sourceFailure = e;
    }

    if (!sources.isEmpty()) {
        o.ADOTy1.close();
        data::Backend &server = o.ADOTy1.backend();
        QStringList names;
        for (const SourceTable &source : std::as_const(sources))
            names.append(source.name);
        const std::optional<QList<QList<data::Column>>> prefetched = columnsOfAll(server, names);

        data::InsertBatch batch(server, limits);
        try {
            for (qsizetype i = 0; i < sources.size(); ++i) {
                const SourceTable &source = sources.at(i);
                const QList<data::Column> columns = prefetched
                    ? prefetched->at(i)
                    : server.query(QStringLiteral("select * from ") + source.name).columns;
                const int rows = static_cast<int>(source.rows.size());
                const int count = static_cast<int>(sources.size());
                if (progress)
                    progress(source.name, static_cast<int>(i), count, 0, rows);
                if (!source.rows.isEmpty())
                    appendRows(batch, source, columns, o.ADOTy1.objectName());
                if (progress)
                    progress(source.name, static_cast<int>(i), count, rows, rows);
            }
        } catch (const data::DataError &) {
            batch.flush(); // the rows before the failure are written; a refused one among them wins
            throw;
        }
        batch.flush();
    }
    if (sourceFailure)
        throw *sourceFailure;
}

} // namespace zt::accountset
