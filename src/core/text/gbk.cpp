#include "gbk.h"

#include "codepage.h"

#include <QList>

namespace zt::text {

QString fromGbk(const QByteArray &bytes)
{
    const QByteArray utf8 = detail::convert("UTF-8", "GBK", bytes, "\xEF\xBF\xBD", 1);
    return QString::fromUtf8(utf8);
}

std::optional<QString> fromGbkStrict(const QByteArray &bytes)
{
    bool valid = false;
    const QByteArray utf8 = detail::convert("UTF-8", "GBK", bytes, "", 1, &valid);
    if (!valid)
        return std::nullopt;
    return QString::fromUtf8(utf8);
}

QByteArray toGbk(const QString &text)
{
    const QList<uint> ucs4 = text.toUcs4();
    const QByteArray utf32(reinterpret_cast<const char *>(ucs4.constData()), ucs4.size() * 4);
    return detail::convert("GBK", "UTF-32LE", utf32, "?", 4);
}

} // namespace zt::text
