#pragma once

#include "servererror.h"
#include "tsqllexer.h"

namespace zt::embedded {

// Walks the tokens of one statement; every unexpected token is error 102 near that token.
class Cursor final
{
public:
    Cursor(const QString &batch, const QList<Token> &tokens)
        : m_batch(batch)
        , m_tokens(tokens)
    { }

    bool atEnd() const { return m_at >= m_tokens.size(); }
    const Token &peek(qsizetype ahead = 0) const
    {
        static const Token none;
        return m_at + ahead < m_tokens.size() ? m_tokens[m_at + ahead] : none;
    }
    bool peekIs(const char *keyword) const { return !atEnd() && peek().is(keyword); }
    bool peekSymbol(char16_t c) const { return !atEnd() && peek().isSymbol(c); }
    const Token &take()
    {
        if (atEnd())
            fail();
        return m_tokens[m_at++];
    }

    bool accept(const char *keyword)
    {
        if (!peekIs(keyword))
            return false;
        ++m_at;
        return true;
    }
    bool acceptSymbol(char16_t c)
    {
        if (!peekSymbol(c))
            return false;
        ++m_at;
        return true;
    }
    void expect(const char *keyword)
    {
        if (!accept(keyword))
            fail();
    }
    void expectSymbol(char16_t c)
    {
        if (!acceptSymbol(c))
            fail();
    }

    QString name()
    {
        if (atEnd() || !peek().isName())
            fail();
        return take().text;
    }
    // [server.][database.][schema.]name: the object's own name.
    QString objectName(QStringList *parts = nullptr)
    {
        QStringList all { name() };
        while (acceptSymbol(u'.'))
            all << (peekSymbol(u'.') ? QString() : name()); // db..name: the default schema
        if (parts)
            *parts = all;
        return all.last();
    }
    QString text()
    {
        if (atEnd() || (peek().kind != Token::Kind::String && peek().kind != Token::Kind::NString))
            fail();
        return take().text;
    }
    qint64 signedNumber()
    {
        const bool negative = acceptSymbol(u'-');
        if (!negative)
            acceptSymbol(u'+');
        if (atEnd() || peek().kind != Token::Kind::Number)
            fail();
        bool ok = false;
        const qint64 value = take().text.toLongLong(&ok);
        if (!ok)
            fail(-1);
        return negative ? -value : value;
    }
    // The tokens inside a balanced ( ... ), the parentheses taken but not returned.
    QList<Token> group()
    {
        expectSymbol(u'(');
        const qsizetype from = m_at;
        int depth = 1;
        while (depth > 0) {
            const Token &t = take();
            if (t.isSymbol(u'('))
                ++depth;
            else if (t.isSymbol(u')'))
                --depth;
        }
        return m_tokens.mid(from, m_at - 1 - from);
    }
    // Tokens up to the next ',' or ')' at this level.
    QList<Token> untilSeparator()
    {
        const qsizetype from = m_at;
        while (!atEnd() && !peekSymbol(u',') && !peekSymbol(u')')) {
            if (peekSymbol(u'('))
                group();
            else
                ++m_at;
        }
        return m_tokens.mid(from, m_at - from);
    }

    [[noreturn]] void fail(qsizetype offset = 0) const
    {
        const qsizetype at = atEnd() ? m_tokens.size() - 1 : m_at + offset;
        throw serverError(Msg::SyntaxError, { m_tokens.value(at).display(m_batch) });
    }

private:
    const QString &m_batch;
    const QList<Token> &m_tokens;
    qsizetype m_at = 0;
};

} // namespace zt::embedded
