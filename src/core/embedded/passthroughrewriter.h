#pragma once

// The rewriter behind passThrough (passthrough.h), its parts in three files: passthrough.cpp
// walks the tokens and rewrites literals, operators, functions, collations and hints;
// passthroughnames.cpp the names of several parts and the catalogue views;
// passthroughclauses.cpp CAST and CONVERT, TOP, and OFFSET ... FETCH.

#include "tsqllexer.h"

#include <initializer_list>

namespace zt::embedded {

// Whether name is one of names.
inline bool isOneOf(const QString &name, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        if (name == QLatin1StringView(n))
            return true;
    }
    return false;
}

class PassThroughRewriter final
{
public:
    PassThroughRewriter(const QString &batch, const QList<Token> &tokens, const QString &database)
        : m_batch(batch)
        , m_tokens(tokens)
        , m_database(database.toLower())
    { }

    // The tokens [from, to) of the batch as SQLite reads them.
    QString rewrite(qsizetype from, qsizetype to) const;

private:
    // A piece of the statement's text replaced (or, begin == end, inserted).
    struct Edit
    {
        qsizetype begin = 0;
        qsizetype end = 0;
        QString with;
    };

    void addExactArithmetic(qsizetype from, qsizetype to, QList<Edit> &edits) const;
    bool isUnary(qsizetype i) const;
    void replace(QList<Edit> &edits, qsizetype first, qsizetype last, const QString &with) const;
    qsizetype rewriteAt(qsizetype i, qsizetype to, QList<Edit> &edits) const;
    void guardDivisor(qsizetype at, qsizetype to, QList<Edit> &edits) const;

    qsizetype rewriteName(qsizetype i, qsizetype to, QList<Edit> &edits) const; // passthroughnames.cpp

    // passthroughclauses.cpp
    qsizetype rewriteCast(qsizetype i, qsizetype to, QList<Edit> &edits) const;
    void rewriteTop(qsizetype i, qsizetype to, QList<Edit> &edits) const;
    qsizetype rewriteOffset(qsizetype i, qsizetype to, QList<Edit> &edits) const;

    const QString &m_batch;
    const QList<Token> &m_tokens;
    QString m_database;
};

} // namespace zt::embedded
