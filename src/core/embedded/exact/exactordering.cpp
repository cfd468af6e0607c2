// Comparisons, ORDER BY, min, max and avg of exact numbers as SQL Server orders them.
#include "exactordering.h"

#include "exactscope.h"

#include <QMultiHash>
#include <QSet>

namespace zt::embedded {

namespace {

bool isComparison(const Token &t)
{
    return t.kind == Token::Kind::Symbol
        && (t.isSymbol(u'<') || t.isSymbol(u'>') || t.text == QLatin1StringView("<=")
            || t.text == QLatin1StringView(">="));
}

// A piece of the statement written otherwise: a token renamed, a comparison, a BETWEEN or an
// ORDER BY term. Edits nest (an operand holds a renamed min()); none overlaps another partly.
struct Edit
{
    enum class Kind { Rename, Compare, Between, Order };
    Kind kind = Kind::Rename;
    Span span;
    QString text; // Rename: the new name; Compare: the operator; Order: the direction ("" or " DESC")
    Span a, b, c; // Compare: the operands; Between: x, low, high; Order: the key's expression, the term's
    bool negated = false;
    QString key = {}; // Order: the key's expression written out (a compound's column)
};

bool isEquality(const Token &t)
{
    return t.kind == Token::Kind::Symbol
        && (t.isSymbol(u'=') || t.text == QLatin1StringView("<>") || t.text == QLatin1StringView("!=")
            || t.text == QLatin1StringView("=="));
}

bool isParameter(const Token &t)
{
    return t.kind == Token::Kind::Parameter || (t.kind == Token::Kind::Word && t.text.startsWith(u'@'));
}

class Orderer
{
public:
    Orderer(const ExactScope &scope, bool parameters)
        : m_scope(scope)
        , m_tokens(scope.tokens())
        , m_parameters(parameters)
    { }

    QString rewrite()
    {
        for (qsizetype i = 0; i < m_tokens.size(); ++i) {
            const Token &t = m_tokens[i];
            if (m_parameters && (isComparison(t) || isEquality(t)))
                parameterAt(i);
            if (m_parameters && t.is("values") && i > 0 && m_tokens[i - 1].isSymbol(u')'))
                valuesAt(i);
            if (isComparison(t))
                compareAt(i);
            else if (t.is("between"))
                betweenAt(i);
            else if (t.is("order") && i + 1 < m_tokens.size() && m_tokens[i + 1].is("by"))
                orderAt(i + 2);
            else if (t.kind == Token::Kind::Word && i + 1 < m_tokens.size() && m_tokens[i + 1].isSymbol(u'('))
                callAt(i);
        }
        if (m_edits.isEmpty() && m_inserts.isEmpty() && m_wrapped.isEmpty())
            return m_scope.text();
        for (qsizetype e = 0; e < m_edits.size(); ++e)
            m_starts.insert(m_edits[e].span.first, e);
        // An operand written twice keeps its parameter: ?1, ?2, ... in the order written.
        for (qsizetype i = 0; i < m_tokens.size(); ++i) {
            if (m_tokens[i].kind == Token::Kind::Parameter && m_tokens[i].text == QLatin1StringView("?"))
                m_markers.insert(i, QStringLiteral("?%1").arg(m_markers.size() + 1));
        }
        const QString &text = m_scope.text();
        QList<qsizetype> ancestors;
        return text.left(m_tokens.first().begin) + render({ 0, m_tokens.size() - 1 }, ancestors)
            + text.mid(m_tokens.last().end);
    }

private:
    bool add(Edit e)
    {
        for (const Edit &other : std::as_const(m_edits)) {
            const bool apart = e.span.last < other.span.first || other.span.last < e.span.first;
            const bool inside = e.span.first >= other.span.first && e.span.last <= other.span.last;
            const bool around = other.span.first >= e.span.first && other.span.last <= e.span.last;
            if (!apart && !inside && !around)
                return false;
        }
        m_edits.append(e);
        return true;
    }

    // a = ?, ? < a, SET a = ? of an exact-number a.
    void parameterAt(qsizetype k)
    {
        const Span left = m_scope.operandBefore(k), right = m_scope.operandAfter(k);
        if (left.isEmpty() || right.isEmpty())
            return;
        if (left.first == left.last && isParameter(m_tokens[left.first]) && m_scope.typeOf(right).isExact())
            m_wrapped.insert(left.first);
        if (right.first == right.last && isParameter(m_tokens[right.first]) && m_scope.typeOf(left).isExact())
            m_wrapped.insert(right.first);
    }

    // INSERT INTO t (a, b) VALUES (?, ?), ...: the parameters of exact-number columns.
    void valuesAt(qsizetype k)
    {
        const qsizetype open = m_scope.opening(k - 1);
        if (open < 1 || !m_tokens[open - 1].isName())
            return;
        const QString table = m_tokens[open - 1].text;
        QList<bool> exact;
        for (qsizetype i = open + 1; i < k - 1; ++i) {
            if (m_tokens[i].isName())
                exact.append(m_scope.typeOfName(table, m_tokens[i].text).isExact());
        }
        for (qsizetype at = k + 1; at < m_tokens.size() && m_tokens[at].isSymbol(u'(');) {
            const qsizetype close = m_scope.closing(at);
            if (close < 0)
                return;
            qsizetype column = 0, first = at + 1;
            for (qsizetype i = at + 1; i <= close; ++i) {
                if (i < close && !(m_scope.depth(i) == m_scope.depth(at) + 1 && m_tokens[i].isSymbol(u',')))
                    continue;
                if (i == first + 1 && isParameter(m_tokens[first]) && exact.value(column))
                    m_wrapped.insert(first);
                ++column;
                first = i + 1;
            }
            at = close + 1 < m_tokens.size() && m_tokens[close + 1].isSymbol(u',') ? close + 2
                                                                                   : m_tokens.size();
        }
    }

    void compareAt(qsizetype k)
    {
        const Span left = m_scope.operandBefore(k), right = m_scope.operandAfter(k);
        if (left.isEmpty() || right.isEmpty() || (!m_scope.mayHoldBlob(left) && !m_scope.mayHoldBlob(right)))
            return;
        add({ Edit::Kind::Compare, { left.first, right.last }, m_tokens[k].text, left, right, {} });
    }

    void betweenAt(qsizetype k)
    {
        const bool negated = k > 0 && m_tokens[k - 1].is("not");
        const Span x = m_scope.operandBefore(negated ? k - 1 : k), low = m_scope.operandAfter(k);
        if (x.isEmpty() || low.isEmpty() || low.last + 1 >= m_tokens.size()
            || !m_tokens[low.last + 1].is("and"))
            return;
        const Span high = m_scope.operandAfter(low.last + 1);
        if (high.isEmpty()
            || !(m_scope.mayHoldBlob(x) || m_scope.mayHoldBlob(low) || m_scope.mayHoldBlob(high)))
            return;
        if (m_parameters && m_scope.typeOf(x).isExact()) {
            for (const Span &bound : { low, high }) {
                if (bound.first == bound.last && isParameter(m_tokens[bound.first]))
                    m_wrapped.insert(bound.first);
            }
        }
        Edit e { Edit::Kind::Between, { x.first, high.last }, {}, x, low, high };
        e.negated = negated;
        add(e);
    }

    // The SELECT an ORDER BY at i belongs to, -1 for that of a window or of a compound SELECT.
    qsizetype ownerSelect(qsizetype i) const
    {
        const int level = m_scope.depth(i);
        qsizetype owner = -1;
        for (qsizetype j = i - 1; j >= 0 && m_scope.depth(j) >= level; --j) {
            if (m_scope.depth(j) != level)
                continue;
            const Token &t = m_tokens[j];
            if (t.is("union") || t.is("except") || t.is("intersect"))
                return -2;
            if (t.is("select") && owner < 0)
                owner = j;
        }
        return owner;
    }

    void orderAt(qsizetype from)
    {
        if (from >= m_tokens.size())
            return;
        m_order = from - 2;
        const qsizetype owner = ownerSelect(m_order);
        if (owner == -2 && (m_scope.depth(from) > 0 || !m_tokens.first().is("select")))
            return; // a compound SELECT's in parentheses: left as written
        const int level = m_scope.depth(from);
        qsizetype first = from;
        for (qsizetype i = from;; ++i) {
            const bool end = i >= m_tokens.size() || m_scope.depth(i) < level
                || (m_scope.depth(i) == level
                    && (m_tokens[i].isSymbol(u';') || m_tokens[i].is("limit") || m_tokens[i].is("offset")
                        || m_tokens[i].is("rows") || m_tokens[i].is("range") || m_tokens[i].is("groups")));
            if (end || (m_scope.depth(i) == level && m_tokens[i].isSymbol(u',')))
                term(owner, { first, i - 1 });
            if (end)
                return;
            if (m_scope.depth(i) == level && m_tokens[i].isSymbol(u','))
                first = i + 1;
        }
    }

    void term(qsizetype owner, Span s)
    {
        if (s.isEmpty())
            return;
        for (qsizetype i = s.first; i <= s.last; ++i) {
            if (m_tokens[i].is("collate"))
                return; // ordered as text
        }
        Span expression = s;
        if (expression.last - 1 > expression.first && m_tokens[expression.last - 1].is("nulls"))
            expression.last -= 2;
        if (expression.last > expression.first
            && (m_tokens[expression.last].is("asc") || m_tokens[expression.last].is("desc")))
            --expression.last;
        const QString &text = m_scope.text();
        const QString direction = expression.last < s.last ? u' '
                + text.mid(m_tokens[expression.last + 1].begin,
                    m_tokens[s.last].end - m_tokens[expression.last + 1].begin)
                                                           : QString();
        if (owner == -2) {
            compoundTerm(s, expression, direction);
            return;
        }
        Span key = expression;
        if (owner >= 0 && expression.first == expression.last) {
            const Token &t = m_tokens[expression.first];
            const QList<SelectItem> items = m_scope.selectItems(owner);
            if (t.kind == Token::Kind::Number) {
                const int n = t.text.toInt();
                for (int k = 0; k < n && k < items.size(); ++k) {
                    if (items[k].star)
                        return; // the columns of * are not counted
                }
                if (n < 1 || n > items.size())
                    return;
                key = items[n - 1].expression;
            } else if (t.isName()) {
                for (const SelectItem &item : items) {
                    if (item.alias.compare(t.text, Qt::CaseInsensitive) == 0)
                        key = item.expression;
                }
            }
        }
        if (!m_scope.mayHoldBlob(key))
            return;
        add({ Edit::Kind::Order, s, direction, key, expression, {} });
    }

    // A term of a compound SELECT's ORDER BY names a result column (by ordinal, alias or name),
    // which only a query around the compound can order by a key: SELECT * FROM (compound)
    // ORDER BY zt_sortkey("name"), "name".
    void compoundTerm(Span s, Span expression, const QString &direction)
    {
        if (expression.first != expression.last)
            return;
        QList<QList<SelectItem>> branches;
        for (qsizetype i = 0; i < m_tokens.size(); ++i) {
            if (m_scope.depth(i) == 0 && m_tokens[i].is("select"))
                branches.append(m_scope.selectItems(i));
        }
        const auto nameOf = [this](const SelectItem &item) {
            const Span e = item.expression;
            if (!item.alias.isEmpty())
                return item.alias;
            return m_scope.primaryFrom(e.first) == e.last && m_tokens[e.last].isName() ? m_tokens[e.last].text
                                                                                       : QString();
        };
        const QList<SelectItem> &first = branches.first();
        const Token &t = m_tokens[expression.first];
        qsizetype column = -1;
        for (qsizetype k = 0; k < first.size() && column < 0; ++k) {
            if (first[k].star)
                return; // the columns of * are not counted
            if (t.kind == Token::Kind::Number
                    ? t.text.toInt() == k + 1
                    : t.isName() && nameOf(first[k]).compare(t.text, Qt::CaseInsensitive) == 0)
                column = k;
        }
        const QString name = column < 0 ? QString() : nameOf(first[column]);
        bool exact = false;
        for (const QList<SelectItem> &items : std::as_const(branches))
            exact = exact || (column < items.size() && m_scope.mayHoldBlob(items[column].expression));
        if (name.isEmpty() || !exact)
            return;
        Edit edit { Edit::Kind::Order, s, direction, {}, expression, {} };
        edit.key = u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
        if (add(edit) && !m_wrapsCompound) {
            m_wrapsCompound = true;
            m_inserts.insert(0, QStringLiteral("SELECT * FROM ("));
            m_inserts.insert(m_order, QStringLiteral(") "));
        }
    }

    void callAt(qsizetype i)
    {
        const Token &name = m_tokens[i];
        const qsizetype close = m_scope.closing(i + 1);
        if (close < 0 || !(name.is("min") || name.is("max") || name.is("avg") || name.is("zt_div")))
            return;
        QList<Span> args;
        qsizetype first = i + 2;
        for (qsizetype j = i + 2; j <= close; ++j) {
            if (j == close || (m_scope.depth(j) == m_scope.depth(i + 1) + 1 && m_tokens[j].isSymbol(u','))) {
                args.append({ first, j - 1 });
                first = j + 1;
            }
        }
        const bool distinct = m_tokens[i + 2].is("distinct");
        const bool window = close + 1 < m_tokens.size() && m_tokens[close + 1].is("over");
        if (name.is("zt_div")) {
            if (args.size() != 2)
                return;
            const NumberType q = combined(m_scope.typeOf(args[0]), Operator::Divide, m_scope.typeOf(args[1]));
            if (q.kind == NumberType::Kind::Decimal || q.kind == NumberType::Kind::Money
                || q.kind == NumberType::Kind::SmallMoney)
                m_inserts.insert(
                    close, QStringLiteral(", %1").arg(q.kind == NumberType::Kind::Decimal ? q.scale : 4));
            return;
        }
        if (args.size() != 1)
            return;
        Span arg = args[0];
        if (distinct || m_tokens[arg.first].is("all"))
            ++arg.first;
        const NumberType t = m_scope.typeOf(arg);
        if (name.is("avg")) {
            const NumberType average = averaged(t);
            if (!distinct && (t.isExact() || t.isInteger()))
                m_inserts.insert(close,
                    QStringLiteral(", %1").arg(average.kind == NumberType::Kind::Decimal ? average.scale
                            : average.isInteger()                                        ? -1
                                                                                         : 4));
            return;
        }
        if (t.isExact() || (t.kind == NumberType::Kind::Unknown && m_scope.mayHoldBlob(arg)))
            add({ Edit::Kind::Rename, { i, i },
                (name.is("min") ? QStringLiteral("zt_min") : QStringLiteral("zt_max"))
                    + (window ? QStringLiteral("_over") : QString()),
                {}, {}, {} });
    }

    QString render(Span s, QList<qsizetype> &ancestors) const
    {
        const QString &text = m_scope.text();
        QString out;
        for (qsizetype i = s.first; i <= s.last;) {
            qsizetype chosen = -1;
            for (auto it = m_starts.constFind(i); it != m_starts.cend() && it.key() == i; ++it) {
                const Edit &e = m_edits[*it];
                if (e.span.last > s.last || ancestors.contains(*it))
                    continue;
                if (chosen < 0 || e.span.last > m_edits[chosen].span.last
                    || (e.span.last == m_edits[chosen].span.last && e.kind > m_edits[chosen].kind))
                    chosen = *it;
            }
            qsizetype last = i;
            if (chosen >= 0) {
                ancestors.append(chosen);
                out += renderEdit(m_edits[chosen], ancestors);
                ancestors.removeLast();
                last = m_edits[chosen].span.last;
            } else {
                for (auto it = m_inserts.constFind(i); it != m_inserts.cend() && it.key() == i; ++it)
                    out += *it;
                const auto marker = m_markers.constFind(i);
                const QString written = marker != m_markers.cend()
                    ? *marker
                    : text.mid(m_tokens[i].begin, m_tokens[i].end - m_tokens[i].begin);
                out += m_wrapped.contains(i) ? QStringLiteral("zt_exact_text(") + written + u')' : written;
            }
            if (last < s.last)
                out += text.mid(m_tokens[last].end, m_tokens[last + 1].begin - m_tokens[last].end);
            i = last + 1;
        }
        return out;
    }

    QString renderEdit(const Edit &e, QList<qsizetype> &ancestors) const
    {
        const auto compared = [&](const QString &x, const QString &op, const QString &y) {
            return QStringLiteral("coalesce(zt_cmp(%1, %3) %2 0, %1 %2 %3)").arg(x, op, y);
        };
        switch (e.kind) {
        case Edit::Kind::Rename:
            return e.text;
        case Edit::Kind::Compare:
            return compared(render(e.a, ancestors), e.text, render(e.b, ancestors));
        case Edit::Kind::Between: {
            const QString x = render(e.a, ancestors);
            return (e.negated ? QStringLiteral("NOT (%1 AND %2)") : QStringLiteral("(%1 AND %2)"))
                .arg(compared(x, QStringLiteral(">="), render(e.b, ancestors)),
                    compared(x, QStringLiteral("<="), render(e.c, ancestors)));
        }
        case Edit::Kind::Order:
            return QStringLiteral("zt_sortkey(%1)%2, %3%2")
                .arg(e.key.isEmpty() ? render(e.a, ancestors) : e.key, e.text, render(e.b, ancestors));
        }
        return {};
    }

    const ExactScope &m_scope;
    const QList<Token> &m_tokens;
    bool m_parameters;
    QList<Edit> m_edits;
    QMultiHash<qsizetype, qsizetype> m_starts; // edits by their first token
    QMultiHash<qsizetype, QString> m_inserts; // texts put before a token
    QHash<qsizetype, QString> m_markers; // the numbered form of each ?
    QSet<qsizetype> m_wrapped; // parameters read by zt_exact_text
    bool m_wrapsCompound = false;
    qsizetype m_order = -1; // the ORDER of the ORDER BY being read
};

bool hasTopLevelCompound(const ExactScope &scope)
{
    for (qsizetype i = 0; i < scope.tokens().size(); ++i) {
        const Token &t = scope.tokens()[i];
        if (scope.depth(i) == 0 && (t.is("union") || t.is("except") || t.is("intersect")))
            return true;
    }
    return false;
}

// The exact types of a compound SELECT's columns: its branches' types together; none where a
// branch has a * or other columns.
QStringList compoundTypes(const ExactScope &scope)
{
    QList<NumberType> types;
    qsizetype count = -1;
    for (qsizetype i = 0; i < scope.tokens().size(); ++i) {
        if (scope.depth(i) != 0 || !scope.tokens()[i].is("select"))
            continue;
        const QList<SelectItem> items = scope.selectItems(i);
        if (count >= 0 && items.size() != count)
            return {};
        for (qsizetype k = 0; k < items.size(); ++k) {
            if (items[k].star)
                return {};
            const NumberType t = scope.typeOf(items[k].expression);
            if (count < 0)
                types.append(t);
            else
                types[k] = unioned(types[k], t);
        }
        count = items.size();
    }
    QStringList declarations;
    for (const NumberType &t : std::as_const(types))
        declarations.append(t.isExact() ? t.declaration() : QString());
    return declarations;
}

} // namespace

ExactReading exactOrdering(sqlite3 *db, const QString &text, bool resultTypes, bool exactParameters)
{
    ExactReading reading;
    const QList<Token> tokens = tokenize(text);
    if (tokens.isEmpty()) {
        reading.text = text;
        return reading;
    }
    const ExactScope scope(db, text, tokens);
    if (resultTypes && tokens.first().is("select") && !hasTopLevelCompound(scope)) {
        const QList<SelectItem> items = scope.selectItems(0);
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items[i].star && reading.star >= 0)
                break; // a second *: the columns after the first are not told apart
            if (items[i].star)
                reading.star = i;
            const NumberType t = items[i].star ? NumberType {} : scope.typeOf(items[i].expression);
            reading.itemTypes.append(t.isExact() ? t.declaration() : QString());
        }
    } else if (resultTypes && tokens.first().is("select")) {
        reading.compound = true;
        reading.itemTypes = compoundTypes(scope);
    }
    reading.text = Orderer(scope, exactParameters).rewrite();
    return reading;
}

} // namespace zt::embedded
