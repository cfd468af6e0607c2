#include "codepage.h"

#include <QList>

#include <iconv.h>

#include <cerrno>
#include <map>
#include <string>

namespace zt::text {

namespace {

// One conversion descriptor per pair of encodings and thread, reset before each use: opening
// one costs more than converting a short value.
iconv_t descriptor(const char *to, const char *from)
{
    struct Cache
    {
        std::map<std::pair<std::string, std::string>, iconv_t> open;
        ~Cache()
        {
            for (const auto &entry : open)
                iconv_close(entry.second);
        }
    };
    thread_local Cache cache;
    const auto key = std::make_pair(std::string(to), std::string(from));
    if (const auto it = cache.open.find(key); it != cache.open.end()) {
        iconv(it->second, nullptr, nullptr, nullptr, nullptr);
        return it->second;
    }
    iconv_t cd = iconv_open(to, from);
    if (cd != reinterpret_cast<iconv_t>(-1))
        cache.open.emplace(key, cd);
    return cd;
}

} // namespace

namespace detail {

QByteArray convert(const char *to, const char *from, const QByteArray &in, const char *replacement,
    size_t unitSize, bool *valid)
{
    if (valid)
        *valid = true;
    iconv_t cd = descriptor(to, from);
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
    return out;
}

} // namespace detail

namespace {

const char *iconvName(int codePage)
{
    switch (codePage) {
    case 950:
        return "BIG5";
    case 1252:
        return "CP1252";
    case 65001:
        return "UTF-8";
    default:
        return "GBK";
    }
}

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

QByteArray toCodePage(const QString &text, int codePage)
{
    if (isAscii(text))
        return text.toLatin1();
    const QList<uint> ucs4 = text.toUcs4();
    const QByteArray utf32(reinterpret_cast<const char *>(ucs4.constData()), ucs4.size() * 4);
    return detail::convert(iconvName(codePage), "UTF-32LE", utf32, "?", 4);
}

QString fromCodePage(const QByteArray &bytes, int codePage)
{
    return QString::fromUtf8(detail::convert("UTF-8", iconvName(codePage), bytes, "\xEF\xBF\xBD", 1));
}

QString fitCodePage(const QString &text, int codePage)
{
    if (codePage == 65001 || isAscii(text))
        return text;
    return fromCodePage(toCodePage(text, codePage), codePage);
}

qsizetype codePageBytes(QStringView text, int codePage)
{
    return isAscii(text) ? text.size() : toCodePage(text.toString(), codePage).size();
}

} // namespace zt::text
