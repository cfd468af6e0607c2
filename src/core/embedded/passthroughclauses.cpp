// CAST and CONVERT, TOP, and OFFSET ... FETCH in a statement passed to SQLite.
#include "passthroughrewriter.h"

namespace zt::embedded {

namespace {

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
    if (isOneOf(name, { "decimal", "numeric", "money", "smallmoney" })) // exact, see exact/exactnumbers.h
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

} // namespace

qsizetype PassThroughRewriter::rewriteCast(qsizetype i, qsizetype to, QList<Edit> &edits) const
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
void PassThroughRewriter::rewriteTop(qsizetype i, qsizetype to, QList<Edit> &edits) const
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
qsizetype PassThroughRewriter::rewriteOffset(qsizetype i, qsizetype to, QList<Edit> &edits) const
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

} // namespace zt::embedded
