#include "sqlliteral.h"

namespace zt::data {

QString plainLiteral(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
}

QString nationalLiteral(const QString &text)
{
    return u'N' + plainLiteral(text);
}

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(u']', QStringLiteral("]]"));
    return u'[' + quoted + u']';
}

} // namespace zt::data
