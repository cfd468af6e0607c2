#pragma once

#include <QList>
#include <QString>

namespace zt::embedded {

// One token of a T-SQL batch.
struct Token
{
    enum class Kind {
        Word, // keyword or plain name (also @variables and #temp names)
        Identifier, // [bracketed] or "quoted" name; text without the quotes
        String, // 'text'; text without the quotes
        NString, // N'text'
        Number,
        Symbol,
        Parameter, // ?
    };

    Kind kind = Kind::Symbol;
    QString text; // decoded value
    qsizetype begin = 0; // position in the batch text
    qsizetype end = 0; // one past the last character

    bool is(const char *keyword) const
    {
        return kind == Kind::Word && text.compare(QLatin1StringView(keyword), Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(char16_t c) const { return kind == Kind::Symbol && text.size() == 1 && text[0] == c; }
    bool isName() const { return kind == Kind::Word || kind == Kind::Identifier; }
    // How the token reads in a message: names without their quotes, everything else as written.
    QString display(const QString &batch) const
    {
        return kind == Kind::Identifier ? text : batch.mid(begin, end - begin);
    }
};

// Splits a batch into tokens, leaving out blanks, line breaks and comments. An unclosed quote
// raises error 105.
QList<Token> tokenize(const QString &batch);

// Splits the tokens of a batch into statements: at ';' and where a new statement starts without
// one, as T-SQL allows (a CREATE, DROP, INSERT, ... at the outer level, on any line).
QList<QList<Token>> splitStatements(const QList<Token> &tokens);

// The index of the ')' that closes the '(' at open, looking no further than to; -1 if none.
qsizetype closingParenthesis(const QList<Token> &tokens, qsizetype open, qsizetype to);

} // namespace zt::embedded
