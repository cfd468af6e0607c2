// + - * of T-SQL expressions as the server's exact functions.
#include "arithmeticrewrite.h"

#include <memory>

namespace zt::embedded {

namespace {

// Words that are never an operand of their own.
bool isKeyword(const Token &t)
{
    static const char *const words[] = { "select", "from", "where", "and", "or", "not", "on", "as", "by",
        "set", "values", "when", "then", "else", "case", "end", "is", "like", "in", "between", "exists",
        "distinct", "top", "union", "all", "having", "group", "order", "asc", "desc", "insert", "update",
        "delete", "into", "join", "inner", "left", "right", "outer", "cross", "full", "with", "collate",
        "escape", "over", "partition", "rows", "row", "offset", "fetch", "next", "first", "only", "percent",
        "ties", "exec", "execute", "print", "return", "declare", "begin", "commit", "rollback", "tran",
        "transaction", "any", "some", "default", "table", "view", "key", "references", "check", "unique",
        "primary", "foreign", "constraint", "create", "alter", "drop", "index", "output", "limit", "except",
        "intersect", "if", "while", "go", "use" };
    if (t.kind != Token::Kind::Word)
        return false;
    for (const char *word : words) {
        if (t.is(word))
            return true;
    }
    return false;
}

bool isOperator(const Token &t)
{
    return t.isSymbol(u'+') || t.isSymbol(u'-') || t.isSymbol(u'*') || t.isSymbol(u'/') || t.isSymbol(u'%');
}

// Whether an operand can end with t (then what follows t continues it, or is an operator).
bool endsOperand(const Token &t)
{
    switch (t.kind) {
    case Token::Kind::Number:
    case Token::Kind::String:
    case Token::Kind::NString:
    case Token::Kind::Parameter:
    case Token::Kind::Identifier:
        return true;
    case Token::Kind::Word:
        return !isKeyword(t);
    case Token::Kind::Symbol:
        return t.isSymbol(u')') || t.isSymbol(u'.');
    }
    return false;
}

struct Node
{
    qsizetype first = 0; // tokens
    qsizetype last = 0;
    qsizetype op = -1; // the operator's token, -1 for an operand
    std::unique_ptr<Node> left;
    std::unique_ptr<Node> right;
};

class Reader
{
public:
    Reader(const QList<Token> &tokens, qsizetype from, qsizetype to)
        : m_tokens(tokens)
        , m_from(from)
        , m_to(to)
    { }

    QList<ArithmeticEdit> read()
    {
        for (qsizetype i = m_from; i < m_to; ++i) {
            if (startsChain(i))
                chainAt(i);
        }
        return m_edits;
    }

private:
    // The last token of the operand that begins at i, or -1. text is set for a string literal.
    qsizetype operandEnd(qsizetype i, bool &text) const
    {
        if (i >= m_to)
            return -1;
        const Token &t = m_tokens[i];
        if (t.isSymbol(u'-') || t.isSymbol(u'+')) {
            if (i + 1 >= m_to || m_tokens[i + 1].isSymbol(u'-') || m_tokens[i + 1].isSymbol(u'+'))
                return -1;
            return operandEnd(i + 1, text);
        }
        if (t.isSymbol(u'('))
            return closingParenthesis(m_tokens, i, m_to);
        switch (t.kind) {
        case Token::Kind::String:
        case Token::Kind::NString:
            text = true;
            return i;
        case Token::Kind::Number:
        case Token::Kind::Parameter:
            return i;
        case Token::Kind::Word:
            if (i + 1 < m_to && m_tokens[i + 1].isSymbol(u'(')) {
                const bool function = !isKeyword(t) || t.is("left") || t.is("right");
                return function ? closingParenthesis(m_tokens, i + 1, m_to) : -1;
            }
            if (isKeyword(t))
                return -1;
            [[fallthrough]];
        case Token::Kind::Identifier: {
            qsizetype last = i;
            while (last + 2 < m_to && m_tokens[last + 1].isSymbol(u'.') && m_tokens[last + 2].isName())
                last += 2;
            return last;
        }
        default:
            return -1;
        }
    }

    bool startsChain(qsizetype i) const
    {
        if (i == m_from)
            return true;
        const Token &before = m_tokens[i - 1];
        // SELECT TOP n a + b, SELECT TOP (n) a + b: the expression begins after the count.
        const bool afterTop
            = (i - 2 >= m_from && before.kind == Token::Kind::Number && m_tokens[i - 2].is("top"))
            || (i - 4 >= m_from && before.isSymbol(u')') && m_tokens[i - 2].kind == Token::Kind::Number
                && m_tokens[i - 3].isSymbol(u'(') && m_tokens[i - 4].is("top"));
        if (afterTop)
            return true;
        if (endsOperand(before) || isOperator(before))
            return false;
        // (...) after these is a list or a query, not an operand.
        if (m_tokens[i].isSymbol(u'(')) {
            for (const char *word : { "over", "in", "values", "exists", "as", "key", "references", "check",
                     "unique", "default", "table", "view", "into", "using" }) {
                if (before.is(word))
                    return false;
            }
        }
        return true;
    }

    void chainAt(qsizetype i)
    {
        QList<std::pair<qsizetype, qsizetype>> operands;
        QList<qsizetype> operators;
        bool text = false; // string literals are operands too
        qsizetype at = i;
        for (;;) {
            const qsizetype last = operandEnd(at, text);
            if (last < 0)
                return; // not an expression the reader takes apart
            operands.append({ at, last });
            if (last + 1 >= m_to || !isOperator(m_tokens[last + 1]))
                break;
            operators.append(last + 1);
            at = last + 2;
        }
        bool exact = false;
        for (const qsizetype op : std::as_const(operators))
            exact = exact || !m_tokens[op].isSymbol(u'%');
        for (const auto &operand : std::as_const(operands))
            exact = exact || isNegation(operand.first);
        // Text beside + is joined or converted by zt_add, as T-SQL does.
        if (!exact)
            return;
        // T-SQL's precedence: * / % before + -, each level from the left.
        std::unique_ptr<Node> sum;
        std::unique_ptr<Node> term;
        qsizetype pendingSum = -1;
        const auto leaf = [&](qsizetype k) {
            auto n = std::make_unique<Node>();
            n->first = operands[k].first;
            n->last = operands[k].second;
            return n;
        };
        const auto join = [](std::unique_ptr<Node> l, qsizetype op, std::unique_ptr<Node> r) {
            auto n = std::make_unique<Node>();
            n->first = l->first;
            n->last = r->last;
            n->op = op;
            n->left = std::move(l);
            n->right = std::move(r);
            return n;
        };
        term = leaf(0);
        for (qsizetype k = 0; k < operators.size(); ++k) {
            const Token &op = m_tokens[operators[k]];
            if (op.isSymbol(u'+') || op.isSymbol(u'-')) {
                sum = sum ? join(std::move(sum), pendingSum, std::move(term)) : std::move(term);
                pendingSum = operators[k];
                term = leaf(k + 1);
            } else {
                term = join(std::move(term), operators[k], leaf(k + 1));
            }
        }
        sum = sum ? join(std::move(sum), pendingSum, std::move(term)) : std::move(term);
        ++m_chain;
        writeNode(*sum);
    }

    // A minus before a name, a call or (...), which SQLite would apply to a double: zt_neg keeps
    // an exact blob's digits. Before a number literal it stays (the translator folds a literal
    // beyond a double's digits and its sign into one blob).
    bool isNegation(qsizetype first) const
    {
        return m_tokens[first].isSymbol(u'-') && first + 1 < m_to
            && m_tokens[first + 1].kind != Token::Kind::Number;
    }

    void writeNode(const Node &n)
    {
        if (n.op < 0) {
            if (isNegation(n.first)) {
                m_edits.append({ m_tokens[n.first].begin, m_tokens[n.first + 1].begin,
                    QStringLiteral("zt_neg("), m_chain });
                const qsizetype end = m_tokens[n.last].end;
                m_edits.append({ end, end, QStringLiteral(")"), m_chain });
            }
            return;
        }
        const Token &op = m_tokens[n.op];
        const bool native = op.isSymbol(u'%');
        if (!native) {
            const qsizetype begin = m_tokens[n.first].begin;
            const char *name = op.isSymbol(u'+') ? "zt_add("
                : op.isSymbol(u'-')              ? "zt_sub("
                : op.isSymbol(u'*')              ? "zt_mul("
                                                 : "zt_div(";
            m_edits.append({ begin, begin, QString::fromLatin1(name), m_chain });
        }
        writeNode(*n.left);
        if (!native) {
            const qsizetype after = m_tokens[n.left->last].end;
            m_edits.append({ after, m_tokens[n.right->first].begin, QStringLiteral(", "), m_chain });
        }
        writeNode(*n.right);
        if (!native) {
            const qsizetype end = m_tokens[n.last].end;
            m_edits.append({ end, end, QStringLiteral(")"), m_chain });
        }
    }

    const QList<Token> &m_tokens;
    qsizetype m_from;
    qsizetype m_to;
    int m_chain = 0;
    QList<ArithmeticEdit> m_edits;
};

} // namespace

bool hasArithmetic(const QList<Token> &tokens, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        const Token &t = tokens[i];
        if (t.kind != Token::Kind::Symbol)
            continue;
        const bool minus = t.isSymbol(u'-');
        if (!minus && !t.isSymbol(u'+') && !t.isSymbol(u'*') && !t.isSymbol(u'/'))
            continue;
        if (t.isSymbol(u'*') && i > from && tokens[i - 1].isSymbol(u'.'))
            continue; // t.*: the columns of t, which no chain of the reader takes for an operator
        const bool after = i > from && endsOperand(tokens[i - 1]);
        if (after || (minus && i + 1 < to && tokens[i + 1].kind != Token::Kind::Number))
            return true;
    }
    return false;
}

QList<ArithmeticEdit> readArithmetic(const QList<Token> &tokens, qsizetype from, qsizetype to)
{
    return Reader(tokens, from, to).read();
}

} // namespace zt::embedded
