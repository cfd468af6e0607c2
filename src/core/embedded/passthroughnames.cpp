// Names of several parts in a statement passed to SQLite: the current database and schema
// dropped, the catalogue views renamed.
#include "passthrough.h"

#include "passthroughrewriter.h"
#include "servererror.h"
#include "tsqlstatement.h"

namespace zt::embedded {

namespace {

// The catalogue views the server offers, as schema.view in lower case.
const QStringList CatalogViews = { QStringLiteral("sys.databases"), QStringLiteral("sys.tables"),
    QStringLiteral("sys.objects"), QStringLiteral("sys.columns"), QStringLiteral("sys.schemas"),
    QStringLiteral("information_schema.tables"), QStringLiteral("information_schema.columns"),
    QStringLiteral("sys.master_files") };

// msdb's tables of the backup history, the only names of another database the server answers.
const QStringList HistoryTables = { QStringLiteral("backupset"), QStringLiteral("backupmediafamily") };

// Words after which a name of two parts names a table (not a column of a table).
bool introducesTable(const Token &t)
{
    for (const char *k : { "from", "join", "into", "update", "table" }) {
        if (t.is(k))
            return true;
    }
    return false;
}

QString renderName(const Token &t)
{
    return t.kind == Token::Kind::Identifier ? quoteName(t.text) : t.text;
}

} // namespace

// db.schema.name, db..name, schema.name: the current database and schema dbo name the
// object alone; sys.* and INFORMATION_SCHEMA.* are the catalogue views. Returns the last
// token of a rewritten name, or -1 when the name stays as written (alias.column).
qsizetype PassThroughRewriter::rewriteName(qsizetype i, qsizetype to, QList<Edit> &edits) const
{
    QList<const Token *> parts { &m_tokens[i] };
    qsizetype j = i;
    while (j + 1 < to && m_tokens[j + 1].isSymbol(u'.')) {
        if (j + 2 < to && m_tokens[j + 2].isName()) {
            parts << &m_tokens[j + 2];
            j += 2;
        } else if (j + 2 < to && m_tokens[j + 2].isSymbol(u'.')) {
            parts << nullptr;
            j += 1;
        } else {
            break;
        }
    }
    if (parts.size() < 2 || !parts.last())
        return -1;
    auto lower = [](const Token *p) { return p ? p->text.toLower() : QString(); };
    const QString written = m_batch.mid(m_tokens[i].begin, m_tokens[j].end - m_tokens[i].begin);
    const bool schemaSecond = parts.size() >= 3
        && isOneOf(lower(parts[1]), { "", "dbo", "sys", "information_schema" })
        && lower(parts[0]) != QLatin1StringView("dbo");
    QList<const Token *> rest = parts;
    if (schemaSecond && lower(parts[0]) == QLatin1StringView("msdb")
        && lower(parts[1]) != QLatin1StringView("sys") && HistoryTables.contains(lower(parts[2]))) {
        QString name = QString::fromLatin1(CatalogPrefix) + QStringLiteral("msdb_") + lower(parts[2]);
        for (qsizetype k = 3; k < parts.size(); ++k)
            name += u'.' + renderName(*parts[k]);
        replace(edits, i, j, name);
        return j;
    }
    if (schemaSecond) {
        if (!m_database.isEmpty() && lower(parts[0]) != m_database)
            throw serverError(Msg::OtherDatabase, { written });
        rest.removeFirst();
        if (!rest.first())
            rest.removeFirst();
    } else if (lower(parts[0]) != QLatin1StringView("dbo")
        && !isOneOf(lower(parts[0]), { "sys", "information_schema" })) {
        if (parts.size() == 2 && i > 0 && introducesTable(m_tokens[i - 1])
            && !isOneOf(lower(parts[0]), { "main", "temp" }))
            throw serverError(Msg::InvalidObject, { written }); // a schema the server does not have
        return -1;
    }
    const QString schema = lower(rest.first());
    if (rest.size() >= 2 && schema == QLatin1StringView("dbo")) {
        rest.removeFirst();
    } else if (rest.size() >= 2
        && (schema == QLatin1StringView("sys") || schema == QLatin1StringView("information_schema"))) {
        const QString view = schema + u'.' + lower(rest[1]);
        if (!CatalogViews.contains(view))
            throw serverError(Msg::InvalidObject, { written });
        QString name = QString::fromLatin1(CatalogPrefix) + QString(view).replace(u'.', u'_');
        for (qsizetype k = 2; k < rest.size(); ++k)
            name += u'.' + renderName(*rest[k]);
        replace(edits, i, j, name);
        return j;
    }
    QStringList rendered;
    for (const Token *p : std::as_const(rest))
        rendered << renderName(*p);
    replace(edits, i, j, rendered.join(u'.'));
    return j;
}

} // namespace zt::embedded
