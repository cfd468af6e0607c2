// SQL Server's types of number expressions: declared columns, literals, operators, aggregates.
#include "exacttypes.h"

#include "exactdecimal.h"

#include <QList>

#include <algorithm>

namespace zt::embedded {

namespace {

using Kind = NumberType::Kind;

// An operand of decimal arithmetic: integers and money as the decimals SQL Server takes them for.
NumberType asDecimal(const NumberType &t)
{
    switch (t.kind) {
    case Kind::TinyInt:
        return { Kind::Decimal, 3, 0 };
    case Kind::SmallInt:
        return { Kind::Decimal, 5, 0 };
    case Kind::Int:
        return { Kind::Decimal, 10, 0 };
    case Kind::BigInt:
        return { Kind::Decimal, 19, 0 };
    case Kind::SmallMoney:
        return { Kind::Decimal, 10, 4 };
    case Kind::Money:
        return { Kind::Decimal, 19, 4 };
    default:
        return t;
    }
}

// The precision and scale of a decimal result, with SQL Server's limit of 38 digits: a sum keeps
// the digits before the point and gives up decimals; a product or quotient keeps at least 6
// decimals where the digits before the point would leave fewer.
NumberType decimalResult(const NumberType &a, Operator op, const NumberType &b)
{
    const int p1 = a.precision, s1 = a.scale, p2 = b.precision, s2 = b.scale;
    if (op == Operator::Add || op == Operator::Subtract) {
        const int whole = std::max(p1 - s1, p2 - s2);
        int scale = std::max(s1, s2);
        const int precision = scale + whole + 1;
        if (precision > MaxPrecision)
            scale = std::max(0, MaxPrecision - whole);
        return { Kind::Decimal, std::min(precision, MaxPrecision), scale };
    }
    int precision = 0, scale = 0;
    if (op == Operator::Multiply) {
        precision = p1 + p2 + 1;
        scale = s1 + s2;
    } else {
        scale = std::max(6, s1 + p2 + 1);
        precision = p1 - s1 + s2 + scale;
    }
    if (precision > MaxPrecision) {
        const int whole = precision - scale;
        if (whole < 32)
            scale = std::min(scale, MaxPrecision - whole);
        else if (scale > 6)
            scale = 6;
        precision = MaxPrecision;
    }
    return { Kind::Decimal, precision, scale };
}

} // namespace

QString NumberType::declaration() const
{
    switch (kind) {
    case Kind::Decimal:
        return QStringLiteral("decimal(%1,%2)").arg(precision).arg(scale);
    case Kind::Money:
        return QStringLiteral("money");
    case Kind::SmallMoney:
        return QStringLiteral("smallmoney");
    case Kind::TinyInt:
        return QStringLiteral("tinyint");
    case Kind::SmallInt:
        return QStringLiteral("smallint");
    case Kind::Int:
        return QStringLiteral("int");
    case Kind::BigInt:
        return QStringLiteral("bigint");
    case Kind::Float:
        return QStringLiteral("float");
    case Kind::Unknown:
    case Kind::Other:
        break;
    }
    return {};
}

NumberType typeOfDeclaration(QStringView declared)
{
    // name [(precision [, scale])], read directly: every result column of a decimal type asks.
    declared = declared.trimmed();
    if (declared.isEmpty())
        return {};
    const qsizetype open = declared.indexOf(u'(');
    const QString name = (open < 0 ? declared : declared.left(open)).trimmed().toString().toLower();
    if (name == QLatin1StringView("decimal") || name == QLatin1StringView("numeric")
        || name == QLatin1StringView("dec")) {
        int precision = 18, scale = 0;
        if (open >= 0) {
            const qsizetype close = declared.indexOf(u')', open);
            const QList<QStringView> sizes
                = declared.mid(open + 1, close < 0 ? -1 : close - open - 1).split(u',');
            bool ok = false;
            precision = std::clamp(sizes[0].trimmed().toInt(&ok), 1, MaxPrecision);
            precision = ok ? precision : 18;
            scale = sizes.size() > 1 ? std::clamp(sizes[1].trimmed().toInt(), 0, precision) : 0;
        }
        return { Kind::Decimal, precision, scale };
    }
    static const std::pair<const char *, Kind> names[] = { { "int", Kind::Int }, { "integer", Kind::Int },
        { "bigint", Kind::BigInt }, { "smallint", Kind::SmallInt }, { "tinyint", Kind::TinyInt },
        { "money", Kind::Money }, { "smallmoney", Kind::SmallMoney }, { "float", Kind::Float },
        { "real", Kind::Float }, { "double", Kind::Float }, { "double precision", Kind::Float } };
    for (const auto &[n, kind] : names) {
        if (name == QLatin1StringView(n))
            return { kind };
    }
    return { Kind::Other };
}

NumberType typeOfLiteral(QStringView literal)
{
    if (literal.startsWith(QLatin1StringView("0x"), Qt::CaseInsensitive))
        return { Kind::Other };
    if (literal.contains(u'e', Qt::CaseInsensitive))
        return { Kind::Float };
    const qsizetype point = literal.indexOf(u'.');
    QStringView whole = point < 0 ? literal : literal.left(point);
    while (whole.startsWith(u'0'))
        whole = whole.mid(1);
    const int scale = point < 0 ? 0 : int(literal.size() - point - 1);
    const int precision = std::max(1, int(whole.size()) + scale);
    if (precision > MaxPrecision)
        return { Kind::Float };
    if (point < 0 && whole.size() <= 10) {
        bool ok = false;
        const qlonglong value = literal.toLongLong(&ok);
        if (ok && value <= INT32_MAX)
            return { Kind::Int };
    }
    return { Kind::Decimal, precision, scale };
}

NumberType combined(const NumberType &a, Operator op, const NumberType &b)
{
    if (!a.isKnownNumber() || !b.isKnownNumber())
        return {};
    if (a.kind == Kind::Float || b.kind == Kind::Float)
        return { Kind::Float };
    if (a.isInteger() && b.isInteger()) // the one of higher precedence, int at least
        return { std::max({ a.kind, b.kind, Kind::Int }) };
    if (a.kind == Kind::Decimal || b.kind == Kind::Decimal)
        return decimalResult(asDecimal(a), op, asDecimal(b));
    // Money beside money, smallmoney or an integer: the one of higher precedence.
    return { a.kind == Kind::Money || b.kind == Kind::Money ? Kind::Money : Kind::SmallMoney };
}

NumberType unioned(const NumberType &a, const NumberType &b)
{
    if (!a.isKnownNumber() || !b.isKnownNumber())
        return {};
    if (a.kind == Kind::Float || b.kind == Kind::Float)
        return { Kind::Float };
    if (a.isInteger() && b.isInteger())
        return { std::max(a.kind, b.kind) };
    if (a.kind == Kind::Decimal || b.kind == Kind::Decimal) {
        const NumberType x = asDecimal(a), y = asDecimal(b);
        const int scale = std::max(x.scale, y.scale);
        const int whole = std::max(x.precision - x.scale, y.precision - y.scale);
        return { Kind::Decimal, std::min(scale + whole, MaxPrecision),
            std::min(scale, MaxPrecision - whole) };
    }
    return { a.kind == Kind::Money || b.kind == Kind::Money ? Kind::Money : Kind::SmallMoney };
}

NumberType summed(const NumberType &t)
{
    switch (t.kind) {
    case Kind::Decimal:
        return { Kind::Decimal, MaxPrecision, t.scale };
    case Kind::Money:
    case Kind::SmallMoney:
        return { Kind::Money };
    case Kind::Float:
        return t;
    default:
        return {};
    }
}

NumberType averaged(const NumberType &t)
{
    switch (t.kind) {
    case Kind::Decimal:
        // decimal(38, s) divided by decimal(10, 0), as SQL Server divides the sum by the count.
        return { Kind::Decimal, MaxPrecision, std::max(t.scale, 6) };
    case Kind::TinyInt:
    case Kind::SmallInt:
    case Kind::Int:
        return { Kind::Int };
    case Kind::BigInt:
        return t;
    default:
        return summed(t);
    }
}

} // namespace zt::embedded
