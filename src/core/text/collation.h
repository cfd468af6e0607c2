#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zt::text {

// A SQL Server collation the embedded server and ztwizard-tds can take: its name, the code page
// its char/varchar values are held in, and how TDS announces it (LCID, comparison flags and, for
// the SQL_ collations, the sort order number).
struct Collation
{
    QString name; // as SQL Server spells it
    int codePage = 936;
    quint32 lcid = 0x0804;
    quint8 sortId = 0; // 0 for Windows collations
    bool caseSensitive = false;
    bool binary = false;

    // The five bytes of a TDS collation: LCID and flags (little-endian), then the sort id.
    QByteArray tdsBytes() const;
    bool holdsChinese() const { return codePage == 936 || codePage == 950; }
};

// Chinese_PRC_CI_AS: the default of a server that does not name one.
const Collation &defaultCollation();

// A known collation by name (letter case ignored); nullopt for others.
std::optional<Collation> findCollation(const QString &name);

// The collation a server's or a column's name stands for: a known one, else one with the
// code page and letter-case rule its name implies (Latin1/SQL_ names code page 1252,
// Chinese_Taiwan/Chinese_Hong_Kong 950, other names the fallback's code page).
Collation collationOrLike(const QString &name, const Collation &fallback);

// The code page five TDS collation bytes stand for (by sort id, else by LCID); fallback when
// they are unknown.
int codePageOfTds(const QByteArray &collation, int fallback);

// preferred when it has the code page, else the first known collation that has it.
Collation collationOfCodePage(int codePage, const Collation &preferred);

// The names of the collations known here, for messages.
QString knownCollationNames();

} // namespace zt::text
