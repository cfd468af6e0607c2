// The statements of a session that steer its batch: options, variables, messages,
// transactions and procedures.
#include "catalog.h"
#include "columnvalues.h"
#include "exact/exactlayer.h"
#include "servererror.h"
#include "session.h"
#include "tsqlstatement.h"

#include <sqlite3.h>

namespace zt::embedded {

namespace {

bool isIntegerType(const QString &type)
{
    for (const char *t : { "int", "bigint", "smallint", "tinyint", "bit" }) {
        if (type == QLatin1StringView(t))
            return true;
    }
    return false;
}

// A value as the declared type of the variable holds it.
QVariant converted(const QVariant &value, const QString &declared)
{
    if (value.isNull())
        return value;
    const QString type = declared.section(u'(', 0, 0).trimmed();
    if (isIntegerType(type)) {
        if (value.typeId() == QMetaType::QString) {
            bool ok = false;
            const qlonglong n = value.toString().trimmed().toLongLong(&ok);
            if (!ok)
                throw serverError(
                    Msg::ConversionFailed, { QStringLiteral("varchar"), value.toString(), type });
            return n;
        }
        return qlonglong(value.toDouble());
    }
    if (type.contains(u"char") || type.contains(u"text") || type == QLatin1StringView("sysname"))
        return value.toString();
    return value;
}

// RAISERROR's message with its %s / %d arguments filled in.
QString formatted(QString text, const QList<QVariant> &args)
{
    qsizetype next = 0;
    for (qsizetype at = text.indexOf(u'%'); at >= 0 && at + 1 < text.size(); at = text.indexOf(u'%', at)) {
        const QChar conversion = text[at + 1];
        if (conversion == u'%') {
            text.remove(at, 1);
            ++at;
            continue;
        }
        if (conversion != u's' && conversion != u'd' && conversion != u'i' && conversion != u'u') {
            ++at;
            continue;
        }
        const QString arg = next < args.size()
            ? (args[next].isNull() ? QStringLiteral("(null)") : args[next].toString())
            : QStringLiteral("(null)");
        ++next;
        text.replace(at, 2, arg);
        at += arg.size();
    }
    return text;
}

} // namespace

void Session::reportCount(ResultSink &sink, qint64 count)
{
    m_functions.rowCount = count;
    sink.done(m_noCount ? -1 : count);
}

void Session::bindParameters(
    sqlite3_stmt *statement, const QList<QVariant> &params, qsizetype &nextParam) const
{
    const int count = sqlite3_bind_parameter_count(statement);
    for (int i = 1; i <= count; ++i) {
        const char *name = sqlite3_bind_parameter_name(statement, i);
        if (name && name[0] == '@') {
            const QString variable = QString::fromUtf8(name).toLower();
            if (const auto found = m_variables.constFind(variable); found != m_variables.cend()) {
                bindValue(statement, i, *found);
                continue;
            }
            if (nextParam >= params.size())
                throw serverError(Msg::UndeclaredVariable, { QString::fromUtf8(name) });
        }
        bindValue(statement, i, nextParam < params.size() ? params[nextParam] : QVariant());
        ++nextParam;
    }
}

QVariant Session::evaluate(const QString &select)
{
    if (select.isEmpty())
        return {};
    const qint64 rowCount = m_functions.rowCount; // an expression's SELECT counts no rows
    const std::optional<QList<QVariant>> row = lastRow(select);
    m_functions.rowCount = rowCount;
    return row ? row->value(0) : QVariant();
}

std::optional<QList<QVariant>> Session::lastRow(const QString &select)
{
    sqlite3 *db = m_database.file->handle();
    // Exact numbers compared and ordered by their values, as in a statement (exact/exactlayer.h).
    const std::optional<ExactReading> exact
        = exactStatement(db, QStringLiteral("select"), select, false, false);
    const QByteArray utf8 = (exact ? exact->text : select).toUtf8();
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &raw, nullptr) != SQLITE_OK)
        throw fromSqlite(
            QString::fromUtf8(sqlite3_errmsg(db)), QStringLiteral("select"), m_database.name, QString());
    const SqliteStatement statement(raw);
    qsizetype none = 0;
    bindParameters(raw, {}, none);
    std::optional<QList<QVariant>> last;
    qint64 rows = 0;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        ++rows;
        QList<QVariant> row;
        for (int i = 0; i < sqlite3_column_count(raw); ++i)
            row << columnValue(raw, i, TypeClass::Unknown);
        last = row;
    }
    if (rc != SQLITE_DONE)
        throw fromSqlite(
            QString::fromUtf8(sqlite3_errmsg(db)), QStringLiteral("select"), m_database.name, QString());
    m_functions.rowCount = rows;
    return last;
}

void Session::transaction(const QString &verb)
{
    sqlite3 *db = m_database.file->handle();
    int &count = m_functions.tranCount;
    if (count > 0 && sqlite3_get_autocommit(db))
        count = 0; // SQLite ended the transaction itself (a failed commit)
    try {
        if (verb == QLatin1StringView("begin")) {
            if (count == 0)
                m_database.file->exec(QStringLiteral("BEGIN"));
            ++count; // nested BEGINs only count, as on SQL Server
        } else if (verb == QLatin1StringView("commit")) {
            if (count == 0)
                throw serverError(Msg::CommitWithoutBegin);
            if (--count == 0)
                m_database.file->exec(QStringLiteral("COMMIT"));
        } else {
            if (count == 0)
                throw serverError(Msg::RollbackWithoutBegin);
            count = 0; // ROLLBACK undoes every level
            m_database.file->exec(QStringLiteral("ROLLBACK"));
        }
    } catch (const SqliteFile::Failure &failure) {
        throw fromSqlite(failure.message, verb, m_database.name, QString());
    }
}

void Session::runControl(const Statement &st, ResultSink &sink)
{
    switch (st.kind) {
    case Statement::Kind::SetOption:
        if (st.names[0] == QLatin1StringView("nocount"))
            m_noCount = st.add;
        m_functions.rowCount = 0; // other options: the embedded server has none to change
        return;
    case Statement::Kind::Transaction:
        transaction(st.names[0]);
        m_functions.rowCount = 0;
        return;
    case Statement::Kind::Declare:
        for (qsizetype i = 0; i < st.names.size(); ++i) {
            m_variableTypes.insert(st.names[i], st.types[i]);
            m_variables.insert(st.names[i], converted(evaluate(st.values[i]), st.types[i]));
        }
        return;
    case Statement::Kind::SetVariable: {
        for (const QString &name : st.names) {
            if (!m_variableTypes.contains(name))
                throw serverError(Msg::UndeclaredVariable, { name });
        }
        const std::optional<QList<QVariant>> row = lastRow(st.values[0]);
        if (row) {
            for (qsizetype i = 0; i < st.names.size(); ++i)
                m_variables.insert(st.names[i], converted(row->value(i), m_variableTypes.value(st.names[i])));
        }
        if (st.add)
            reportCount(sink, m_functions.rowCount);
        return;
    }
    case Statement::Kind::Print:
        sink.notice({ 0, 0, 1, evaluate(st.values[0]).toString() });
        m_functions.rowCount = 0;
        return;
    case Statement::Kind::RaiseError: {
        QList<QVariant> args;
        for (qsizetype i = 3; i < st.values.size(); ++i)
            args << evaluate(st.values[i]);
        const int severity = std::clamp(evaluate(st.values[1]).toInt(), 0, 18);
        const int state = std::clamp(evaluate(st.values[2]).toInt(), 0, 255);
        sink.notice(
            { 50000, severity, std::max(state, 1), formatted(evaluate(st.values[0]).toString(), args) });
        m_functions.rowCount = 0;
        return;
    }
    case Statement::Kind::Execute: {
        QList<QVariant> args;
        for (const QString &value : st.values)
            args << evaluate(value);
        callProcedure(st.names[0], args, sink);
        return;
    }
    default:
        return;
    }
}

void Session::callProcedure(const QString &name, const QList<QVariant> &args, ResultSink &sink)
{
    try {
        prepareCatalog(*m_database.file, m_instance, m_database.name);
        std::optional<data::ResultSet> rows
            = procedureResult(*m_database.file, m_functions, name.toLower(), args);
        if (!rows)
            throw serverError(Msg::ProcedureMissing, { name });
        const qint64 count = rows->rows.size();
        sink.resultSet(std::move(*rows));
        reportCount(sink, count);
    } catch (const SqliteFile::Failure &failure) {
        throw fromSqlite(failure.message, QStringLiteral("exec"), m_database.name, QString());
    }
}

} // namespace zt::embedded
