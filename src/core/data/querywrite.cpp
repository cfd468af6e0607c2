// The writing half of Query: appends, edits and deletions of the open result set, each written
// to the table named after "from" at once (query.cpp reads).
#include "query.h"

#include "dataerror.h"

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

void Query::clearField(const QString &name)
{
    setField(name, QVariant());
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

} // namespace zt::data
