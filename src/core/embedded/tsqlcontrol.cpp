#include "tsqlcontrol.h"

#include "data/sqlliteral.h"
#include "passthrough.h"
#include "servererror.h"

namespace zt::embedded {

namespace {

[[noreturn]] void failNear(const QString &batch, const QList<Token> &tokens, qsizetype at)
{
    throw serverError(Msg::SyntaxError, { tokens.value(std::min(at, tokens.size() - 1)).display(batch) });
}

// [from, to) split at the commas of the outer level.
QList<std::pair<qsizetype, qsizetype>> commaSeparated(
    const QList<Token> &tokens, qsizetype from, qsizetype to)
{
    QList<std::pair<qsizetype, qsizetype>> parts;
    int depth = 0;
    qsizetype start = from;
    for (qsizetype i = from; i < to; ++i) {
        if (tokens[i].isSymbol(u'('))
            ++depth;
        else if (tokens[i].isSymbol(u')'))
            --depth;
        else if (depth == 0 && tokens[i].isSymbol(u',')) {
            parts.append({ start, i });
            start = i + 1;
        }
    }
    if (start < to)
        parts.append({ start, to });
    return parts;
}

class Control final
{
public:
    Control(const QString &batch, const QList<Token> &tokens, const QString &database)
        : m_batch(batch)
        , m_tokens(tokens)
        , m_database(database)
    { }

    // A SELECT of the expression in [from, to).
    QString select(qsizetype from, qsizetype to) const
    {
        if (from >= to)
            failNear(m_batch, m_tokens, from);
        return QStringLiteral("SELECT ") + passThrough(m_batch, m_tokens.mid(from, to - from), m_database);
    }

    bool isVariable(qsizetype i) const
    {
        return i < m_tokens.size() && m_tokens[i].kind == Token::Kind::Word
            && m_tokens[i].text.startsWith(u'@') && !m_tokens[i].text.startsWith(QLatin1StringView("@@"));
    }

    std::optional<Statement> parse() const
    {
        const Token &first = m_tokens.first();
        const qsizetype n = m_tokens.size();
        Statement s;
        if (first.is("set") && isVariable(1)) {
            if (n < 4 || !m_tokens[2].isSymbol(u'='))
                failNear(m_batch, m_tokens, 2);
            s.kind = Statement::Kind::SetVariable;
            s.names << m_tokens[1].text.toLower();
            s.values << select(3, n);
        } else if (first.is("select") && isVariable(1) && n > 3 && m_tokens[2].isSymbol(u'=')) {
            selectAssign(s);
        } else if (first.is("set") && n >= 2 && m_tokens[1].kind == Token::Kind::Word) {
            s.kind = Statement::Kind::SetOption;
            s.names << m_tokens[1].text.toLower();
            s.add = m_tokens.last().is("on");
        } else if (first.is("declare")) {
            declare(s);
        } else if (first.is("print")) {
            s.kind = Statement::Kind::Print;
            s.values << select(1, n);
        } else if (first.is("raiserror")) {
            if (n < 2 || !m_tokens[1].isSymbol(u'('))
                failNear(m_batch, m_tokens, 1);
            qsizetype close = 1;
            for (int depth = 0; close < n; ++close) {
                if (m_tokens[close].isSymbol(u'('))
                    ++depth;
                else if (m_tokens[close].isSymbol(u')') && --depth == 0)
                    break;
            }
            s.kind = Statement::Kind::RaiseError;
            for (const auto &[from, to] : commaSeparated(m_tokens, 2, close))
                s.values << select(from, to);
            if (s.values.size() < 3)
                failNear(m_batch, m_tokens, close);
        } else if (first.is("begin") || first.is("commit") || first.is("rollback")) {
            if (first.is("begin")
                && !(n >= 2
                    && (m_tokens[1].is("tran") || m_tokens[1].is("transaction")
                        || m_tokens[1].is("distributed"))))
                return std::nullopt;
            s.kind = Statement::Kind::Transaction;
            s.names << first.text.toLower();
        } else if (first.is("exec") || first.is("execute")) {
            execute(s, 1);
        } else if (first.kind == Token::Kind::Word
            && first.text.startsWith(QLatin1StringView("sp_"), Qt::CaseInsensitive)) {
            execute(s, 0);
        } else {
            return std::nullopt;
        }
        return s;
    }

private:
    // SELECT @a = expr, @b = expr [FROM ...]: one SELECT of the expressions, whose last row the
    // variables take (none: they keep their values, as on SQL Server).
    void selectAssign(Statement &s) const
    {
        const qsizetype n = m_tokens.size();
        qsizetype from = n;
        for (qsizetype i = 1, depth = 0; i < n; ++i) {
            if (m_tokens[i].isSymbol(u'('))
                ++depth;
            else if (m_tokens[i].isSymbol(u')'))
                --depth;
            else if (depth == 0 && m_tokens[i].is("from")) {
                from = i;
                break;
            }
        }
        QStringList expressions;
        for (const auto &[begin, end] : commaSeparated(m_tokens, 1, from)) {
            if (!isVariable(begin) || begin + 2 >= end || !m_tokens[begin + 1].isSymbol(u'='))
                throw serverError(Msg::AssignAndRetrieve);
            s.names << m_tokens[begin].text.toLower();
            expressions << passThrough(m_batch, m_tokens.mid(begin + 2, end - begin - 2), m_database);
        }
        s.kind = Statement::Kind::SetVariable;
        s.add = true; // counted as the rows it read, as SQL Server reports them
        QString select = QStringLiteral("SELECT ") + expressions.join(QStringLiteral(", "));
        if (from < n)
            select += u' ' + passThrough(m_batch, m_tokens.mid(from), m_database);
        s.values << select;
    }

    // DECLARE @a type [= value], ...
    void declare(Statement &s) const
    {
        s.kind = Statement::Kind::Declare;
        for (const auto &[from, to] : commaSeparated(m_tokens, 1, m_tokens.size())) {
            if (!isVariable(from) || from + 1 >= to)
                failNear(m_batch, m_tokens, from);
            qsizetype at = from + 1;
            if (m_tokens[at].is("as"))
                ++at;
            QString type;
            for (; at < to && !m_tokens[at].isSymbol(u'='); ++at)
                type += m_tokens[at].text.toLower();
            if (type.isEmpty() || type.startsWith(QLatin1StringView("table")))
                failNear(m_batch, m_tokens, from + 1); // table variables are not offered
            s.names << m_tokens[from].text.toLower();
            s.types << type;
            s.values << (at < to ? select(at + 1, to) : QString());
        }
    }

    // EXEC [@status =] procedure [value | @name = value], ...
    void execute(Statement &s, qsizetype at) const
    {
        const qsizetype n = m_tokens.size();
        if (isVariable(at) && at + 1 < n && m_tokens[at + 1].isSymbol(u'='))
            at += 2;
        if (at >= n || !m_tokens[at].isName())
            failNear(m_batch, m_tokens, at);
        QString name = m_tokens[at].text;
        while (at + 2 < n && m_tokens[at + 1].isSymbol(u'.')) { // [master.]dbo.sp_x, master..sp_x
            at += m_tokens[at + 2].isSymbol(u'.') ? 1 : 2;
            name = m_tokens[at].text;
        }
        s.kind = Statement::Kind::Execute;
        s.names << name.toLower();
        for (const auto &[from, to] : commaSeparated(m_tokens, at + 1, n)) {
            qsizetype value = from;
            if (isVariable(from) && from + 1 < to && m_tokens[from + 1].isSymbol(u'='))
                value = from + 2;
            qsizetype end = to;
            if (end - 1 > value && (m_tokens[end - 1].is("output") || m_tokens[end - 1].is("out")))
                --end;
            // A procedure's argument may be a name written without quotes: it is a text.
            if (end == value + 1 && m_tokens[value].isName() && !isVariable(value))
                s.values << QStringLiteral("SELECT ") + data::plainLiteral(m_tokens[value].text);
            else
                s.values << select(value, end);
        }
    }

    const QString &m_batch;
    const QList<Token> &m_tokens;
    const QString &m_database;
};

} // namespace

std::optional<Statement> parseControl(
    const QString &batch, const QList<Token> &tokens, const QString &database)
{
    return Control(batch, tokens, database).parse();
}

} // namespace zt::embedded
