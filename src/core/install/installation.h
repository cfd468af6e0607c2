#pragma once

#include <QString>

namespace zt::install {

// The installation directory: the directory of the running executable, with its trailing
// separator. Paths are formed by appending text to it exactly as composed, so a path whose
// appended part begins with a separator holds a doubled one.
QString directory();
// Points the installation directory elsewhere (tools and tests). An empty text restores the
// executable's directory.
void setDirectory(const QString &directory);

} // namespace zt::install
