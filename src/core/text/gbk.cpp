#include "gbk.h"

#include <QList>

#include <iconv.h>

#include <cerrno>

namespace zt::text {

namespace {

QByteArray convert(const char *to, const char *from, const QByteArray &in, const char *replacement,
    size_t unitSize, bool *valid = nullptr)
{
    if (valid)
        *valid = true;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out;
    out.reserve(in.size() * 2 + 16);
    char *inPtr = const_cast<char *>(in.constData());
    size_t inLeft = static_cast<size_t>(in.size());
    char buffer[4096];
    while (inLeft > 0) {
        char *outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An unconvertible or truncated sequence: substitute and step over one unit.
            if (valid)
                *valid = false;
            out.append(replacement);
            const size_t step = inLeft < unitSize ? inLeft : unitSize;
            inPtr += step;
            inLeft -= step;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

QString fromGbk(const QByteArray &bytes)
{
    const QByteArray utf8 = convert("UTF-8", "GBK", bytes, "\xEF\xBF\xBD", 1);
    return QString::fromUtf8(utf8);
}

std::optional<QString> fromGbkStrict(const QByteArray &bytes)
{
    bool valid = false;
    const QByteArray utf8 = convert("UTF-8", "GBK", bytes, "", 1, &valid);
    if (!valid)
        return std::nullopt;
    return QString::fromUtf8(utf8);
}

QByteArray toGbk(const QString &text)
{
    const QList<uint> ucs4 = text.toUcs4();
    const QByteArray utf32(reinterpret_cast<const char *>(ucs4.constData()), ucs4.size() * 4);
    return convert("GBK", "UTF-32LE", utf32, "?", 4);
}

} // namespace zt::text
