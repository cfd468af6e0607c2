#include "passthrough.h"

#include "arithmeticrewrite.h"
#include "columnrules.h"
#include "exactdecimal.h"
#include "servererror.h"
#include "tsqlstatement.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace zt::embedded {

namespace {

// A piece of the statement's text replaced (or, begin == end, inserted).
struct Edit
{
    qsizetype begin = 0;
    qsizetype end = 0;
    QString with;
};

// The catalogue views the server offers, as schema.view in lower case.
const QStringList CatalogViews = { QStringLiteral("sys.databases"), QStringLiteral("sys.tables"),
    QStringLiteral("sys.objects"), QStringLiteral("sys.columns"), QStringLiteral("sys.schemas"),
    QStringLiteral("information_schema.tables"), QStringLiteral("information_schema.columns") };

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

// Words after which a name of two parts names a table (not a column of a table).
bool introducesTable(const Token &t)
{
    for (const char *k : { "from", "join", "into", "update", "table" }) {
        if (t.is(k))
            return true;
    }
    return false;
}

// The first token in [from, to) at the outer level that is the symbol c or the keyword word.
qsizetype findOuter(const QList<Token> &tokens, qsizetype from, qsizetype to, char16_t c, const char *word)
{
    int depth = 0;
    for (qsizetype i = from; i < to; ++i) {
        const Token &t = tokens[i];
        if (depth == 0 && ((c && t.isSymbol(c)) || (word && t.is(word))))
            return i;
        if (t.isSymbol(u'('))
            ++depth;
        else if (t.isSymbol(u')'))
            --depth;
    }
    return -1;
}

bool isOneOf(const QString &name, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        if (name == QLatin1StringView(n))
            return true;
    }
    return false;
}

// CAST(expr AS type) / CONVERT(type, expr) in SQLite: text types cut to their size as SQL
// Server does, decimals rounded to their scale, dates kept as the text they are stored as.
QString castTo(const QString &expr, const QList<Token> &type)
{
    QString name;
    QStringList size;
    for (qsizetype i = 0; i < type.size(); ++i) {
        if (type[i].isSymbol(u'(')) {
            for (qsizetype j = i + 1; j < type.size() && !type[j].isSymbol(u')'); ++j) {
                if (!type[j].isSymbol(u','))
                    size << type[j].text.toLower();
            }
            break;
        }
        name += (name.isEmpty() ? QString() : QStringLiteral(" ")) + type[i].text.toLower();
    }
    const QString n = size.value(0);
    if (isOneOf(name, { "char", "varchar", "nchar", "nvarchar", "text", "ntext", "sysname" })) {
        if (!n.isEmpty() && n != QLatin1StringView("max"))
            return QStringLiteral("substr(CAST(%1 AS TEXT), 1, %2)").arg(expr, n);
        if (n.isEmpty() && isOneOf(name, { "char", "varchar", "nchar", "nvarchar" }))
            return QStringLiteral("substr(CAST(%1 AS TEXT), 1, 30)").arg(expr); // their size without one
        return QStringLiteral("CAST(%1 AS TEXT)").arg(expr);
    }
    if (isOneOf(name, { "int", "integer", "bigint", "smallint", "tinyint", "bit" }))
        return QStringLiteral("CAST(%1 AS INTEGER)").arg(expr);
    if (isOneOf(name, { "decimal", "numeric", "money", "smallmoney" })) // exact, see exactnumbers.h
        return QStringLiteral("zt_cast(%1, '%2')")
            .arg(expr,
                name.startsWith(u'm') || name.startsWith(u's')
                    ? name
                    : QStringLiteral("decimal(%1,%2)")
                          .arg(size.value(0).toInt() > 0 ? size.value(0).toInt() : 18)
                          .arg(size.value(1).toInt()));
    if (isOneOf(name, { "float", "real", "double precision" }))
        return QStringLiteral("CAST(%1 AS REAL)").arg(expr);
    if (name == QLatin1StringView("date"))
        return QStringLiteral("substr(CAST(%1 AS TEXT), 1, 10)").arg(expr);
    if (isOneOf(name, { "binary", "varbinary", "image" }))
        return QStringLiteral("CAST(%1 AS BLOB)").arg(expr);
    return QStringLiteral("CAST(%1 AS TEXT)").arg(expr);
}

bool isAscii(QStringView text)
{
    for (const QChar ch : text) {
        if (ch.unicode() >= 0x80)
            return false;
    }
    return true;
}

QString renderName(const Token &t)
{
    return t.kind == Token::Kind::Identifier ? quoteName(t.text) : t.text;
}

class Rewriter final
{
public:
    Rewriter(const QString &batch, const QList<Token> &tokens, const QString &database)
        : m_batch(batch)
        , m_tokens(tokens)
        , m_database(database.toLower())
    { }

    QString rewrite(qsizetype from, qsizetype to) const
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

private:
    // + - * as the exact functions, put before the other edits; an expression part of which
    // another edit replaces (a name, a cast rewritten whole) is left as written.
    void addExactArithmetic(qsizetype from, qsizetype to, QList<Edit> &edits) const
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
    bool isUnary(qsizetype i) const
    {
        if (i == 0)
            return true;
        const Token &before = m_tokens[i - 1];
        if (before.kind == Token::Kind::Symbol)
            return !before.isSymbol(u')');
        for (const char *word : { "select", "values", "then", "else", "when", "and", "or", "not", "set",
                 "return", "between", "where", "having", "on", "is", "like", "in" }) {
            if (before.is(word))
                return true;
        }
        return false;
    }

    void replace(QList<Edit> &edits, qsizetype first, qsizetype last, const QString &with) const
    {
        edits.append({ m_tokens[first].begin, m_tokens[last].end, with });
    }

    // Rewrites what begins at token i; returns the last token it consumed.
    qsizetype rewriteAt(qsizetype i, qsizetype to, QList<Edit> &edits) const
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
                    replace(edits, negated ? i - 1 : i, i,
                        negated ? exact.insert(2, QStringLiteral("2d")) : exact);
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
            replace(edits, i, i, quoteText(t.text));
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
            replace(edits, i, i, QStringLiteral("zt_server_variable(") + quoteText(t.text.mid(2)) + u')');
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
    void guardDivisor(qsizetype at, qsizetype to, QList<Edit> &edits) const
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

    static bool isStringLiteral(const Token &t)
    {
        return t.kind == Token::Kind::String || t.kind == Token::Kind::NString;
    }

    // db.schema.name, db..name, schema.name: the current database and schema dbo name the
    // object alone; sys.* and INFORMATION_SCHEMA.* are the catalogue views. Returns the last
    // token of a rewritten name, or -1 when the name stays as written (alias.column).
    qsizetype rewriteName(qsizetype i, qsizetype to, QList<Edit> &edits) const
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

    qsizetype rewriteCast(qsizetype i, qsizetype to, QList<Edit> &edits) const
    {
        const qsizetype close = closingParenthesis(m_tokens, i + 1, to);
        if (close < 0)
            return i;
        QList<Token> type;
        QString expr;
        if (m_tokens[i].is("cast")) {
            const qsizetype as = findOuter(m_tokens, i + 2, close, 0, "as");
            if (as < 0)
                return i;
            expr = rewrite(i + 2, as);
            type = m_tokens.mid(as + 1, close - as - 1);
        } else {
            const qsizetype comma = findOuter(m_tokens, i + 2, close, u',', nullptr);
            if (comma < 0)
                return i;
            qsizetype end = findOuter(m_tokens, comma + 1, close, u',', nullptr); // the style is not needed:
            if (end < 0) // dates are stored in the form of style 121
                end = close;
            type = m_tokens.mid(i + 2, comma - i - 2);
            expr = rewrite(comma + 1, end);
        }
        replace(edits, i, close, castTo(expr, type));
        return close;
    }

    // SELECT [DISTINCT] TOP n | TOP (n) ...: the same select ending in LIMIT n.
    void rewriteTop(qsizetype i, qsizetype to, QList<Edit> &edits) const
    {
        qsizetype top = i + 1;
        if (top < to && (m_tokens[top].is("distinct") || m_tokens[top].is("all")))
            ++top;
        if (top + 1 >= to || !m_tokens[top].is("top"))
            return;
        QString limit;
        qsizetype end = top + 1;
        if (m_tokens[end].isSymbol(u'(')) {
            const qsizetype close = closingParenthesis(m_tokens, end, to);
            if (close < 0)
                return;
            limit = rewrite(end + 1, close);
            end = close + 1;
        } else if (m_tokens[end].kind == Token::Kind::Number || m_tokens[end].kind == Token::Kind::Word) {
            limit = m_tokens[end].text;
            ++end;
        } else {
            return;
        }
        if (end + 1 < to && m_tokens[end].is("with") && m_tokens[end + 1].is("ties"))
            end += 2; // ties are not told apart: the first n rows
        replace(edits, top, end - 1, QString());
        int depth = 0;
        qsizetype at = end;
        for (; at < to; ++at) {
            const Token &t = m_tokens[at];
            if (t.isSymbol(u'(')) {
                ++depth;
            } else if (t.isSymbol(u')')) {
                if (depth-- == 0)
                    break;
            } else if (depth == 0 && (t.is("union") || t.is("except") || t.is("intersect"))) {
                break;
            }
        }
        const qsizetype position = at < to ? m_tokens[at].begin : m_tokens[to - 1].end;
        edits.append({ position, position, QStringLiteral(" LIMIT ") + limit + u' ' });
    }

    // OFFSET x ROWS [FETCH NEXT|FIRST y ROWS ONLY]: LIMIT y OFFSET x.
    qsizetype rewriteOffset(qsizetype i, qsizetype to, QList<Edit> &edits) const
    {
        auto rowsAt = [&](qsizetype from) {
            for (qsizetype k = from; k < to; ++k) {
                if (m_tokens[k].is("rows") || m_tokens[k].is("row"))
                    return k;
            }
            return qsizetype(-1);
        };
        const qsizetype rows = rowsAt(i + 1);
        if (rows <= i + 1)
            return i;
        const QString offset = rewrite(i + 1, rows);
        QString limit = QStringLiteral("-1");
        qsizetype last = rows;
        if (rows + 2 < to && m_tokens[rows + 1].is("fetch")
            && (m_tokens[rows + 2].is("next") || m_tokens[rows + 2].is("first"))) {
            const qsizetype fetchRows = rowsAt(rows + 3);
            if (fetchRows <= rows + 3 || fetchRows + 1 >= to || !m_tokens[fetchRows + 1].is("only"))
                return i;
            limit = rewrite(rows + 3, fetchRows);
            last = fetchRows + 1;
        }
        replace(edits, i, last, QStringLiteral("LIMIT %1 OFFSET %2").arg(limit, offset));
        return last;
    }

    const QString &m_batch;
    const QList<Token> &m_tokens;
    QString m_database;
};

} // namespace

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
        return Rewriter(batch, tokens, database).rewrite(0, tokens.size());
    thread_local QHash<QString, QString> rewrites;
    QString key = database;
    key += u'\0';
    key += QStringView(batch).mid(begin, length);
    if (const auto found = rewrites.constFind(key); found != rewrites.cend())
        return *found;
    QString rewritten = Rewriter(batch, tokens, database).rewrite(0, tokens.size());
    if (rewrites.size() >= Kept)
        rewrites.clear();
    rewrites.insert(key, rewritten);
    return rewritten;
}

} // namespace zt::embedded
