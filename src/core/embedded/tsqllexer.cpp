#include "tsqllexer.h"

#include "servererror.h"

namespace zt::embedded {

namespace {

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_' || c == u'@' || c == u'#';
}

bool isWordPart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$';
}

// Reads a quoted run starting at the opening quote; a doubled closing quote stands for itself.
// Returns the position after the closing quote, or -1 when it is missing.
qsizetype readQuoted(const QString &s, qsizetype at, QChar close, QString &text)
{
    for (qsizetype i = at + 1; i < s.size(); ++i) {
        if (s[i] != close) {
            text += s[i];
        } else if (i + 1 < s.size() && s[i + 1] == close) {
            text += close;
            ++i;
        } else {
            return i + 1;
        }
    }
    return -1;
}

qsizetype readNumber(const QString &s, qsizetype i)
{
    while (i < s.size() && (s[i].isLetterOrNumber() || s[i] == u'.' || s[i] == u'_'))
        ++i;
    return i;
}

// Words that begin a statement of their own.
bool startsStatement(const Token &t)
{
    for (const char *k : { "create", "drop", "alter", "insert", "update", "delete", "select", "restore",
             "backup", "truncate" }) {
        if (t.is(k))
            return true;
    }
    return false;
}

// Words after which those keywords continue the statement (ON DELETE CASCADE, UNION SELECT, ...).
bool continuesBefore(const Token &t)
{
    if (t.isSymbol(u',') || t.isSymbol(u'('))
        return true;
    for (const char *k : { "on", "for", "of", "union", "all", "except", "intersect", "as", "distinct" }) {
        if (t.is(k))
            return true;
    }
    return false;
}

// DROP TABLE, DROP DATABASE, ...: a statement of its own even after an ALTER.
bool dropsObject(const Token &next)
{
    for (const char *k :
        { "table", "database", "login", "view", "index", "trigger", "procedure", "function" }) {
        if (next.is(k))
            return true;
    }
    return false;
}

// Statements that steer the batch (SET, DECLARE, PRINT, EXEC, transactions) start a new one too;
// SET only outside UPDATE (and ON DELETE SET NULL of CREATE / ALTER), BEGIN only as
// BEGIN TRAN[SACTION].
bool startsControl(const Token &t, const Token &next, const Token &first)
{
    if (t.is("set"))
        return !first.is("update") && !first.is("create") && !first.is("alter") && !first.is("merge");
    if (t.is("begin"))
        return next.is("tran") || next.is("transaction") || next.is("distributed");
    for (const char *k : { "declare", "print", "raiserror", "exec", "execute", "commit", "rollback" }) {
        if (t.is(k))
            return true;
    }
    return false;
}

} // namespace

QList<Token> tokenize(const QString &s)
{
    QList<Token> tokens;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == u'-' && i + 1 < s.size() && s[i + 1] == u'-') {
            while (i < s.size() && s[i] != u'\n')
                ++i;
            continue;
        }
        if (c == u'/' && i + 1 < s.size() && s[i + 1] == u'*') {
            int depth = 0;
            do {
                if (s.mid(i, 2) == QLatin1StringView("/*")) {
                    ++depth;
                    i += 2;
                } else if (s.mid(i, 2) == QLatin1StringView("*/")) {
                    --depth;
                    i += 2;
                } else {
                    ++i;
                }
            } while (depth > 0 && i < s.size());
            continue;
        }

        Token t;
        t.begin = i;
        const bool nString = (c == u'N' || c == u'n') && i + 1 < s.size() && s[i + 1] == u'\'';
        if (c == u'\'' || nString) {
            t.kind = nString ? Token::Kind::NString : Token::Kind::String;
            const qsizetype quote = nString ? i + 1 : i;
            t.end = readQuoted(s, quote, u'\'', t.text);
            if (t.end < 0)
                throw serverError(Msg::UnclosedQuote, { t.text });
        } else if (c == u'[' || c == u'"') {
            t.kind = Token::Kind::Identifier;
            t.end = readQuoted(s, i, c == u'[' ? u']' : u'"', t.text);
            if (t.end < 0)
                throw serverError(Msg::UnclosedQuote, { t.text });
        } else if (c.isDigit() || (c == u'.' && i + 1 < s.size() && s[i + 1].isDigit())) {
            t.kind = Token::Kind::Number;
            t.end = readNumber(s, i);
            t.text = s.mid(i, t.end - i);
        } else if (isWordStart(c)) {
            t.kind = Token::Kind::Word;
            t.end = i + 1;
            while (t.end < s.size() && isWordPart(s[t.end]))
                ++t.end;
            t.text = s.mid(i, t.end - i);
        } else if (c == u'?') {
            t.kind = Token::Kind::Parameter;
            t.end = i + 1;
            t.text = c;
        } else {
            t.kind = Token::Kind::Symbol;
            t.end = i + 1;
            static const QStringList pairs = { QStringLiteral("<="), QStringLiteral(">="),
                QStringLiteral("<>"), QStringLiteral("!="), QStringLiteral("||"), QStringLiteral("==") };
            if (pairs.contains(s.mid(i, 2)))
                t.end = i + 2;
            t.text = s.mid(i, t.end - i);
        }
        tokens.append(t);
        i = t.end;
    }
    return tokens;
}

QList<QList<Token>> splitStatements(const QList<Token> &tokens)
{
    QList<QList<Token>> statements;
    QList<Token> current;
    int depth = 0;
    auto finish = [&] {
        if (!current.isEmpty())
            statements.append(current);
        current.clear();
        depth = 0;
    };
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token &t = tokens[i];
        if (depth == 0 && t.isSymbol(u';')) {
            finish();
            continue;
        }
        if (depth == 0 && !current.isEmpty()
            && startsControl(t, i + 1 < tokens.size() ? tokens[i + 1] : t, current.first())
            && !continuesBefore(current.last())) {
            finish();
        } else if (depth == 0 && !current.isEmpty() && startsStatement(t)
            && !continuesBefore(current.last())) {
            // INSERT ... SELECT keeps its SELECT (CREATE VIEW ... AS SELECT: see above); ALTER ... DROP
            // COLUMN / MEMBER keeps its DROP.
            const Token &first = current.first();
            const bool ownSelect = t.is("select") && first.is("insert");
            const bool ownDrop = t.is("drop") && first.is("alter") && !dropsObject(tokens.value(i + 1));
            if (!ownSelect && !ownDrop)
                finish();
        }
        if (t.isSymbol(u'('))
            ++depth;
        else if (t.isSymbol(u')') && depth > 0)
            --depth;
        current.append(t);
    }
    finish();
    return statements;
}

qsizetype closingParenthesis(const QList<Token> &tokens, qsizetype open, qsizetype to)
{
    int depth = 0;
    for (qsizetype i = open; i < to; ++i) {
        if (tokens[i].isSymbol(u'('))
            ++depth;
        else if (tokens[i].isSymbol(u')') && --depth == 0)
            return i;
    }
    return -1;
}

} // namespace zt::embedded
