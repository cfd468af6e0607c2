#include "collation.h"

#include <QStringList>

namespace zt::text {

namespace {

// LCIDs of the collations' locales.
constexpr quint32 ChinesePrc = 0x0804;
constexpr quint32 ChineseTaiwan = 0x0404;
constexpr quint32 EnglishUs = 0x0409;

const QList<Collation> &knownCollations()
{
    static const QList<Collation> known = {
        { QStringLiteral("Chinese_PRC_CI_AS"), 936, ChinesePrc, 0, false, false },
        { QStringLiteral("Chinese_PRC_CS_AS"), 936, ChinesePrc, 0, true, false },
        { QStringLiteral("Chinese_PRC_BIN"), 936, ChinesePrc, 0, true, true },
        { QStringLiteral("SQL_Latin1_General_CP1_CI_AS"), 1252, EnglishUs, 52, false, false },
        { QStringLiteral("SQL_Latin1_General_CP1_CS_AS"), 1252, EnglishUs, 51, true, false },
        { QStringLiteral("Latin1_General_CI_AS"), 1252, EnglishUs, 0, false, false },
        { QStringLiteral("Latin1_General_CS_AS"), 1252, EnglishUs, 0, true, false },
        { QStringLiteral("Chinese_Taiwan_Stroke_CI_AS"), 950, ChineseTaiwan, 0, false, false },
        { QStringLiteral("Chinese_Taiwan_Stroke_CS_AS"), 950, ChineseTaiwan, 0, true, false },
    };
    return known;
}

// The comparison flags of a TDS collation.
constexpr quint32 IgnoreCase = 0x01;
constexpr quint32 IgnoreKana = 0x04;
constexpr quint32 IgnoreWidth = 0x08;
constexpr quint32 Binary = 0x10;

} // namespace

QByteArray Collation::tdsBytes() const
{
    quint32 flags = 0;
    if (binary)
        flags = Binary;
    else
        flags = (caseSensitive ? 0 : IgnoreCase) | IgnoreKana | IgnoreWidth;
    const quint32 info = (lcid & 0xfffff) | (flags << 20);
    QByteArray bytes(5, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((info >> (8 * i)) & 0xff);
    bytes[4] = char(sortId);
    return bytes;
}

const Collation &defaultCollation()
{
    return knownCollations().first();
}

std::optional<Collation> findCollation(const QString &name)
{
    for (const Collation &c : knownCollations()) {
        if (c.name.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return c;
    }
    return std::nullopt;
}

Collation collationOrLike(const QString &name, const Collation &fallback)
{
    if (name.isEmpty())
        return fallback;
    if (const auto known = findCollation(name))
        return *known;
    Collation like = fallback;
    like.name = name;
    const QString upper = name.toUpper();
    if (upper.startsWith(QLatin1StringView("SQL_")) || upper.startsWith(QLatin1StringView("LATIN1_")))
        like = *findCollation(QStringLiteral("Latin1_General_CI_AS"));
    else if (upper.startsWith(QLatin1StringView("CHINESE_TAIWAN"))
        || upper.startsWith(QLatin1StringView("CHINESE_HONG_KONG")))
        like = *findCollation(QStringLiteral("Chinese_Taiwan_Stroke_CI_AS"));
    else if (upper.startsWith(QLatin1StringView("CHINESE_PRC")))
        like = defaultCollation();
    like.name = name;
    like.binary = upper.endsWith(QLatin1StringView("_BIN")) || upper.endsWith(QLatin1StringView("_BIN2"));
    like.caseSensitive = like.binary || upper.contains(QLatin1StringView("_CS"));
    return like;
}

int codePageOfTds(const QByteArray &collation, int fallback)
{
    if (collation.size() < 5)
        return fallback;
    const auto sortId = quint8(collation.at(4));
    if (sortId >= 30 && sortId <= 62) // the SQL_Latin1_General_CP1 and CP1252 sort orders
        return 1252;
    if (sortId != 0)
        return fallback;
    const quint32 lcid = quint8(collation.at(0)) | (quint32(quint8(collation.at(1))) << 8)
        | ((quint32(quint8(collation.at(2))) & 0x0f) << 16);
    switch (lcid) {
    case 0x0804: // Chinese (PRC), Chinese (Singapore)
    case 0x1004:
        return 936;
    case 0x0404: // Chinese (Taiwan, Hong Kong, Macao)
    case 0x0c04:
    case 0x1404:
        return 950;
    case 0x0409: // English, French, German, Spanish, Italian, Dutch, Portuguese ...
    case 0x0809:
    case 0x040c:
    case 0x0407:
    case 0x0c0a:
    case 0x0410:
    case 0x0413:
    case 0x0816:
        return 1252;
    default:
        return fallback;
    }
}

Collation collationOfCodePage(int codePage, const Collation &preferred)
{
    if (codePage == preferred.codePage || codePage == 0)
        return preferred;
    for (const Collation &c : knownCollations()) {
        if (c.codePage == codePage)
            return c;
    }
    return preferred;
}

QString knownCollationNames()
{
    QStringList names;
    for (const Collation &c : knownCollations())
        names << c.name;
    return names.join(QStringLiteral(", "));
}

} // namespace zt::text
