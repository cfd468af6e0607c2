#pragma once

#include "backend.h"
#include "sqlliteral.h" // quoteIdentifier, which quoteTableName applies to each part

#include <QDate>
#include <QObject>
#include <QStringList>

#include <optional>

namespace zt::data {

class Connection;

// A query in the manner of the wizard's pages: SQL text set line by line or from a file, then
// either opened as a result set or executed as a statement without rows. An open result set is
// read to its end at once and can be walked, appended to, edited and deleted from; each posted
// change is written to the table named after "from" at once.
//
// Errors are DataError; the data layer's own texts name the query first ("ADOTy: ...").
class Query final : public QObject
{
    Q_OBJECT

public:
    enum class State { Inactive, Browse, Insert, Edit };

    explicit Query(const QString &name, QObject *parent = nullptr);
    ~Query() override;
    Q_DISABLE_COPY_MOVE(Query)

    void setConnection(Connection *connection);
    Connection *connection() const { return m_connection; }

    // SQL text
    void clearSql();
    void addSql(const QString &line);
    // Loads a GBK text file line by line; a file that cannot be read raises an error.
    void loadSqlFromFile(const QString &path);
    const QStringList &sqlLines() const { return m_sql; }
    // The text as sent: every line followed by CR LF.
    QString sqlText() const;

    // Result set
    void open();
    void close();
    bool isActive() const { return m_state != State::Inactive; }
    State state() const { return m_state; }

    // Runs the text as a statement (or batch) without rows; returns the rows affected.
    int execSql();

    int recordCount() const;
    int fieldCount() const;
    QString fieldName(int index) const;
    bool hasField(const QString &name) const;
    // The field of the current row (or of the row being appended or edited) as text; NULL is
    // the empty text.
    QString fieldAsText(const QString &name) const;

    bool isEof() const;
    void first();
    void next();
    int currentRow() const { return m_current; }
    void setCurrentRow(int row);

    void append();
    void edit();
    void setFieldText(const QString &name, const QString &value);
    void setFieldDate(const QString &name, const QDate &value);
    // Sets the field to NULL, as a field never set in an appended row is.
    void clearField(const QString &name);
    void post();
    void cancel();
    // Deletes the current row in the table at once and from the result set.
    void deleteCurrent();

    // Read access for views bound to the result set.
    const QList<Column> &columns() const { return m_result.columns; }
    int rowCount() const { return static_cast<int>(m_result.rows.size()); }
    QString textAt(int row, int column) const;

    // How the data layer shows a value as text.
    static QString valueToText(const QVariant &value);

    // The open session of the query's connection, opened now if need be; fails as opening the
    // query would.
    Backend &backend();

signals:
    void opened();
    void closed();
    void rowInserted(int row);
    void rowChanged(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void currentRowChanged(int row);

private:
    friend class Connection;

    [[noreturn]] void fail(const QString &message) const;
    void requireActive() const;
    int columnIndex(const QString &name) const;
    QString baseTable() const;
    QVariant convertForColumn(int column, const QVariant &value) const;
    void setField(const QString &name, const QVariant &value);
    QString matchClause(const QList<QVariant> &row, QList<QVariant> &params) const;

    Connection *m_connection = nullptr;
    QStringList m_sql;
    ResultSet m_result;
    State m_state = State::Inactive;
    int m_current = 0;
    QList<QVariant> m_buffer; // row being appended or edited
    QList<bool> m_bufferSet; // which of its fields were set
};

// A table name as the data layer writes it into its own statements: a [delimited] name stays,
// otherwise each dot-separated part is delimited.
QString quoteTableName(const QString &name);

// The statement that appends a row: "INSERT INTO table (c1,c2) VALUES (v1,v2)" with the
// delimited columns and the values as given (literals or "?" markers), or "INSERT INTO table
// DEFAULT VALUES" when no column is set.
QString insertStatement(const QString &table, const QStringList &columns, const QStringList &values);

// What setting a text on a field of the column stores: the text itself, or NULL when the text is
// empty and the column holds no text.
QVariant fieldValueFromText(const Column &column, const QString &text);

// The pages' way of reusing a query: close it, clear its text, set one statement, then open it
// as a result set or execute it.
void reopen(Query &query, const QString &sql);
int reexecute(Query &query, const QString &sql);

} // namespace zt::data
