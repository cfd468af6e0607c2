#include "sqltext.h"

#include "data/dataerror.h"
#include "embedded/servererror.h"

#include <QRegularExpression>

namespace zt::tds {

namespace {

const QString EmbeddedPrefix = QStringLiteral("[ztwizard][SQL Server]");

int severityOf(int number)
{
    switch (number) {
    case 3621:
        return 0; // "The statement has been terminated.": information
    case 137:
    case 102:
    case 105:
    case 195:
        return 15;
    case 262:
    case 2627:
    case 3110:
    case 18456:
    case 18452:
        return 14;
    case 3701:
    case 4060:
        return 11;
    default:
        return 16;
    }
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$';
}

} // namespace

QStringList declaredNames(const QString &declarations)
{
    static const QRegularExpression name(QStringLiteral("(?:^|,)\\s*(@[A-Za-z0-9_@#$]+)"));
    QStringList names;
    for (const QRegularExpressionMatch &m : name.globalMatch(declarations))
        names << m.captured(1);
    return names;
}

BoundStatement bindNamed(const QString &sql, const QList<RpcParam> &values)
{
    BoundStatement out;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto copyUntil = [&](qsizetype end) {
        out.sql += sql.mid(i, end - i);
        i = end;
    };
    while (i < n) {
        const QChar c = sql.at(i);
        if (c == u'\'' || c == u'"' || c == u'[') {
            const QChar close = c == u'[' ? u']' : c;
            qsizetype j = i + 1;
            for (; j < n; ++j) {
                if (sql.at(j) == close) {
                    if (j + 1 < n && sql.at(j + 1) == close) {
                        ++j; // a doubled closing character stands for itself
                        continue;
                    }
                    break;
                }
            }
            copyUntil(std::min(j + 1, n));
        } else if (c == u'-' && i + 1 < n && sql.at(i + 1) == u'-') {
            const qsizetype end = sql.indexOf(u'\n', i);
            copyUntil(end < 0 ? n : end);
        } else if (c == u'/' && i + 1 < n && sql.at(i + 1) == u'*') {
            const qsizetype end = sql.indexOf(QLatin1StringView("*/"), i + 2);
            copyUntil(end < 0 ? n : end + 2);
        } else if (c == u'@' && (i == 0 || !isNameChar(sql.at(i - 1)))) {
            qsizetype j = i + 1;
            while (j < n && isNameChar(sql.at(j)))
                ++j;
            const QString name = sql.mid(i, j - i);
            const auto found = std::find_if(values.begin(), values.end(),
                [&](const RpcParam &p) { return p.name.compare(name, Qt::CaseInsensitive) == 0; });
            if (found == values.end()) {
                copyUntil(j);
            } else {
                out.sql += u'?';
                out.params.append(found->value);
                i = j;
            }
        } else {
            out.sql += c;
            ++i;
        }
    }
    return out;
}

QString rewriteTopOne(const QString &sql)
{
    static const QRegularExpression update(
        QStringLiteral("^\\s*UPDATE\\s+TOP\\s*\\(\\s*1\\s*\\)\\s+(\\S+)\\s+SET\\s+(.*?)\\s+WHERE\\s+(.*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression remove(
        QStringLiteral("^\\s*DELETE\\s+TOP\\s*\\(\\s*1\\s*\\)\\s+(?:FROM\\s+)?(\\S+)\\s+WHERE\\s+(.*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QRegularExpressionMatch m = update.match(sql);
    if (m.hasMatch()) {
        return QStringLiteral("UPDATE %1 SET %2 WHERE rowid = (SELECT rowid FROM %1 WHERE %3 LIMIT 1)")
            .arg(m.captured(1), m.captured(2), m.captured(3));
    }
    m = remove.match(sql);
    if (m.hasMatch()) {
        return QStringLiteral("DELETE FROM %1 WHERE rowid = (SELECT rowid FROM %1 WHERE %2 LIMIT 1)")
            .arg(m.captured(1), m.captured(2));
    }
    return sql;
}

ServerMessage serverMessage(int number, const QString &text)
{
    ServerMessage m;
    m.number = number;
    m.severity = severityOf(number);
    m.text = text;
    return m;
}

QList<ServerMessage> messagesOf(const data::DataError &error)
{
    const QString &text = error.message();
    if (!text.startsWith(EmbeddedPrefix))
        return { serverMessage(50000, text) };
    QList<ServerMessage> messages;
    const QStringList parts = text.split(EmbeddedPrefix, Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString message = part.trimmed();
        const int number = embedded::messageNumber(message);
        messages.append(serverMessage(number == 0 ? 50000 : number, message));
    }
    return messages;
}

} // namespace zt::tds
