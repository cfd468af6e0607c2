// T-SQL statements passed to SQLite: the walk over their tokens, the literals, operators,
// functions, collations and hints it rewrites, and the rewrites kept per thread. The rewriter's
// other parts are in passthroughnames.cpp and passthroughclauses.cpp (passthroughrewriter.h).
#include "passthrough.h"

#include "columnrules.h"
#include "data/sqlliteral.h"
#include "exact/exactlayer.h"
#include "passthroughrewriter.h"
#include "tsqlstatement.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace zt::embedded {

namespace {

bool isTableHint(const Token &t)
{
    for (const char *hint : { "nolock", "readuncommitted", "readcommitted", "repeatableread", "serializable",
             "holdlock", "updlock", "rowlock", "paglock", "tablock", "tablockx", "xlock", "readpast",
             "nowait", "noexpand" }) {
        if (t.is(hint))
            return true;
    }
    return false;
}

bool isAscii(QStringView text)
{
    for (const QChar ch : text) {
        if (ch.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool isStringLiteral(const Token &t)
{
    return t.kind == Token::Kind::String || t.kind == Token::Kind::NString;
}

} // namespace

QString PassThroughRewriter::rewrite(qsizetype from, qsizetype to) const
{
    if (from >= to)
        return {};
    QList<Edit> edits;
    for (qsizetype i = from; i < to; ++i)
        i = rewriteAt(i, to, edits);
    addExactArithmetic(from, to, edits);
    // At one place, insertions before a replacement; otherwise in the order made.
    std::stable_sort(edits.begin(), edits.end(), [](const Edit &a, const Edit &b) {
        return a.begin < b.begin || (a.begin == b.begin && a.begin == a.end && b.begin != b.end);
    });
    QString out;
    qsizetype copied = m_tokens[from].begin;
    for (const Edit &e : std::as_const(edits)) {
        out += m_batch.mid(copied, e.begin - copied) + e.with;
        copied = std::max(copied, e.end);
    }
    return out + m_batch.mid(copied, m_tokens[to - 1].end - copied);
}

// + - * as the exact functions, put before the other edits; an expression part of which
// another edit replaces (a name, a cast rewritten whole) is left as written.
void PassThroughRewriter::addExactArithmetic(qsizetype from, qsizetype to, QList<Edit> &edits) const
{
    const QList<ArithmeticEdit> exact = exactArithmetic(m_tokens, from, to);
    if (exact.isEmpty())
        return;
    QSet<int> overlapping;
    for (const ArithmeticEdit &a : exact) {
        for (const Edit &e : std::as_const(edits)) {
            if (e.begin != e.end && a.begin > e.begin && a.begin < e.end)
                overlapping.insert(a.chain);
        }
    }
    QList<Edit> all;
    for (const ArithmeticEdit &a : exact) {
        if (!overlapping.contains(a.chain))
            all.append({ a.begin, a.end, a.with });
    }
    // A + written as || beside a string literal is zt_add's to join where its chain is written.
    edits.removeIf([&all](const Edit &e) {
        return e.with == QLatin1StringView("||")
            && std::any_of(all.cbegin(), all.cend(),
                [&e](const Edit &a) { return a.begin < a.end && a.begin <= e.begin && e.end <= a.end; });
    });
    edits = all + edits;
}

// Whether the sign at i stands before an operand rather than between two.
bool PassThroughRewriter::isUnary(qsizetype i) const
{
    if (i == 0)
        return true;
    const Token &before = m_tokens[i - 1];
    if (before.kind == Token::Kind::Symbol)
        return !before.isSymbol(u')');
    for (const char *word : { "select", "values", "then", "else", "when", "and", "or", "not", "set", "return",
             "between", "where", "having", "on", "is", "like", "in" }) {
        if (before.is(word))
            return true;
    }
    return false;
}

void PassThroughRewriter::replace(
    QList<Edit> &edits, qsizetype first, qsizetype last, const QString &with) const
{
    edits.append({ m_tokens[first].begin, m_tokens[last].end, with });
}

// Rewrites what begins at token i; returns the last token it consumed.
qsizetype PassThroughRewriter::rewriteAt(qsizetype i, qsizetype to, QList<Edit> &edits) const
{
    const Token &t = m_tokens[i];
    // Most tokens are copied as written: these are told apart at once.
    switch (t.kind) {
    case Token::Kind::Parameter:
        return i;
    case Token::Kind::String:
        if (isAscii(QStringView(m_batch).mid(t.begin, t.end - t.begin)))
            return i;
        break;
    case Token::Kind::Number:
        if (!t.text.startsWith(QLatin1StringView("0x"), Qt::CaseInsensitive)) {
            if (QString exact = exactLiteral(t.text); !exact.isEmpty()) {
                // A sign of its own goes into the blob, which SQLite would negate as a double.
                const bool negated = i > 0 && m_tokens[i - 1].isSymbol(u'-') && isUnary(i - 1);
                replace(
                    edits, negated ? i - 1 : i, i, negated ? exact.insert(2, QStringLiteral("2d")) : exact);
            }
            return i;
        }
        break;
    case Token::Kind::Symbol:
        if (!t.isSymbol(u'+') && !t.isSymbol(u'/') && !t.isSymbol(u'%'))
            return i;
        break;
    default:
        break;
    }
    const bool call = i + 1 < to && m_tokens[i + 1].isSymbol(u'(');
    if (t.kind == Token::Kind::NString || t.kind == Token::Kind::String) {
        // N'' as SQLite reads it; a plain literal as its code page holds it (see fitLiterals).
        replace(edits, i, i, data::plainLiteral(t.text));
    } else if (t.kind == Token::Kind::Number
        && t.text.startsWith(QLatin1StringView("0x"), Qt::CaseInsensitive)) {
        QString hex = t.text.mid(2);
        if (hex.size() % 2)
            hex.prepend(u'0');
        replace(edits, i, i, QStringLiteral("X'") + hex + u'\'');
    } else if (t.isSymbol(u'+') && i > 0 && i + 1 < to
        && (isStringLiteral(m_tokens[i - 1]) || isStringLiteral(m_tokens[i + 1]))) {
        replace(edits, i, i, QStringLiteral("||")); // T-SQL joins texts with +
    } else if ((t.isSymbol(u'/') || t.isSymbol(u'%')) && i > 0 && i + 1 < to) {
        guardDivisor(i + 1, to, edits);
    } else if (t.isName() && i + 1 < to && m_tokens[i + 1].isSymbol(u'.')
        && (i == 0 || !m_tokens[i - 1].isSymbol(u'.'))) {
        if (const qsizetype last = rewriteName(i, to, edits); last >= 0)
            return last;
        if (t.kind == Token::Kind::Identifier && t.text.contains(u']'))
            replace(edits, i, i, quoteName(t.text));
    } else if (t.kind == Token::Kind::Identifier && t.text.contains(u']')) {
        replace(edits, i, i, quoteName(t.text));
    } else if (t.is("collate") && i + 1 < to && m_tokens[i + 1].isName()) {
        // T-SQL collation names compare as the server's own collations.
        replace(edits, i + 1, i + 1, collationFor(QStringLiteral("nvarchar"), m_tokens[i + 1].text));
        return i + 1;
    } else if (t.kind == Token::Kind::Word && t.text.startsWith(QLatin1StringView("@@"))) {
        // @@VERSION and the like: the server's own values, answered by a function.
        replace(
            edits, i, i, QStringLiteral("zt_server_variable(") + data::plainLiteral(t.text.mid(2)) + u')');
    } else if (call && (t.is("convert") || t.is("cast"))) {
        return rewriteCast(i, to, edits);
    } else if (t.is("with") && call) {
        const qsizetype close = closingParenthesis(m_tokens, i + 1, to);
        bool hints = close > i + 2;
        for (qsizetype j = i + 2; hints && j < close; ++j)
            hints = isTableHint(m_tokens[j]) || m_tokens[j].isSymbol(u',');
        if (hints) {
            replace(edits, i, close, QString()); // table hints: SQLite locks by itself
            return close;
        }
    } else if (t.is("select")) {
        rewriteTop(i, to, edits);
    } else if (t.is("offset")) {
        return rewriteOffset(i, to, edits);
    } else if (t.kind == Token::Kind::Word && call) {
        const QString function = sqliteFunction(t.text);
        if (function.endsWith(u')') && i + 2 < to && m_tokens[i + 2].isSymbol(u')')) {
            replace(edits, i, i + 2, function);
            return i + 2;
        }
        if (!function.isEmpty() && !function.endsWith(u')'))
            replace(edits, i, i, function);
    }
    return i;
}

// The operand after / or %: one primary (a sign, then a name, literal, call or (...)),
// which SQLite would divide by without complaint when it is 0; zt_divisor refuses it with
// 8134 as SQL Server does.
void PassThroughRewriter::guardDivisor(qsizetype at, qsizetype to, QList<Edit> &edits) const
{
    qsizetype last = at;
    if (m_tokens[last].isSymbol(u'-') || m_tokens[last].isSymbol(u'+'))
        ++last;
    if (last >= to)
        return;
    if (m_tokens[last].isSymbol(u'(')) {
        last = closingParenthesis(m_tokens, last, to);
    } else if (m_tokens[last].kind == Token::Kind::Word && last + 1 < to
        && m_tokens[last + 1].isSymbol(u'(')) {
        last = closingParenthesis(m_tokens, last + 1, to);
    } else {
        while (last + 2 < to && m_tokens[last + 1].isSymbol(u'.') && m_tokens[last + 2].isName())
            last += 2;
    }
    if (last < 0)
        return;
    const qsizetype begin = m_tokens[at].begin;
    const qsizetype end = m_tokens[last].end;
    edits.append({ begin, begin, QStringLiteral("zt_divisor(") });
    edits.append({ end, end, QStringLiteral(")") });
}

QString sqliteFunction(const QString &name)
{
    if (name.compare(QLatin1StringView("getdate"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("strftime('%Y-%m-%d %H:%M:%f','now','localtime')");
    if (name.compare(QLatin1StringView("isnull"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("ifnull");
    if (name.compare(QLatin1StringView("len"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("length");
    return {};
}

QString passThrough(const QString &batch, const QList<Token> &tokens, const QString &database)
{
    if (tokens.isEmpty())
        return {};
    // The data layer sends the same short statements again and again (a row posted, a list
    // read): their rewrites are kept, per thread, as the rewrite depends on the text and the
    // database alone. Long texts (base-data batches) are rewritten each time.
    constexpr qsizetype LongestKept = 4096;
    constexpr qsizetype Kept = 512;
    const qsizetype begin = tokens.first().begin;
    const qsizetype length = tokens.last().end - begin;
    if (length > LongestKept)
        return PassThroughRewriter(batch, tokens, database).rewrite(0, tokens.size());
    thread_local QHash<QString, QString> rewrites;
    QString key = database;
    key += u'\0';
    key += QStringView(batch).mid(begin, length);
    if (const auto found = rewrites.constFind(key); found != rewrites.cend())
        return *found;
    QString rewritten = PassThroughRewriter(batch, tokens, database).rewrite(0, tokens.size());
    if (rewrites.size() >= Kept)
        rewrites.clear();
    rewrites.insert(key, rewritten);
    return rewritten;
}

} // namespace zt::embedded
