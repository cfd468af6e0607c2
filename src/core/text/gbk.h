#pragma once

#include <QByteArray>
#include <QString>

namespace zt::text {

// The system code page of the wizard's text files and help.ini: GBK (code page 936).
QString fromGbk(const QByteArray &bytes);
// Characters GBK cannot hold are written as '?'.
QByteArray toGbk(const QString &text);

} // namespace zt::text
