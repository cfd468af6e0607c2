#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zt::text {

// The system code page of the wizard's text files and help.ini: GBK (code page 936).
QString fromGbk(const QByteArray &bytes);
// The text of bytes that are valid GBK throughout; nullopt when any byte sequence is not.
std::optional<QString> fromGbkStrict(const QByteArray &bytes);
// Characters GBK cannot hold are written as '?'.
QByteArray toGbk(const QString &text);

} // namespace zt::text
