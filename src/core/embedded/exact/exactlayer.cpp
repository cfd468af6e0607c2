// The layer's entry points (exactlayer.h): the cheap looks that keep statements without use for
// it out of its readers, counted, and the types of result columns.
#include "exactlayer.h"

#include "arithmeticrewrite.h"
#include "exactordering.h"
#include "exacttypes.h"

#include <algorithm>
#include <atomic>
#include <string_view>

namespace zt::embedded {

namespace {

std::atomic<qint64> s_looked { 0 };
std::atomic<qint64> s_entered { 0 };

// A look taken; true (and counted) when it lets the statement in.
bool counted(bool enters)
{
    s_looked.fetch_add(1, std::memory_order_relaxed);
    if (enters)
        s_entered.fetch_add(1, std::memory_order_relaxed);
    return enters;
}

// Whether text holds word (ASCII, lower case) in any case, as QString::contains finds it with
// Qt::CaseInsensitive, in one pass that folds only what it compares.
bool containsWord(QStringView text, std::string_view word)
{
    const auto folded = [](char16_t c) -> char32_t {
        if (c < 0x80)
            return c >= u'A' && c <= u'Z' ? c + 32 : c;
        return QChar::toCaseFolded(char32_t(c));
    };
    const auto n = qsizetype(word.size());
    for (qsizetype i = 0; i + n <= text.size(); ++i) {
        qsizetype k = 0;
        while (k < n && folded(text[i + k].unicode()) == char32_t(word[std::size_t(k)]))
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

} // namespace

ExactLayerCounts exactLayerCounts()
{
    return { s_looked.load(std::memory_order_relaxed), s_entered.load(std::memory_order_relaxed) };
}

ExactNeeds exactNeeds(const QString &verb, const QString &text)
{
    const auto contains = [&text](std::initializer_list<std::string_view> words) {
        for (const std::string_view word : words) {
            if (containsWord(text, word))
                return true;
        }
        return false;
    };
    ExactNeeds needs;
    if (verb != QLatin1StringView("select") && verb != QLatin1StringView("insert")
        && verb != QLatin1StringView("update") && verb != QLatin1StringView("delete")
        && verb != QLatin1StringView("with"))
        return needs;
    // INSERT ... VALUES, the data layer's most frequent statement, is seen at once.
    if (verb == QLatin1StringView("insert") && !containsWord(text, "select"))
        return needs;
    needs.ordering = text.contains(u'<') || text.contains(u'>')
        || contains({ "order", "between", "min(", "max(", "avg(", "zt_div(" });
    if (verb == QLatin1StringView("select")) {
        bool decimalLiteral = false;
        for (qsizetype i = text.indexOf(u'.'); i >= 0 && !decimalLiteral; i = text.indexOf(u'.', i + 1))
            decimalLiteral = i + 1 < text.size() && text[i + 1].isDigit();
        needs.resultTypes = decimalLiteral
            || contains({ "sum(", "avg(", "min(", "max(", "zt_", "ifnull(", "coalesce(", "abs(", "union",
                "except", "intersect" });
    }
    return needs;
}

bool holdsLongNumberText(const QList<QVariant> &params, qsizetype first)
{
    static const int exactNumber = qMetaTypeId<ExactNumber>();
    for (qsizetype i = std::max<qsizetype>(first, 0); i < params.size(); ++i) {
        const QVariant &v = params[i];
        if (v.typeId() != QMetaType::QString && v.typeId() != exactNumber)
            continue;
        const QString text = v.toString();
        if (text.size() <= DoubleDigits || text.size() > MaxPrecision + 4)
            continue; // too short for more digits than a double's, or too long for a number
        int digits = 0;
        for (const QChar c : text)
            digits += c.isDigit() ? 1 : 0;
        if (digits > DoubleDigits) {
            const QByteArray latin = text.toLatin1();
            if (parseDecimal(std::string_view(latin.constData(), std::size_t(latin.size()))))
                return true;
        }
    }
    return false;
}

QStringList resultTypes(const ExactReading &reading, int columnCount)
{
    const QStringList &items = reading.itemTypes;
    QStringList types(columnCount);
    if (reading.star < 0 && items.size() != columnCount)
        return types;
    const qsizetype before = reading.star < 0 ? items.size() : reading.star;
    for (qsizetype i = 0; i < before && i < columnCount; ++i)
        types[i] = items[i];
    // The items after the *, counted from the end.
    const qsizetype after = reading.star < 0 ? 0 : items.size() - reading.star - 1;
    for (qsizetype k = 0; k < after && columnCount - 1 - k > reading.star; ++k)
        types[columnCount - 1 - k] = items[items.size() - 1 - k];
    return types;
}

std::optional<ExactReading> exactStatement(
    sqlite3 *db, const QString &verb, const QString &text, bool resultTypes, bool longNumbers)
{
    ExactNeeds needs = exactNeeds(verb, text);
    needs.resultTypes = needs.resultTypes && resultTypes;
    if (!counted(needs.ordering || needs.resultTypes || longNumbers))
        return std::nullopt;
    return exactOrdering(db, text, needs.resultTypes, longNumbers);
}

QList<ArithmeticEdit> exactArithmetic(const QList<Token> &tokens, qsizetype from, qsizetype to)
{
    if (!counted(hasArithmetic(tokens, from, to)))
        return {};
    return readArithmetic(tokens, from, to);
}

int exactScale(const QString &declaration)
{
    // Only decimal, numeric, dec, money and smallmoney are read further.
    const QStringView name = QStringView(declaration).trimmed();
    if (name.isEmpty() || !QStringView(u"dnmsDNMS").contains(name.front()))
        return -1;
    const NumberType number = typeOfDeclaration(name);
    return number.isExact() ? (number.kind == NumberType::Kind::Decimal ? number.scale : 4) : -1;
}

} // namespace zt::embedded
