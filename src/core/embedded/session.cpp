#include "session.h"

#include "columnrules.h"
#include "servererror.h"
#include "tsqlstatement.h"

#include <QDateTime>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

enum class TypeClass { Unknown, Integer, Real, Bit, DateTime, Date, Binary, Text };

// "nvarchar(50)" -> "nvarchar": the declared type as the data layer expects it.
QString plainType(const char *declared)
{
    if (!declared)
        return {};
    QString type = QString::fromUtf8(declared).toLower();
    const qsizetype paren = type.indexOf(u'(');
    if (paren >= 0)
        type.truncate(paren);
    return type.trimmed();
}

TypeClass typeClass(const QString &type)
{
    static const QStringList integers = { QStringLiteral("bigint"), QStringLiteral("int"),
        QStringLiteral("integer"), QStringLiteral("smallint"), QStringLiteral("tinyint") };
    static const QStringList reals = { QStringLiteral("float"), QStringLiteral("real"),
        QStringLiteral("decimal"), QStringLiteral("numeric"), QStringLiteral("money"),
        QStringLiteral("smallmoney"), QStringLiteral("double"), QStringLiteral("double precision") };
    static const QStringList dateTimes
        = { QStringLiteral("datetime"), QStringLiteral("smalldatetime"), QStringLiteral("datetime2") };
    static const QStringList binaries = { QStringLiteral("binary"), QStringLiteral("varbinary"),
        QStringLiteral("image"), QStringLiteral("blob") };
    if (type.isEmpty())
        return TypeClass::Unknown;
    if (integers.contains(type))
        return TypeClass::Integer;
    if (reals.contains(type))
        return TypeClass::Real;
    if (type == QLatin1StringView("bit"))
        return TypeClass::Bit;
    if (dateTimes.contains(type))
        return TypeClass::DateTime;
    if (type == QLatin1StringView("date"))
        return TypeClass::Date;
    if (binaries.contains(type))
        return TypeClass::Binary;
    return TypeClass::Text;
}

// Digits of text[from, from + count) as a number, or -1.
int digits(const QString &text, qsizetype from, qsizetype count)
{
    if (from + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The stored forms "yyyy-MM-dd[ hh:mm[:ss[.zzz]]]" read directly: listing a large directory
// reads one per row, and the format parser is slow.
QDateTime parseCanonicalDateTime(const QString &text)
{
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    if (year < 0 || month < 0 || day < 0 || text.at(4) != u'-' || text.at(7) != u'-')
        return {};
    const QDate date(year, month, day);
    if (text.size() == 10)
        return QDateTime(date, QTime(0, 0));
    if (text.size() < 16 || text.at(10) != u' ' || text.at(13) != u':')
        return {};
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2);
    int second = 0, ms = 0;
    if (text.size() > 16) {
        second = digits(text, 17, 2);
        if (text.at(16) != u':' || second < 0)
            return {};
        if (text.size() > 19) {
            ms = digits(text, 20, 3);
            if (text.size() != 23 || text.at(19) != u'.' || ms < 0)
                return {};
        } else if (text.size() != 19) {
            return {};
        }
    }
    const QTime time(hour, minute, second, ms);
    return date.isValid() && time.isValid() ? QDateTime(date, time) : QDateTime();
}

QDateTime parseDateTime(const QString &text)
{
    if (const QDateTime value = parseCanonicalDateTime(text); value.isValid())
        return value;
    return QDateTime::fromString(QString(text).replace(u' ', u'T'), Qt::ISODateWithMs);
}

QVariant columnValue(sqlite3_stmt *statement, int column, TypeClass type)
{
    const int storage = sqlite3_column_type(statement, column);
    if (storage == SQLITE_NULL)
        return {};
    const qint64 integer = sqlite3_column_int64(statement, column);
    const double real = sqlite3_column_double(statement, column);
    QString text;
    if (storage == SQLITE_TEXT)
        text = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
            sqlite3_column_bytes(statement, column));
    if (storage == SQLITE_BLOB && (type == TypeClass::Binary || type == TypeClass::Unknown)) {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(statement, column));
        return QByteArray(data, sqlite3_column_bytes(statement, column));
    }
    if (storage == SQLITE_BLOB)
        text = QString::fromUtf8(static_cast<const char *>(sqlite3_column_blob(statement, column)),
            sqlite3_column_bytes(statement, column));

    bool ok = false;
    switch (type) {
    case TypeClass::Integer:
        if (storage == SQLITE_INTEGER)
            return QVariant::fromValue<qlonglong>(integer);
        if (storage == SQLITE_FLOAT)
            return real;
        if (const qlonglong parsed = text.trimmed().toLongLong(&ok); ok)
            return parsed;
        return text;
    case TypeClass::Real:
        if (storage != SQLITE_TEXT)
            return real;
        if (const double parsed = text.trimmed().toDouble(&ok); ok)
            return parsed;
        return text;
    case TypeClass::Bit:
        if (storage != SQLITE_TEXT)
            return real != 0;
        if (text == QLatin1StringView("1")
            || text.compare(QLatin1StringView("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text == QLatin1StringView("0")
            || text.compare(QLatin1StringView("false"), Qt::CaseInsensitive) == 0)
            return false;
        return text;
    case TypeClass::DateTime:
        if (storage == SQLITE_TEXT) {
            const QDateTime value = parseDateTime(text);
            return value.isValid() ? QVariant(value) : QVariant(text);
        }
        break;
    case TypeClass::Date:
        if (storage == SQLITE_TEXT) {
            const QDate value = QDate::fromString(text.left(10), Qt::ISODate);
            return value.isValid() ? QVariant(value) : QVariant(text);
        }
        break;
    case TypeClass::Unknown:
        break;
    case TypeClass::Binary:
    case TypeClass::Text:
        if (storage == SQLITE_INTEGER)
            return QString::number(integer);
        if (storage == SQLITE_FLOAT)
            return QString::number(real, 'g', 15);
        return text;
    }
    // Values the declared type does not explain keep their stored kind.
    if (storage == SQLITE_INTEGER)
        return QVariant::fromValue<qlonglong>(integer);
    if (storage == SQLITE_FLOAT)
        return real;
    return text;
}

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

// The triggers that number an IDENTITY column: a row inserted without a value gets seed, then
// the last number + step; an explicit value is refused (544), as is changing a number (8102).
QString identitySql(const QString &table, const Identity &identity)
{
    const QString t = quoteName(table);
    const QString c = quoteName(identity.column);
    const QString key = quoteText(table);
    return QStringLiteral(
        "CREATE TABLE IF NOT EXISTS zt_identity (tbl TEXT PRIMARY KEY COLLATE NOCASE, "
        "seed INTEGER NOT NULL, step INTEGER NOT NULL, last INTEGER);"
        "INSERT OR REPLACE INTO zt_identity (tbl, seed, step, last) VALUES (%1, %2, %3, NULL);"
        "CREATE TRIGGER %4 BEFORE INSERT ON %5 WHEN NEW.%6 IS NOT NULL "
        "BEGIN SELECT RAISE(ABORT, %7); END;"
        "CREATE TRIGGER %8 AFTER INSERT ON %5 WHEN NEW.%6 IS NULL BEGIN "
        "UPDATE zt_identity SET last = CASE WHEN last IS NULL THEN seed ELSE last + step END WHERE tbl = %1;"
        "UPDATE %5 SET %6 = (SELECT last FROM zt_identity WHERE tbl = %1) WHERE rowid = NEW.rowid; END;"
        "CREATE TRIGGER %9 BEFORE UPDATE OF %6 ON %5 WHEN OLD.%6 IS NOT NULL AND NEW.%6 IS NOT OLD.%6 "
        "BEGIN SELECT RAISE(ABORT, %10); END;")
        .arg(key, QString::number(identity.seed), QString::number(identity.step),
            quoteName(QStringLiteral("zt_identity_%1_explicit").arg(table)), t, c,
            quoteText(QStringLiteral("zt:544:") + table),
            quoteName(QStringLiteral("zt_identity_%1_number").arg(table)),
            quoteName(QStringLiteral("zt_identity_%1_fixed").arg(table)),
            quoteText(QStringLiteral("zt:8102:") + identity.column));
}

// The triggers that keep a char/varchar column in its code page: a value it cannot hold is
// stored as SQL Server stores it, each character that does not fit as '?'.
QString codePageSql(const QString &table, const QString &column, int codePage)
{
    const QString t = quoteName(table);
    const QString c = quoteName(column);
    const QString fitted = QStringLiteral("%1(NEW.%2, %3)")
                               .arg(QLatin1StringView(CodePageFunction), c, QString::number(codePage));
    const QString trigger = QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 WHEN NEW.%4 IS NOT %5 BEGIN "
                                           "UPDATE %3 SET %4 = %5 WHERE rowid = NEW.rowid; END;");
    return trigger.arg(quoteName(QStringLiteral("zt_codepage_%1_%2_i").arg(table, column)),
               QStringLiteral("INSERT"), t, c, fitted)
        + trigger.arg(quoteName(QStringLiteral("zt_codepage_%1_%2_u").arg(table, column)),
            QStringLiteral("UPDATE OF ") + c, t, c, fitted);
}

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
    , m_functions { &m_instance, &m_principal, m_database.name }
    , m_collation(Instance::recordedCollation(*m_database.file, text::defaultCollation()))
{
    registerServerFunctions(m_database.file->handle(), &m_functions);
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
    // As on SQL Server, a batch is compiled whole before any of it runs: a syntax error, or a
    // column missing from a table that exists at that point, fails the batch with nothing done.
    // Tables missing then are looked up when their statement runs, so a batch can create a table
    // and fill it. At run time the first error ends the batch; what ran before it stays.
    QList<Statement> statements;
    for (QList<Token> &tokens : splitStatements(tokenize(sql))) {
        fitLiterals(tokens, m_collation.codePage);
        statements.append(parseStatement(sql, tokens, m_collation));
    }
    for (const Statement &statement : std::as_const(statements))
        compile(statement);
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
    try {
        for (const Statement &statement : std::as_const(statements))
            runStatement(statement, params, nextParam, rows, changed);
    } catch (...) {
        if (together)
            commit();
        throw;
    }
    if (together)
        commit();
    if (nextParam != params.size())
        throw serverError(Msg::Other,
            { QStringLiteral("The statement has %1 parameter markers, but %2 values were "
                             "supplied.")
                    .arg(nextParam)
                    .arg(params.size()) });
    return changed;
}

void Session::compile(const Statement &st) const
{
    static const QStringList compiled = { QStringLiteral("select"), QStringLiteral("insert"),
        QStringLiteral("update"), QStringLiteral("delete"), QStringLiteral("with") };
    if (st.kind != Statement::Kind::Sqlite || !compiled.contains(st.verb))
        return;
    sqlite3 *db = m_database.file->handle();
    const QByteArray utf8 = st.text.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &raw, nullptr);
    const SqliteStatement prepared(raw);
    if (rc == SQLITE_OK)
        return;
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
}

void Session::runStatement(const Statement &st, const QList<QVariant> &params, qsizetype &nextParam,
    data::ResultSet *&rows, int &changed)
{
    if (st.kind == Statement::Kind::ReturnOnError)
        return; // reached only while no statement has failed
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
        m_instance.restoreDatabase(m_principal, st.names[0], st.text, st.replace);
        return;
    case Statement::Kind::BackupDatabase:
        m_instance.backupDatabase(m_principal, st.names[0], st.text, st.replace);
        return;
    case Statement::Kind::RestoreVerifyOnly:
        m_instance.verifyBackup(m_principal, st.text);
        return;
    case Statement::Kind::RestoreFileList:
        if (rows) {
            *rows = m_instance.backupFiles(st.text);
            rows = nullptr;
        }
        return;
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
    case Statement::Kind::ReturnOnError:
        return;
    }

    if (!st.object.isEmpty())
        requireCreateRight(st.object);
    sqlite3 *db = m_database.file->handle();
    const QByteArray utf8 = st.text.toUtf8();
    const char *tail = utf8.constData();
    while (tail && *tail) {
        sqlite3_stmt *raw = nullptr;
        const char *next = nullptr;
        if (sqlite3_prepare_v2(db, tail, -1, &raw, &next) != SQLITE_OK)
            throw fromSqlite(QString::fromUtf8(sqlite3_errmsg(db)), st.verb, m_database.name, st.lastToken);
        tail = next;
        if (!raw)
            continue; // only blanks or a comment were left
        SqliteStatement statement(raw);
        const int count = sqlite3_bind_parameter_count(raw);
        for (int i = 1; i <= count; ++i) {
            bindValue(raw, i, nextParam < params.size() ? params[nextParam] : QVariant());
            ++nextParam;
        }
        const int columnCount = sqlite3_column_count(raw);
        data::ResultSet *target = columnCount > 0 ? rows : nullptr;
        QList<TypeClass> types;
        if (target) {
            for (int i = 0; i < columnCount; ++i) {
                const char *declared = sqlite3_column_decltype(raw, i);
                const QString type = plainType(declared);
                target->columns.append({ QString::fromUtf8(sqlite3_column_name(raw, i)), type,
                    QString::fromUtf8(declared).toLower(), columnCodePage(raw, i, type) });
                types.append(typeClass(type));
            }
        }
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            if (!target)
                continue;
            QList<QVariant> row;
            row.reserve(columnCount);
            for (int i = 0; i < columnCount; ++i)
                row.append(columnValue(raw, i, types[i]));
            target->rows.append(row);
        }
        if (rc != SQLITE_DONE)
            throw fromSqlite(QString::fromUtf8(sqlite3_errmsg(db)), st.verb, m_database.name, st.lastToken);
        if (target)
            rows = nullptr; // only the first result set of a batch is returned
        changed = changesRows(st.verb) ? sqlite3_changes(db) : -1;
    }
}

void Session::createTable(const Statement &st)
{
    const QString &table = st.names[0];
    requireCreateRight(QStringLiteral("TABLE"));
    SqliteFile &file = *m_database.file;
    try {
        const bool exists = file.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN "
                                                      "('table', 'view') AND name = ? COLLATE NOCASE"),
                                    { table })
                                .toLongLong()
            > 0;
        if (exists)
            throw serverError(Msg::ObjectExists, { table });
        file.exec(QStringLiteral("SAVEPOINT zt_create_table"));
        try {
            file.exec(st.text);
            if (st.identity)
                file.exec(identitySql(table, *st.identity));
            for (const auto &[column, codePage] : st.codePageColumns)
                file.exec(codePageSql(table, column, codePage));
            file.exec(QStringLiteral("RELEASE zt_create_table"));
        } catch (const SqliteFile::Failure &) {
            file.exec(QStringLiteral("ROLLBACK TO zt_create_table; RELEASE zt_create_table"));
            throw;
        }
    } catch (const SqliteFile::Failure &failure) {
        throw fromSqlite(failure.message, st.verb, m_database.name, st.lastToken);
    }
}

} // namespace zt::embedded
