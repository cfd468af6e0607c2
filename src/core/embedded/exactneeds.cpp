// What a statement needs of the exact ordering, looked at cheaply, and the types of its result
// columns (see exactordering.h).
#include "exactdecimal.h"
#include "exactordering.h"

namespace zt::embedded {

ExactNeeds exactNeeds(const QString &verb, const QString &text)
{
    const auto contains = [&text](std::initializer_list<const char *> words) {
        for (const char *word : words) {
            if (text.contains(QLatin1StringView(word), Qt::CaseInsensitive))
                return true;
        }
        return false;
    };
    ExactNeeds needs;
    if (verb == QLatin1StringView("insert")
        && !text.contains(QLatin1StringView("select"), Qt::CaseInsensitive))
        return needs;
    if (verb != QLatin1StringView("select") && verb != QLatin1StringView("insert")
        && verb != QLatin1StringView("update") && verb != QLatin1StringView("delete")
        && verb != QLatin1StringView("with"))
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
        int digits = 0;
        for (const QChar c : text)
            digits += c.isDigit() ? 1 : 0;
        if (digits > DoubleDigits && text.size() <= MaxPrecision + 4) {
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

} // namespace zt::embedded
