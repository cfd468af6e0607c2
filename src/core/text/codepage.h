#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace zt::text {

// Text in a Windows code page (936 GBK, 950 Big5, 1252 Western European, 65001 UTF-8):
// characters the code page cannot hold become '?', as SQL Server stores them in a varchar.
QByteArray toCodePage(const QString &text, int codePage);
QString fromCodePage(const QByteArray &bytes, int codePage);

// The text as a varchar of that code page keeps it: unchanged when every character fits, else
// with '?' for each that does not.
QString fitCodePage(const QString &text, int codePage);

// The text's length in bytes of the code page.
qsizetype codePageBytes(QStringView text, int codePage);

namespace detail {
// iconv from one encoding to another; what cannot be converted becomes replacement (one input
// unit of unitSize bytes at a time), and valid (when given) tells whether anything did.
QByteArray convert(const char *to, const char *from, const QByteArray &in, const char *replacement,
    size_t unitSize, bool *valid = nullptr);
} // namespace detail

} // namespace zt::text
