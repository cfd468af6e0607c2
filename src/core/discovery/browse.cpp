#include "browse.h"

namespace zt::discovery {

QString composeBrowseText(const QStringList &serverNames)
{
    QStringList names;
    for (const QString &name : serverNames) {
        if (!name.contains(u',') && !name.contains(u'{') && !name.contains(u'}'))
            names.append(name);
    }
    return QStringLiteral("SERVER:Server={") + names.join(u',')
        + QStringLiteral("};UID:Login ID=?;PWD:Password=?;Trusted_Connection:Use Integrated Security=?;"
                         "*APP:AppName=?;*WSID:WorkStation ID=?;");
}

QStringList parseBrowseResult(QString text)
{
    QStringList items;
    const qsizetype open = text.indexOf(QLatin1StringView("={"));
    text.remove(0, open < 0 ? 1 : open + 2);
    const qsizetype close = text.indexOf(QLatin1StringView("};"));
    if (close >= 0)
        text.truncate(close);
    qsizetype comma;
    while ((comma = text.indexOf(u',')) >= 0) {
        items.append(text.left(comma));
        text.remove(0, comma + 1);
    }
    if (!text.isEmpty())
        items.append(text);
    return items;
}

} // namespace zt::discovery
