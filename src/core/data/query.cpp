#include "query.h"

#include "connection.h"
#include "dataerror.h"
#include "killpoint.h"
#include "text/gbk.h"

#include <QFile>
#include <QRegularExpression>

namespace zt::data {

namespace {

bool isTextType(const QString &declType)
{
    return declType.isEmpty() || declType.contains(u"char") || declType.contains(u"text")
        || declType == u"memo" || declType == u"string" || declType == u"uniqueidentifier";
}

bool isDateTimeType(const QString &declType)
{
    return declType.contains(u"datetime") || declType == u"timestamp";
}

// Columns whose values do not compare reliably for equality after a round trip; a row is
// located by its other columns.
bool isComparable(const QString &declType)
{
    static const QStringList unreliable = {
        QStringLiteral("text"),
        QStringLiteral("ntext"),
        QStringLiteral("image"),
        QStringLiteral("float"),
        QStringLiteral("real"),
        QStringLiteral("date"),
        QStringLiteral("datetime"),
        QStringLiteral("smalldatetime"),
        QStringLiteral("datetime2"),
        QStringLiteral("time"),
        QStringLiteral("timestamp"),
        QStringLiteral("varbinary"),
        QStringLiteral("binary"),
    };
    return !unreliable.contains(declType);
}

} // namespace

QString quoteTableName(const QString &name)
{
    if (name.startsWith(u'['))
        return name;
    QStringList parts = name.split(u'.');
    for (QString &part : parts)
        part = quoteIdentifier(part);
    return parts.join(u'.');
}

QString insertStatement(const QString &table, const QStringList &columns, const QStringList &values)
{
    if (columns.isEmpty())
        return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, columns.join(u','), values.join(u','));
}

QVariant fieldValueFromText(const Column &column, const QString &text)
{
    // Setting an empty text on a field that does not hold text clears it.
    if (text.isEmpty() && !isTextType(column.declType))
        return QVariant();
    // Empty text is stored as empty text, never as NULL: the drivers take a null QString for NULL.
    if (text.isNull())
        return QVariant(QStringLiteral(""));
    return text;
}

Query::Query(const QString &name, QObject *parent)
    : QObject(parent)
{
    setObjectName(name);
}

Query::~Query()
{
    if (m_connection)
        m_connection->detach(this);
}

void Query::setConnection(Connection *connection)
{
    if (connection == m_connection)
        return;
    close();
    if (m_connection)
        m_connection->detach(this);
    m_connection = connection;
    if (m_connection)
        m_connection->attach(this);
}

void Query::clearSql()
{
    m_sql.clear();
}

void Query::addSql(const QString &line)
{
    m_sql.append(line);
}

void Query::loadSqlFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DataError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw DataError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorString()));
    QStringList lines = text::fromGbk(bytes).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast(); // the line break of the last line ends it; it starts no new line
    m_sql = lines;
}

QString Query::sqlText() const
{
    QString text;
    for (const QString &line : m_sql)
        text += line + QStringLiteral("\r\n");
    return text;
}

void Query::fail(const QString &message) const
{
    throw DataError(objectName() + QStringLiteral(": ") + message);
}

void Query::requireActive() const
{
    if (m_state == State::Inactive)
        fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

Backend &Query::backend()
{
    if (!m_connection)
        fail(QStringLiteral("Missing Connection or ConnectionString"));
    beforeStatement();
    return m_connection->backend();
}

void Query::open()
{
    if (isActive())
        return;
    ResultSet result = backend().query(sqlText());
    m_result = std::move(result);
    m_state = State::Browse;
    m_current = 0;
    emit opened();
}

void Query::close()
{
    if (m_state == State::Inactive)
        return;
    m_state = State::Inactive;
    m_result = {};
    m_buffer.clear();
    m_bufferSet.clear();
    m_current = 0;
    emit closed();
}

int Query::execSql()
{
    return backend().execute(sqlText());
}

int Query::recordCount() const
{
    requireActive();
    return rowCount();
}

int Query::fieldCount() const
{
    return isActive() ? static_cast<int>(m_result.columns.size()) : 0;
}

QString Query::fieldName(int index) const
{
    if (index < 0 || index >= fieldCount())
        fail(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_result.columns.at(index).name;
}

int Query::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_result.columns.size(); ++i) {
        if (m_result.columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool Query::hasField(const QString &name) const
{
    return isActive() && columnIndex(name) >= 0;
}

QString Query::fieldAsText(const QString &name) const
{
    requireActive();
    const int column = columnIndex(name);
    if (column < 0)
        fail(QStringLiteral("Field '%1' not found").arg(name));
    if (m_state == State::Insert || m_state == State::Edit)
        return valueToText(m_buffer.at(column));
    if (m_current >= rowCount())
        return {};
    return valueToText(m_result.rows.at(m_current).at(column));
}

QString Query::textAt(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= m_result.columns.size())
        return {};
    return valueToText(m_result.rows.at(row).at(column));
}

bool Query::isEof() const
{
    return !isActive() || m_current >= rowCount();
}

void Query::first()
{
    requireActive();
    setCurrentRow(0);
}

void Query::next()
{
    requireActive();
    if (m_state != State::Browse)
        post();
    if (m_current < rowCount()) {
        ++m_current;
        emit currentRowChanged(m_current);
    }
}

void Query::setCurrentRow(int row)
{
    if (!isActive())
        return;
    row = qBound(0, row, rowCount());
    if (row == m_current)
        return;
    if (m_state != State::Browse)
        cancel();
    m_current = row;
    emit currentRowChanged(m_current);
}

void Query::append()
{
    requireActive();
    if (m_state != State::Browse)
        post();
    m_buffer = QList<QVariant>(m_result.columns.size());
    m_bufferSet = QList<bool>(m_result.columns.size(), false);
    m_state = State::Insert;
}

void Query::edit()
{
    requireActive();
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    if (m_current >= rowCount())
        fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
    m_buffer = m_result.rows.at(m_current);
    m_bufferSet = QList<bool>(m_result.columns.size(), false);
    m_state = State::Edit;
}

QVariant Query::convertForColumn(int column, const QVariant &value) const
{
    const QString &declType = m_result.columns.at(column).declType;
    if (value.typeId() == QMetaType::QDate)
        return isDateTimeType(declType) ? QVariant(QDateTime(value.toDate(), QTime(0, 0))) : value;
    if (value.typeId() == QMetaType::QString)
        return fieldValueFromText(m_result.columns.at(column), value.toString());
    return value;
}

void Query::setField(const QString &name, const QVariant &value)
{
    if (m_state != State::Insert && m_state != State::Edit)
        fail(QStringLiteral("Dataset not in edit or insert mode"));
    const int column = columnIndex(name);
    if (column < 0)
        fail(QStringLiteral("Field '%1' not found").arg(name));
    m_buffer[column] = convertForColumn(column, value);
    m_bufferSet[column] = true;
}

void Query::setFieldText(const QString &name, const QString &value)
{
    setField(name, value);
}

void Query::setFieldDate(const QString &name, const QDate &value)
{
    setField(name, value);
}

QString Query::baseTable() const
{
    static const QRegularExpression from(QStringLiteral(R"(\bfrom\s+(\[(?:[^\]]|\]\])+\]|[^\s\[\];,()]+))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = from.match(sqlText());
    if (!match.hasMatch())
        fail(QStringLiteral("Cannot update: the statement names no table"));
    return quoteTableName(match.captured(1));
}

QString Query::matchClause(const QList<QVariant> &row, QList<QVariant> &params) const
{
    QStringList terms;
    const auto addTerms = [&](bool comparableOnly) {
        for (int i = 0; i < m_result.columns.size(); ++i) {
            const Column &column = m_result.columns.at(i);
            if (comparableOnly && !isComparable(column.declType))
                continue;
            if (row.at(i).isNull()) {
                terms.append(quoteIdentifier(column.name) + QStringLiteral(" IS NULL"));
            } else {
                terms.append(quoteIdentifier(column.name) + QStringLiteral(" = ?"));
                params.append(row.at(i));
            }
        }
    };
    addTerms(true);
    if (terms.isEmpty())
        addTerms(false);
    return terms.join(QStringLiteral(" AND "));
}

void Query::post()
{
    requireActive();
    if (m_state == State::Browse)
        return;
    Backend &db = backend();
    const QString table = baseTable();
    QStringList names;
    QList<QVariant> values;
    for (int i = 0; i < m_buffer.size(); ++i) {
        if (m_bufferSet.at(i)) {
            names.append(quoteIdentifier(m_result.columns.at(i).name));
            values.append(m_buffer.at(i));
        }
    }

    if (m_state == State::Insert) {
        db.execute(insertStatement(table, names, QStringList(names.size(), QStringLiteral("?"))), values);
        m_result.rows.append(m_buffer);
        m_current = rowCount() - 1;
        m_state = State::Browse;
        m_buffer.clear();
        m_bufferSet.clear();
        emit rowInserted(m_current);
        emit currentRowChanged(m_current);
        return;
    }

    // Edit
    if (!names.isEmpty()) {
        QStringList assignments;
        for (const QString &name : std::as_const(names))
            assignments.append(name + QStringLiteral("=?"));
        QList<QVariant> params = values;
        const QString where = matchClause(m_result.rows.at(m_current), params);
        const QString sql = db.dialect() == Dialect::SqlServer
            ? QStringLiteral("UPDATE TOP (1) %1 SET %2 WHERE %3").arg(table, assignments.join(u','), where)
            : QStringLiteral("UPDATE %1 SET %2 WHERE rowid = (SELECT rowid FROM %1 WHERE %3 LIMIT 1)")
                  .arg(table, assignments.join(u','), where);
        if (db.execute(sql, params) == 0)
            throw DataError(
                QStringLiteral("Row cannot be located for updating. Some values may have been changed "
                               "since it was last read."));
        m_result.rows[m_current] = m_buffer;
    }
    m_state = State::Browse;
    m_buffer.clear();
    m_bufferSet.clear();
    emit rowChanged(m_current);
}

void Query::cancel()
{
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    m_state = State::Browse;
    m_buffer.clear();
    m_bufferSet.clear();
}

void Query::deleteCurrent()
{
    requireActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    cancel();
    if (m_current >= rowCount())
        fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
    Backend &db = backend();
    const QString table = baseTable();
    QList<QVariant> params;
    const QString where = matchClause(m_result.rows.at(m_current), params);
    const QString sql = db.dialect() == Dialect::SqlServer
        ? QStringLiteral("DELETE TOP (1) FROM %1 WHERE %2").arg(table, where)
        : QStringLiteral("DELETE FROM %1 WHERE rowid = (SELECT rowid FROM %1 WHERE %2 LIMIT 1)")
              .arg(table, where);
    if (db.execute(sql, params) == 0)
        throw DataError(
            QStringLiteral("Row cannot be located for updating. Some values may have been changed "
                           "since it was last read."));
    const int removed = m_current;
    emit rowAboutToBeRemoved(removed);
    m_result.rows.removeAt(removed);
    if (m_current >= rowCount() && m_current > 0)
        m_current = rowCount() - 1;
    emit rowRemoved(removed);
    emit currentRowChanged(m_current);
}

QString Query::valueToText(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.time() == QTime(0, 0) ? dt.date().toString(QStringLiteral("yyyy-MM-dd"))
                                        : dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("hh:mm:ss"));
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return value.toString();
    }
}

void reopen(Query &query, const QString &sql)
{
    query.close();
    query.clearSql();
    query.addSql(sql);
    query.open();
}

int reexecute(Query &query, const QString &sql)
{
    query.close();
    query.clearSql();
    query.addSql(sql);
    return query.execSql();
}

} // namespace zt::data
