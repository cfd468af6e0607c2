#pragma once

#include <QString>
#include <QVariant>

#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace zt::embedded {

// An open SQLite database file. Failures are thrown as Failure, carrying SQLite's message
// text; callers turn them into the server's messages.
class SqliteFile final
{
public:
    struct Failure
    {
        QString message;
    };

    // Opens an existing file, or creates it when create is set.
    SqliteFile(const QString &path, bool create);
    ~SqliteFile();
    SqliteFile(const SqliteFile &) = delete;
    SqliteFile &operator=(const SqliteFile &) = delete;

    sqlite3 *handle() const { return m_db; }

    // Runs statements without parameters or rows.
    void exec(const QString &sql);
    // First column of the first row of a statement with positional parameters (null: no row).
    QVariant value(const QString &sql, const QVariantList &params = {});

    QString lastError() const;

private:
    sqlite3 *m_db = nullptr;
};

// A prepared statement, finalized on destruction.
class SqliteStatement final
{
public:
    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt *statement)
        : m_statement(statement)
    { }
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;
    SqliteStatement(SqliteStatement &&other) noexcept
        : m_statement(std::exchange(other.m_statement, nullptr))
    { }
    SqliteStatement &operator=(SqliteStatement &&other) noexcept
    {
        std::swap(m_statement, other.m_statement);
        return *this;
    }

    sqlite3_stmt *get() const { return m_statement; }
    // Hands the statement over, to be finalized by the caller.
    sqlite3_stmt *release() { return std::exchange(m_statement, nullptr); }

private:
    sqlite3_stmt *m_statement = nullptr;
};

// Binds a value the way the server stores it: dates as ISO text, bool as 1/0, numbers as
// numbers, null as NULL, everything else as text.
int bindValue(sqlite3_stmt *statement, int index, const QVariant &value);

// True when the file starts with the SQLite header and its schema can be read.
bool isSqliteDatabase(const QString &path);

} // namespace zt::embedded
