#include "session.h"

#include "catalog.h"
#include "columnrules.h"
#include "columnvalues.h"
#include "data/sqlliteral.h"
#include "exact/exactlayer.h"
#include "passthrough.h"
#include "servererror.h"
#include "tsqlstatement.h"

#include <QDateTime>

#include <algorithm>
#include <atomic>
#include <vector>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

bool changesRows(const QString &verb)
{
    return verb == QLatin1StringView("insert") || verb == QLatin1StringView("update")
        || verb == QLatin1StringView("delete");
}

// A batch of row changes (and queries) only, with at least one change.
bool changesRowsOnly(const QList<Statement> &statements)
{
    bool changes = false;
    for (const Statement &st : statements) {
        if (st.kind == Statement::Kind::ReturnOnError)
            continue;
        if (st.kind != Statement::Kind::Sqlite
            || !(changesRows(st.verb) || st.verb == QLatin1StringView("select")))
            return false;
        changes = changes || changesRows(st.verb);
    }
    return changes;
}

// What the data layer reads of a batch: the first result set, and the first error a RAISERROR
// raised without ending the batch.
class FirstResultSet final : public ResultSink
{
public:
    explicit FirstResultSet(data::ResultSet *rows)
        : m_rows(rows)
    { }
    bool wantsRows() const override { return m_rows != nullptr; }
    void resultSet(data::ResultSet &&rows) override
    {
        if (m_rows)
            *m_rows = std::move(rows);
        m_rows = nullptr; // only the first result set of a batch is returned
    }
    void done(qint64) override { }
    void notice(const Notice &notice) override
    {
        if (notice.severity > 10 && !m_error)
            m_error = serverError(Msg::UserMessage, { notice.text });
    }
    void statementFailed(const data::DataError &error) override
    {
        if (!m_error)
            m_error = error;
    }
    // The first error of a statement that did not end the batch.
    const std::optional<data::DataError> &error() const { return m_error; }

private:
    data::ResultSet *m_rows;
    std::optional<data::DataError> m_error;
};

// The errors after which SQL Server goes on with the next statement of the batch (XACT_ABORT
// OFF): the statement alone is undone, as SQLite undoes a statement that fails inside a
// transaction. Every other run-time error ends the batch.
bool endsStatementOnly(int number)
{
    return number == 2627 || number == 515 || number == 8152 || number == 544;
}

// The memory of the statements a batch keeps prepared from its compiling to their run.
constexpr qint64 KeptStatementBytes = 16 * 1024 * 1024;

// Session numbers as SQL Server gives user sessions: from 51.
std::atomic<int> s_nextSpid { 51 };

// The code page of a char/varchar result column taken from a table: that of its collation.
int columnCodePage(sqlite3_stmt *statement, int column, const QString &type)
{
    if (!isNarrowText(type))
        return 0;
    const char *table = sqlite3_column_table_name(statement, column);
    const char *origin = sqlite3_column_origin_name(statement, column);
    const char *collation = nullptr;
    if (!table || !origin
        || sqlite3_table_column_metadata(sqlite3_db_handle(statement),
               sqlite3_column_database_name(statement, column), table, origin, nullptr, &collation, nullptr,
               nullptr, nullptr)
            != SQLITE_OK
        || !collation)
        return 0;
    return codePageOfSqliteCollation(QString::fromUtf8(collation));
}

} // namespace

Session::Session(Instance instance, Principal principal, OpenDatabase database)
    : m_instance(std::move(instance))
    , m_principal(std::move(principal))
    , m_database(std::move(database))
    , m_functions { &m_instance, &m_principal, m_database.name, s_nextSpid++ }
    , m_collation(Instance::recordedCollation(*m_database.file, text::defaultCollation()))
{
    registerServerFunctions(m_database.file->handle(), &m_functions);
    registerBuiltinFunctions(m_database.file->handle(), &m_functions);
}

data::ResultSet Session::query(const QString &sql, const QList<QVariant> &params)
{
    data::ResultSet rows;
    run(sql, params, &rows);
    return rows;
}

int Session::execute(const QString &sql, const QList<QVariant> &params)
{
    return run(sql, params, nullptr);
}

bool Session::isMaster() const
{
    return m_database.name.compare(QLatin1StringView("master"), Qt::CaseInsensitive) == 0;
}

void Session::requireCreateRight(const QString &what) const
{
    // Objects in master are for the server's administrators only, as on a real server: a login
    // that may create databases still may not create tables there.
    if (isMaster() && !m_instance.isSysadmin(m_principal))
        throw serverError(Msg::PermissionDenied, { QStringLiteral("CREATE ") + what, m_database.name });
}

int Session::run(const QString &sql, const QList<QVariant> &params, data::ResultSet *rows)
{
    FirstResultSet sink(rows);
    const int changed = run(sql, params, sink);
    if (sink.error())
        throw *sink.error();
    return changed;
}

int Session::run(const QString &sql, const QList<QVariant> &params, ResultSink &sink)
{
    // As on SQL Server, a batch is compiled whole before any of it runs: a syntax error, or a
    // column missing from a table that exists at that point, fails the batch with nothing done.
    // Tables missing then are looked up when their statement runs, so a batch can create a table
    // and fill it. At run time a duplicate key, a NULL in a NOT NULL column, a value too long or
    // an explicit IDENTITY value ends its statement only and the batch goes on ("IF @@ERROR <> 0
    // RETURN" ends it there); any other error ends the batch. What ran before an error stays.
    QList<Statement> statements;
    for (QList<Token> &tokens : splitStatements(tokenize(sql))) {
        fitLiterals(tokens, m_collation.codePage);
        statements.append(parseStatement(sql, tokens, m_collation, m_database.name));
    }
    // Variables live for one batch, as on SQL Server.
    m_variables.clear();
    m_variableTypes.clear();
    // SQLite's check of a statement prepares it whole (with the code of its table's triggers and
    // constraints, the most of an INSERT's cost): where nothing in the batch can close the file,
    // the statements prepared are kept and run as they are, each prepared once. Kept up to a
    // bound of memory: a batch of thousands of rows prepares the rest again when it runs them.
    const bool keep = std::all_of(statements.cbegin(), statements.cend(), [](const Statement &st) {
        return st.kind == Statement::Kind::Sqlite || st.kind == Statement::Kind::CreateTable
            || st.kind == Statement::Kind::ReturnOnError;
    });
    std::vector<Prepared> prepared;
    prepared.reserve(std::size_t(statements.size()));
    qint64 keptBytes = 0;
    for (const Statement &statement : std::as_const(statements)) {
        prepared.push_back(compile(statement, keep && keptBytes < KeptStatementBytes));
        if (sqlite3_stmt *kept = prepared.back().statement.get())
            keptBytes += sqlite3_stmt_status(kept, SQLITE_STMTSTATUS_MEMUSED, 0);
    }
    // Several row changes are written in one transaction of the file, committed also when one of
    // them fails (SQLite undoes that statement alone): the rows before the failure stay, as when
    // each statement commits on its own, for the price of one commit.
    sqlite3 *db = m_database.file->handle();
    const bool together = statements.size() > 1 && changesRowsOnly(statements) && sqlite3_get_autocommit(db);
    const auto commit = [&] {
        if (sqlite3_get_autocommit(db))
            return; // the file ended the transaction itself
        try {
            m_database.file->exec(QStringLiteral("COMMIT"));
        } catch (const SqliteFile::Failure &failure) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw fromSqlite(failure.message, QStringLiteral("commit"), m_database.name, QString());
        }
    };
    if (together) {
        try {
            m_database.file->exec(QStringLiteral("BEGIN IMMEDIATE"));
        } catch (const SqliteFile::Failure &failure) {
            throw fromSqlite(failure.message, QStringLiteral("begin"), m_database.name, QString());
        }
    }
    qsizetype nextParam = 0;
    int changed = -1;
    bool returned = false;
    try {
        for (qsizetype i = 0; i < statements.size(); ++i) {
            const Statement &statement = statements[i];
            if (statement.kind == Statement::Kind::ReturnOnError) {
                returned = m_functions.error != 0;
                m_functions.error = 0;
                if (returned)
                    break;
                continue;
            }
            try {
                runStatement(statement, &prepared[std::size_t(i)], params, nextParam, sink, changed);
                m_functions.error = 0;
            } catch (const data::DataError &error) {
                m_functions.error = errorNumber(error);
                if (!endsStatementOnly(m_functions.error))
                    throw;
                changed = -1;
                sink.statementFailed(error);
            }
        }
    } catch (...) {
        if (together)
            commit();
        throw;
    }
    if (together)
        commit();
    if (!returned && nextParam != params.size())
        throw serverError(Msg::Other,
            { QStringLiteral("The statement has %1 parameter markers, but %2 values were "
                             "supplied.")
                    .arg(nextParam)
                    .arg(params.size()) });
    return changed;
}

Session::Prepared Session::compile(const Statement &st, bool keep) const
{
    static const QStringList compiled = { QStringLiteral("select"), QStringLiteral("insert"),
        QStringLiteral("update"), QStringLiteral("delete"), QStringLiteral("with") };
    if (st.kind != Statement::Kind::Sqlite || !compiled.contains(st.verb))
        return {};
    sqlite3 *db = m_database.file->handle();
    const QByteArray utf8 = st.text.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const char *rest = nullptr;
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &raw, &rest);
    SqliteStatement prepared(raw);
    if (rc == SQLITE_OK) {
        // A statement without result columns is kept: SQLite prepares it again by itself where
        // the schema changed before it runs. One with columns is prepared anew at its run, so
        // that they are read as they are then (a SELECT * after an ALTER TABLE of the batch).
        if (keep && raw && sqlite3_column_count(raw) == 0)
            return { std::move(prepared), rest ? rest - utf8.constData() : utf8.size() };
        return {};
    }
    // Syntax and columns missing from existing tables fail the batch now; anything else (a table
    // the batch creates before this statement, ...) is met when the statement runs.
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    if (message.startsWith(QLatin1StringView("no such column: "))
        || (message.startsWith(QLatin1StringView("table "))
            && message.contains(QLatin1StringView(" has no column named ")))
        || message.endsWith(QLatin1StringView(": syntax error"))
        || message == QLatin1StringView("incomplete input")
        || message.startsWith(QLatin1StringView("unrecognized token")))
        throw fromSqlite(message, st.verb, m_database.name, st.lastToken);
    return {};
}

void Session::runStatement(const Statement &st, Prepared *prepared, const QList<QVariant> &params,
    qsizetype &nextParam, ResultSink &sink, int &changed)
{
    changed = -1;
    switch (st.kind) {
    case Statement::Kind::CreateDatabase:
        m_instance.createDatabase(m_principal, st.names[0], st.text);
        return;
    case Statement::Kind::DropDatabase:
        for (const QString &name : st.names)
            m_instance.dropDatabase(m_principal, name);
        return;
    case Statement::Kind::RestoreDatabase:
        m_instance.restoreDatabase(m_principal, st.names[0], st.text, st.replace, st.moves);
        return;
    case Statement::Kind::BackupDatabase:
        m_instance.backupDatabase(m_principal, st.names[0], st.text, st.replace);
        return;
    case Statement::Kind::RestoreVerifyOnly:
        m_instance.verifyBackup(m_principal, st.text);
        sink.notice({ 3262, 0, 1, QStringLiteral("The backup set on file 1 is valid.") });
        return;
    case Statement::Kind::RestoreFileList: {
        data::ResultSet files = m_instance.backupFiles(st.text);
        const qint64 count = files.rows.size();
        sink.resultSet(std::move(files));
        reportCount(sink, count);
        return;
    }
    case Statement::Kind::CreateLogin:
        m_instance.createLogin(m_principal, st.names[0], st.text);
        return;
    case Statement::Kind::DropLogin:
        m_instance.dropLogin(m_principal, st.names[0]);
        return;
    case Statement::Kind::AlterServerRole:
        m_instance.alterServerRole(m_principal, st.names[0], st.names[1], st.add);
        return;
    case Statement::Kind::CreateTable:
        createTable(st);
        return;
    case Statement::Kind::Sqlite:
        break;
    case Statement::Kind::ReturnOnError: // carried out by run
        return;
    case Statement::Kind::SetOption:
    case Statement::Kind::Transaction:
    case Statement::Kind::Declare:
    case Statement::Kind::SetVariable:
    case Statement::Kind::Print:
    case Statement::Kind::RaiseError:
    case Statement::Kind::Execute:
        runControl(st, sink);
        return;
    }

    if (!st.object.isEmpty())
        requireCreateRight(st.object);
    // The catalogue views show the database as this statement finds it.
    if (st.text.contains(QLatin1StringView(CatalogPrefix))) {
        try {
            prepareCatalog(*m_database.file, m_instance, m_database.name);
            if (st.text.contains(QLatin1StringView(CatalogPrefix) + QLatin1StringView("sys_master_files")))
                prepareMasterFiles(*m_database.file, m_instance);
            if (st.text.contains(QLatin1StringView(CatalogPrefix) + QLatin1StringView("msdb_")))
                prepareBackupHistory(*m_database.file, m_instance);
        } catch (const SqliteFile::Failure &failure) {
            throw fromSqlite(failure.message, st.verb, m_database.name, st.lastToken);
        }
    }
    sqlite3 *db = m_database.file->handle();
    // Exact numbers beyond a double's digits compared and ordered by their values, and the
    // types SQL Server gives expressions of exact numbers, where the statement needs them
    // (exact/exactlayer.h).
    const bool longTexts = (changesRows(st.verb) || st.verb == QLatin1StringView("select"))
        && holdsLongNumberText(params, nextParam);
    const std::optional<ExactReading> exact = exactStatement(db, st.verb, st.text, true, longTexts);
    const QByteArray utf8 = (exact ? exact->text : st.text).toUtf8();
    const char *tail = utf8.constData();
    // The statement compile prepared runs as it is, unless the layer wrote it otherwise.
    SqliteStatement kept = prepared && !exact ? std::move(prepared->statement) : SqliteStatement();
    const auto nextStatement = [&]() -> sqlite3_stmt * {
        if (kept.get()) {
            tail = utf8.constData() + prepared->rest;
            return kept.release();
        }
        while (tail && *tail) {
            sqlite3_stmt *raw = nullptr;
            const char *next = nullptr;
            if (sqlite3_prepare_v2(db, tail, -1, &raw, &next) != SQLITE_OK)
                throw fromSqlite(
                    QString::fromUtf8(sqlite3_errmsg(db)), st.verb, m_database.name, st.lastToken);
            tail = next;
            if (raw)
                return raw;
            // only blanks or a comment were left
        }
        return nullptr;
    };
    bool first = true;
    while (sqlite3_stmt *raw = nextStatement()) {
        SqliteStatement statement(raw);
        bindParameters(raw, params, nextParam);
        const int columnCount = sqlite3_column_count(raw);
        data::ResultSet set;
        data::ResultSet *target = columnCount > 0 && sink.wantsRows() ? &set : nullptr;
        qint64 count = 0;
        QList<TypeClass> types;
        QList<int> scales;
        if (target) {
            // An expression's type, and a compound SELECT's column's, are SQL Server's where they
            // are read (exact/exactlayer.h).
            const QStringList expressionTypes = first && exact && !exact->itemTypes.isEmpty()
                ? resultTypes(*exact, columnCount)
                : QStringList(columnCount);
            for (int i = 0; i < columnCount; ++i) {
                const char *declared = sqlite3_column_decltype(raw, i);
                QString declaration = QString::fromUtf8(declared).toLower();
                if (!expressionTypes[i].isEmpty() && (!declared || exact->compound))
                    declaration = expressionTypes[i];
                const QString type = declared ? plainType(declaration.toUtf8().constData()) : QString();
                target->columns.append({ QString::fromUtf8(sqlite3_column_name(raw, i)), type, declaration,
                    columnCodePage(raw, i, type) });
                types.append(typeClass(type));
                scales.append(exactScale(declaration));
            }
        }
        first = false;
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            ++count;
            if (!target)
                continue;
            QList<QVariant> row;
            row.reserve(columnCount);
            for (int i = 0; i < columnCount; ++i)
                row.append(columnValue(raw, i, types[i], scales[i]));
            target->rows.append(row);
        }
        if (rc != SQLITE_DONE)
            throw fromSqlite(QString::fromUtf8(sqlite3_errmsg(db)), st.verb, m_database.name, st.lastToken);
        changed = changesRows(st.verb) ? sqlite3_changes(db) : -1;
        if (columnCount > 0) {
            if (target)
                sink.resultSet(std::move(set));
            reportCount(sink, count);
        } else if (changed >= 0) {
            reportCount(sink, changed);
        }
    }
}

} // namespace zt::embedded
