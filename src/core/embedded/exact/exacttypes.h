#pragma once

#include <QString>

namespace zt::embedded {

// The type SQL Server gives a number expression, as far as the embedded server follows it:
// the declared types of columns and the rules of its operators and aggregates (precision and
// scale of decimal results, money beside integers, data type precedence). Unknown where the
// type is not read (parameters, CASE, most functions); Other for text, dates and the like.
struct NumberType
{
    enum class Kind { Unknown, Other, TinyInt, SmallInt, Int, BigInt, Decimal, SmallMoney, Money, Float };

    Kind kind = Kind::Unknown;
    int precision = 0;
    int scale = 0;

    bool isExact() const { return kind == Kind::Decimal || kind == Kind::SmallMoney || kind == Kind::Money; }
    bool isInteger() const { return kind >= Kind::TinyInt && kind <= Kind::BigInt; }
    bool isKnownNumber() const { return isExact() || isInteger() || kind == Kind::Float; }
    // "decimal(38,2)", "money", "int", ...; empty for Unknown and Other.
    QString declaration() const;
};

// The type of a column declared as declared ("decimal(18, 2)", "money", "nvarchar(10)").
NumberType typeOfDeclaration(QStringView declared);
// The type SQL Server gives a number literal as written: decimal(p, s) for 12.30 (4, 2), int for an
// integer of int's range, float with an exponent; Unknown for a larger integer.
NumberType typeOfLiteral(QStringView literal);

enum class Operator { Add, Subtract, Multiply, Divide };
NumberType combined(const NumberType &a, Operator op, const NumberType &b);
// The type of a column of UNION, EXCEPT or INTERSECT whose branches give a and b.
NumberType unioned(const NumberType &a, const NumberType &b);
NumberType summed(const NumberType &t);
NumberType averaged(const NumberType &t);

} // namespace zt::embedded
