#pragma once

#include "exactlayer.h"

namespace zt::embedded {

// The changes (ArithmeticEdit, exactlayer.h) that write the + - * / of the expressions in tokens
// [from, to) as the exact functions of exactnumbers.h: a + b * c becomes zt_add(a, zt_mul(b, c)),
// with T-SQL's precedence (% stays SQLite's, beside * and / on the same level), and -x (but for
// a number literal) as zt_neg(x). An expression is a chain of operands (a name, a literal, a
// parameter, a call or a parenthesised expression, each with an optional sign; string literals
// too, which zt_add joins or converts); a chain that the reader cannot take apart is left as
// written.
QList<ArithmeticEdit> readArithmetic(const QList<Token> &tokens, qsizetype from, qsizetype to);
// Whether tokens [from, to) have an operator between two operands, or a minus before an operand
// that is no number literal: the look that keeps most statements of the data layer out of
// readArithmetic.
bool hasArithmetic(const QList<Token> &tokens, qsizetype from, qsizetype to);

} // namespace zt::embedded
