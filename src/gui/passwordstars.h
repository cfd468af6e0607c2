#pragma once

class QLineEdit;

namespace zt::gui {

// A password field that shows "*" for every character typed, whatever the desktop style's own
// mask character (often a dot) is.
void showPasswordAsStars(QLineEdit *field);

} // namespace zt::gui
