#pragma once

#include <QString>

namespace zt::install {

// The installation directory: the directory of the running executable, with its trailing
// separator. Paths are formed by appending text to it exactly as composed, so a path whose
// appended part begins with a separator holds a doubled one.
QString directory();
// A path read from the installation's text files (txt/runsoft.txt, txt/xzzt.txt) for this
// platform: each '\' is the platform separator, as in every stored path.
QString localPath(const QString &stored);

// Points the installation directory elsewhere (tools and tests). An empty text restores the
// executable's directory.
void setDirectory(const QString &directory);

} // namespace zt::install
