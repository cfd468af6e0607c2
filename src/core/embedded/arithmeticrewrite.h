#pragma once

#include "tsqllexer.h"

#include <QList>
#include <QString>

namespace zt::embedded {

// One change to a statement's text: [begin, end) of the batch replaced by with (begin == end
// inserts). chain numbers the expression the change belongs to.
struct ArithmeticEdit
{
    qsizetype begin = 0;
    qsizetype end = 0;
    QString with;
    int chain = 0;
};

// The changes that write the + - * / of the expressions in tokens [from, to) as the exact
// functions of exactnumbers.h: a + b * c becomes zt_add(a, zt_mul(b, c)), with T-SQL's
// precedence (% stays SQLite's, beside * and / on the same level), and -x (but for a number
// literal) as zt_neg(x). An expression is a chain of
// operands (a name, a literal, a parameter, a call or a parenthesised expression, each with an
// optional sign; string literals too, which zt_add joins or converts); a chain that the reader
// cannot take apart is left as written.
QList<ArithmeticEdit> exactArithmetic(const QList<Token> &tokens, qsizetype from, qsizetype to);

} // namespace zt::embedded
