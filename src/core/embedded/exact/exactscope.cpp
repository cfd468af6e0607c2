// The names and types of a statement's expressions, for the exact ordering of exactordering.cpp
// and the result types of the session.
#include "exactscope.h"

#include "exactdecimal.h"

#include <QSet>

#include <algorithm>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

bool isOneOf(const Token &t, std::initializer_list<const char *> words)
{
    for (const char *w : words) {
        if (t.is(w))
            return true;
    }
    return false;
}

// The words after a table that are not its alias.
bool endsTable(const Token &t)
{
    return t.kind != Token::Kind::Identifier
        && (ExactScope::isKeyword(t)
            || isOneOf(t, { "indexed", "natural", "inner", "left", "right", "full", "outer", "cross" }));
}

NumberType sameOrUnknown(const QList<NumberType> &types)
{
    if (types.isEmpty())
        return {};
    for (const NumberType &t : types) {
        if (t.kind != types.first().kind || t.precision != types.first().precision
            || t.scale != types.first().scale)
            return {};
    }
    return types.first();
}

bool isOperator(const Token &t)
{
    return t.kind == Token::Kind::Symbol
        && (t.isSymbol(u'+') || t.isSymbol(u'-') || t.isSymbol(u'*') || t.isSymbol(u'/') || t.isSymbol(u'%')
            || t.text == QLatin1StringView("||"));
}

} // namespace

ExactScope::ExactScope(sqlite3 *db, const QString &text, const QList<Token> &tokens)
    : m_db(db)
    , m_text(text)
    , m_tokens(tokens)
{
    QList<qsizetype> open;
    m_depth.reserve(tokens.size());
    m_partner.fill(-1, tokens.size());
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (tokens[i].isSymbol(u')') && !open.isEmpty()) {
            m_partner[open.last()] = i;
            m_partner[i] = open.takeLast();
        }
        m_depth.append(int(open.size()));
        if (tokens[i].isSymbol(u'('))
            open.append(i);
    }
    readTables();
}

bool ExactScope::isKeyword(const Token &t)
{
    if (t.kind != Token::Kind::Word || t.text.size() < 2 || t.text.size() > 9)
        return false;
    static const QSet<QString> words = { QStringLiteral("select"), QStringLiteral("from"),
        QStringLiteral("where"), QStringLiteral("and"), QStringLiteral("or"), QStringLiteral("not"),
        QStringLiteral("on"), QStringLiteral("as"), QStringLiteral("by"), QStringLiteral("set"),
        QStringLiteral("values"), QStringLiteral("when"), QStringLiteral("then"), QStringLiteral("else"),
        QStringLiteral("case"), QStringLiteral("end"), QStringLiteral("is"), QStringLiteral("like"),
        QStringLiteral("glob"), QStringLiteral("in"), QStringLiteral("between"), QStringLiteral("exists"),
        QStringLiteral("distinct"), QStringLiteral("all"), QStringLiteral("union"), QStringLiteral("except"),
        QStringLiteral("intersect"), QStringLiteral("having"), QStringLiteral("group"),
        QStringLiteral("order"), QStringLiteral("limit"), QStringLiteral("offset"), QStringLiteral("insert"),
        QStringLiteral("update"), QStringLiteral("delete"), QStringLiteral("into"), QStringLiteral("join"),
        QStringLiteral("using"), QStringLiteral("with"), QStringLiteral("collate"), QStringLiteral("escape"),
        QStringLiteral("over"), QStringLiteral("partition"), QStringLiteral("rows"), QStringLiteral("range"),
        QStringLiteral("groups"), QStringLiteral("window"), QStringLiteral("filter"), QStringLiteral("asc"),
        QStringLiteral("desc"), QStringLiteral("nulls"), QStringLiteral("returning"),
        QStringLiteral("default"), QStringLiteral("isnull"), QStringLiteral("notnull"),
        QStringLiteral("regexp"), QStringLiteral("match") };
    return words.contains(t.text.toLower());
}

bool ExactScope::isBlobLiteral(qsizetype i) const
{
    return i + 1 < m_tokens.size() && m_tokens[i].is("x") && m_tokens[i + 1].kind == Token::Kind::String
        && m_tokens[i + 1].begin == m_tokens[i].end;
}

void ExactScope::readTables()
{
    for (qsizetype i = 0; i + 1 < m_tokens.size(); ++i) {
        const Token &t = m_tokens[i];
        if (t.is("from")) {
            qsizetype at = readTable(i + 1);
            while (at + 1 < m_tokens.size() && m_tokens[at + 1].isSymbol(u','))
                at = readTable(at + 2);
        } else if (isOneOf(t, { "join", "update", "into" })) {
            readTable(i + 1);
        } else if (t.is("select")) {
            for (const SelectItem &item : selectItems(i)) {
                if (!item.alias.isEmpty())
                    m_aliases[item.alias.toLower()].append(item.expression);
            }
        }
    }
}

// A table (or a derived table) and its alias from i; returns its last token.
qsizetype ExactScope::readTable(qsizetype i)
{
    if (i >= m_tokens.size())
        return i;
    QString table;
    qsizetype last = i;
    if (m_tokens[i].isSymbol(u'(')) {
        last = closing(i);
        if (last < 0)
            return m_tokens.size();
    } else if (m_tokens[i].isName() && !isKeyword(m_tokens[i])) {
        while (last + 2 < m_tokens.size() && m_tokens[last + 1].isSymbol(u'.') && m_tokens[last + 2].isName())
            last += 2; // main.t
        table = m_tokens[last].text.toLower();
    } else {
        return i;
    }
    QString alias;
    qsizetype next = last + 1;
    if (next < m_tokens.size() && m_tokens[next].is("as"))
        ++next;
    if (next < m_tokens.size() && m_tokens[next].isName() && !endsTable(m_tokens[next])) {
        alias = m_tokens[next].text.toLower();
        last = next;
    }
    if (!table.isEmpty())
        m_tables.append({ table, alias });
    return last;
}

QList<SelectItem> ExactScope::selectItems(qsizetype select) const
{
    QList<SelectItem> items;
    qsizetype at = select + 1;
    if (at < m_tokens.size() && (m_tokens[at].is("distinct") || m_tokens[at].is("all")))
        ++at;
    const int level = m_depth[select];
    qsizetype first = at;
    for (qsizetype i = at;; ++i) {
        const bool end = i >= m_tokens.size() || m_depth[i] < level
            || (m_depth[i] == level
                && (m_tokens[i].isSymbol(u';')
                    || isOneOf(m_tokens[i],
                        { "from", "where", "group", "having", "order", "limit", "union", "except",
                            "intersect", "window" })));
        if (!end && !(m_depth[i] == level && m_tokens[i].isSymbol(u',')))
            continue;
        if (i > first) {
            SelectItem item { { first, i - 1 }, {}, m_tokens[i - 1].isSymbol(u'*') };
            const Token &last = m_tokens[i - 1];
            if (i - 1 > first && last.isName() && !isKeyword(last)) {
                const Token &before = m_tokens[i - 2];
                const bool named = before.is("as")
                    || (!before.isSymbol(u'.') && !isKeyword(before)
                        && (before.isName() || before.isSymbol(u')') || before.kind == Token::Kind::Number
                            || before.kind == Token::Kind::String || before.kind == Token::Kind::NString));
                if (named) {
                    item.alias = last.text;
                    item.expression.last = before.is("as") ? i - 3 : i - 2;
                }
            }
            items.append(item);
        }
        if (end)
            break;
        first = i + 1;
    }
    return items;
}

NumberType ExactScope::columnType(const QString &table, const QString &column) const
{
    const QString key = table + u'.' + column;
    if (const auto found = m_columns.constFind(key); found != m_columns.cend())
        return *found;
    const char *declared = nullptr;
    const QByteArray t = table.toUtf8(), c = column.toUtf8();
    NumberType type { NumberType::Kind::Other };
    const auto metadata = [&](const char *name) {
        return sqlite3_table_column_metadata(
                   m_db, nullptr, t.constData(), name, &declared, nullptr, nullptr, nullptr, nullptr)
            == SQLITE_OK;
    };
    if (metadata(c.constData())) {
        if (declared)
            type = typeOfDeclaration(QString::fromUtf8(declared));
    } else if (!metadata(nullptr)) {
        type = viewColumnType(table, column); // a view (not known here) or no table: read by a statement
    } else {
        type = {}; // no such column
    }
    m_columns.insert(key, type);
    return type;
}

NumberType ExactScope::viewColumnType(const QString &view, const QString &column) const
{
    auto found = m_views.find(view);
    if (found == m_views.end()) {
        QHash<QString, NumberType> columns;
        const QByteArray select = QStringLiteral("SELECT * FROM \"%1\" LIMIT 0")
                                      .arg(QString(view).replace(u'"', QStringLiteral("\"\"")))
                                      .toUtf8();
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(m_db, select.constData(), int(select.size()), &statement, nullptr)
            == SQLITE_OK) {
            for (int i = 0; i < sqlite3_column_count(statement); ++i)
                columns.insert(QString::fromUtf8(sqlite3_column_name(statement, i)).toLower(),
                    typeOfDeclaration(QString::fromUtf8(sqlite3_column_decltype(statement, i))));
        }
        sqlite3_finalize(statement);
        found = m_views.insert(view, columns);
    }
    return found->value(column);
}

NumberType ExactScope::aliasType(const QString &alias) const
{
    const auto found = m_aliases.constFind(alias);
    if (found == m_aliases.cend() || m_nesting > 8)
        return {};
    ++m_nesting;
    QList<NumberType> types;
    for (const Span &s : *found)
        types.append(typeOf(s));
    --m_nesting;
    return sameOrUnknown(types);
}

QList<NumberType> ExactScope::nameTypes(const QString &qualifier, const QString &column) const
{
    const QString name = column.toLower();
    QList<NumberType> types;
    for (const auto &[table, alias] : m_tables) {
        if (!qualifier.isEmpty() && qualifier != alias && (qualifier != table || !alias.isEmpty()))
            continue;
        if (const NumberType t = columnType(table, name); t.kind != NumberType::Kind::Unknown)
            types.append(t);
    }
    if (types.isEmpty() || qualifier.isEmpty()) {
        if (const NumberType t = aliasType(name); t.kind != NumberType::Kind::Unknown)
            types.append(t);
    }
    return types;
}

NumberType ExactScope::typeOfName(const QString &qualifier, const QString &column) const
{
    return sameOrUnknown(nameTypes(qualifier.toLower(), column));
}

QList<Span> ExactScope::arguments(qsizetype open) const
{
    QList<Span> args;
    const qsizetype close = closing(open);
    qsizetype first = open + 1;
    for (qsizetype i = open + 1; close > open && i <= close; ++i) {
        if (i == close || (m_depth[i] == m_depth[open] + 1 && m_tokens[i].isSymbol(u','))) {
            if (i > first)
                args.append({ first, i - 1 });
            first = i + 1;
        }
    }
    return args;
}

NumberType ExactScope::callType(Span s) const
{
    const Token &name = m_tokens[s.first];
    QList<Span> args = arguments(s.first + 1);
    if (!args.isEmpty() && (m_tokens[args[0].first].is("distinct") || m_tokens[args[0].first].is("all")))
        ++args[0].first;
    const auto arg = [&](int k) { return k < args.size() ? typeOf(args[k]) : NumberType {}; };
    if (args.size() >= 2) {
        static const std::pair<const char *, Operator> operators[]
            = { { "zt_add", Operator::Add }, { "zt_sub", Operator::Subtract },
                  { "zt_mul", Operator::Multiply }, { "zt_div", Operator::Divide } };
        for (const auto &[function, op] : operators) {
            if (name.is(function))
                return combined(arg(0), op, arg(1));
        }
    }
    if (name.is("count"))
        return { NumberType::Kind::Int };
    if (name.is("zt_cast") && args.size() == 2 && m_tokens[args[1].first].kind == Token::Kind::String)
        return typeOfDeclaration(m_tokens[args[1].first].text);
    if (args.size() != 1 && !name.is("ifnull") && !name.is("coalesce"))
        return {};
    if (name.is("sum"))
        return summed(arg(0));
    if (name.is("avg"))
        return averaged(arg(0));
    if (isOneOf(
            name, { "min", "max", "zt_min", "zt_max", "abs", "zt_neg", "zt_divisor", "ifnull", "coalesce" }))
        return arg(0);
    return {};
}

NumberType ExactScope::typeOf(Span s) const
{
    if (s.isEmpty() || s.last >= m_tokens.size())
        return {};
    const Token &t = m_tokens[s.first];
    if (t.isSymbol(u'(') && closing(s.first) == s.last)
        return typeOf({ s.first + 1, s.last - 1 });
    if ((t.isSymbol(u'-') || t.isSymbol(u'+')) && s.last > s.first)
        return typeOf({ s.first + 1, s.last });
    if (s.first == s.last) {
        switch (t.kind) {
        case Token::Kind::Number:
            return typeOfLiteral(t.text);
        case Token::Kind::String:
        case Token::Kind::NString:
            return { NumberType::Kind::Other };
        case Token::Kind::Word:
        case Token::Kind::Identifier:
            return isKeyword(t) || t.is("null") ? NumberType {} : sameOrUnknown(nameTypes({}, t.text));
        default:
            return {};
        }
    }
    if (s.last == s.first + 1 && isBlobLiteral(s.first)) {
        const QByteArray text = QByteArray::fromHex(m_tokens[s.last].text.toLatin1());
        return isExactBlob(text.constData(), int(text.size())) ? typeOfLiteral(QString::fromLatin1(text))
                                                               : NumberType { NumberType::Kind::Other };
    }
    if (s.last == s.first + 2 && t.isName() && m_tokens[s.first + 1].isSymbol(u'.')
        && m_tokens[s.last].isName())
        return sameOrUnknown(nameTypes(t.text.toLower(), m_tokens[s.last].text));
    if (t.kind == Token::Kind::Word && s.first + 1 < s.last && m_tokens[s.first + 1].isSymbol(u'(')) {
        const qsizetype close = closing(s.first + 1);
        const bool window
            = close + 1 < s.last && m_tokens[close + 1].is("over") && closing(close + 2) == s.last;
        if (close == s.last || window)
            return callType({ s.first, close });
    }
    return {};
}

bool ExactScope::mayHoldBlob(Span s) const
{
    if (s.isEmpty())
        return false;
    for (qsizetype i = s.first; i <= s.last; ++i) {
        const Token &t = m_tokens[i];
        if (isBlobLiteral(i) && i < s.last) {
            const QByteArray text = QByteArray::fromHex(m_tokens[i + 1].text.toLatin1());
            if (isExactBlob(text.constData(), int(text.size())))
                return true;
        }
        if (!t.isName() || isKeyword(t) || (i + 1 <= s.last && m_tokens[i + 1].isSymbol(u'.')))
            continue;
        if (i + 1 <= s.last && m_tokens[i + 1].isSymbol(u'(')) {
            if (isOneOf(t, { "zt_add", "zt_sub", "zt_mul", "zt_div", "zt_neg", "zt_cast", "sum", "avg" }))
                return true;
            continue;
        }
        const bool qualified = i >= 2 && m_tokens[i - 1].isSymbol(u'.') && m_tokens[i - 2].isName();
        const QList<NumberType> types
            = nameTypes(qualified ? m_tokens[i - 2].text.toLower() : QString(), t.text);
        if (std::any_of(types.cbegin(), types.cend(), [](const NumberType &n) { return n.isExact(); }))
            return true;
    }
    return typeOf(s).isExact();
}

Span ExactScope::operandBefore(qsizetype k) const
{
    qsizetype j = k - 1, first = -1;
    while (j >= 0) {
        const qsizetype start = primaryBefore(j);
        if (start < 0)
            break;
        first = start;
        j = start - 1;
        if (j < 0 || !isOperator(m_tokens[j]))
            break;
        if (j == 0 || primaryBefore(j - 1) < 0) {
            if (m_tokens[j].isSymbol(u'-') || m_tokens[j].isSymbol(u'+'))
                first = j; // a sign
            break;
        }
        --j;
    }
    if (first < 0 || (j >= 0 && (m_tokens[j].is("collate") || m_tokens[j].is("end"))))
        return {};
    return { first, k - 1 };
}

// The first token of the primary that ends at j, or -1.
qsizetype ExactScope::primaryBefore(qsizetype j) const
{
    const Token &t = m_tokens[j];
    if (t.isSymbol(u')')) {
        qsizetype open = opening(j);
        if (open < 0)
            return -1;
        if (open > 1 && m_tokens[open - 1].is("over") && m_tokens[open - 2].isSymbol(u')'))
            open = opening(open - 2); // f(x) OVER (...)
        if (open > 0 && m_tokens[open - 1].kind == Token::Kind::Word && !isKeyword(m_tokens[open - 1]))
            --open;
        return open;
    }
    if (t.kind == Token::Kind::String && j > 0 && isBlobLiteral(j - 1))
        return j - 1;
    if (t.kind == Token::Kind::Number || t.kind == Token::Kind::String || t.kind == Token::Kind::NString
        || t.kind == Token::Kind::Parameter || (t.isName() && !isKeyword(t))) {
        qsizetype first = j;
        while (first >= 2 && m_tokens[first - 1].isSymbol(u'.') && m_tokens[first - 2].isName())
            first -= 2;
        return first;
    }
    return -1;
}

Span ExactScope::operandAfter(qsizetype k) const
{
    qsizetype j = k + 1, last = -1;
    while (j < m_tokens.size()) {
        while (j < m_tokens.size() && (m_tokens[j].isSymbol(u'-') || m_tokens[j].isSymbol(u'+')))
            ++j; // signs
        const qsizetype end = j < m_tokens.size() ? primaryFrom(j) : -1;
        if (end < 0)
            return {};
        last = end;
        j = end + 1;
        if (j >= m_tokens.size() || !isOperator(m_tokens[j]))
            break;
        ++j;
    }
    if (last < 0 || (j < m_tokens.size() && (m_tokens[j].is("collate") || m_tokens[j].is("case"))))
        return {};
    return { k + 1, last };
}

// The last token of the primary that begins at j, or -1.
qsizetype ExactScope::primaryFrom(qsizetype j) const
{
    const Token &t = m_tokens[j];
    qsizetype last = -1;
    if (t.isSymbol(u'(')) {
        last = closing(j);
    } else if (isBlobLiteral(j)) {
        last = j + 1;
    } else if (t.kind == Token::Kind::Word && !isKeyword(t) && j + 1 < m_tokens.size()
        && m_tokens[j + 1].isSymbol(u'(')) {
        last = closing(j + 1);
        if (last > 0 && last + 2 < m_tokens.size() && m_tokens[last + 1].is("over")
            && m_tokens[last + 2].isSymbol(u'('))
            last = closing(last + 2);
    } else if (t.kind == Token::Kind::Number || t.kind == Token::Kind::String
        || t.kind == Token::Kind::NString || t.kind == Token::Kind::Parameter
        || (t.isName() && !isKeyword(t))) {
        last = j;
        while (last + 2 < m_tokens.size() && m_tokens[last + 1].isSymbol(u'.') && m_tokens[last + 2].isName())
            last += 2;
    }
    return last;
}

} // namespace zt::embedded
