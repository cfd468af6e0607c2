#pragma once

#include "embedded/tsqllexer.h"
#include "exacttypes.h"

#include <QHash>
#include <QList>

struct sqlite3;

namespace zt::embedded {

// The tokens [first, last] of a statement, both included.
struct Span
{
    qsizetype first = -1;
    qsizetype last = -1;
    bool isEmpty() const { return first < 0 || last < first; }
};

// One item of a SELECT list: its expression, its alias, or a * of all columns.
struct SelectItem
{
    Span expression;
    QString alias;
    bool star = false;
};

// What a statement's expressions are, as SQLite will run it (after passThrough): the tables it
// names with their aliases, the items of its SELECT lists, and the types of its expressions,
// SQL Server's rules over the columns' declared types in the file's schema (see exacttypes.h).
// A name is looked up in every table (or view) the statement names, and among the aliases of its
// select items (the columns of a derived table); where they disagree its type is not known.
class ExactScope final
{
public:
    ExactScope(sqlite3 *db, const QString &text, const QList<Token> &tokens);

    const QList<Token> &tokens() const { return m_tokens; }
    const QString &text() const { return m_text; }
    // The ')' of the '(' at open (or -1), the '(' of the ')' at close.
    qsizetype closing(qsizetype open) const { return m_partner.value(open, -1); }
    qsizetype opening(qsizetype close) const { return m_partner.value(close, -1); }
    int depth(qsizetype i) const { return m_depth[i]; }
    // A word that is no name of its own (SELECT, AND, WHEN, ...).
    static bool isKeyword(const Token &t);
    // X'..': a blob literal, its letter at i.
    bool isBlobLiteral(qsizetype i) const;

    NumberType typeOf(Span s) const;
    // The type of the column of that name in the table (or alias) qualifier, or anywhere.
    NumberType typeOfName(const QString &qualifier, const QString &column) const;
    // Whether the values of s may be exact blobs (see exactdecimal.h): it names an exact-number
    // column or alias, holds an exact literal beyond a double's digits, or a sum, avg or exact
    // operator, whose results may need more digits than their operands.
    bool mayHoldBlob(Span s) const;
    // The items of the list of the SELECT at select.
    QList<SelectItem> selectItems(qsizetype select) const;
    // The operand that ends before the token at k (that begins after it): names, literals, calls
    // and parenthesised groups joined by the operators that bind more tightly than a
    // comparison; empty for CASE, COLLATE and what is not read.
    Span operandBefore(qsizetype k) const;
    Span operandAfter(qsizetype k) const;
    // The last token of the primary (a name, literal, call or (...)) that begins at j, or -1.
    qsizetype primaryFrom(qsizetype j) const;

private:
    qsizetype primaryBefore(qsizetype j) const;
    void readTables();
    qsizetype readTable(qsizetype i);
    // The types a name may have: of the tables' columns of that name, or of the aliases.
    QList<NumberType> nameTypes(const QString &qualifier, const QString &column) const;
    NumberType columnType(const QString &table, const QString &column) const;
    NumberType viewColumnType(const QString &view, const QString &column) const;
    NumberType aliasType(const QString &alias) const;
    NumberType callType(Span s) const;
    QList<Span> arguments(qsizetype open) const;

    sqlite3 *m_db;
    const QString &m_text;
    const QList<Token> &m_tokens;
    QList<int> m_depth;
    QList<qsizetype> m_partner; // of each parenthesis, -1 for other tokens
    QList<std::pair<QString, QString>> m_tables; // table, alias (lower case)
    QHash<QString, QList<Span>> m_aliases; // select items' aliases (lower case)
    mutable QHash<QString, NumberType> m_columns; // "table.column"
    mutable QHash<QString, QHash<QString, NumberType>> m_views; // their columns, by lower-case name
    mutable int m_nesting = 0;
};

} // namespace zt::embedded
