// The reading half of Query: its text, opening and closing, the fields of the rows and the current
// row (querywrite.cpp writes appends, edits and deletions back).
#include "query.h"

#include "connection.h"
#include "dataerror.h"
#include "killpoint.h"
#include "text/gbk.h"

#include <QFile>
#include <QRegularExpression>

namespace zt::data {

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
