#pragma once

#include <QIcon>
#include <QSize>
#include <QStyle>

class QWidget;

namespace zt::gui {

// The look the wizard's windows share: background RGB(188, 202, 228), text fields
// RGB(237, 241, 248), 9-point "MS Sans Serif" (a CJK font stands in where it is missing), a fixed
// client size and a title bar with only the system menu and the close box.
void applyWindowLook(QWidget *window, const QSize &clientSize);

// Moves a window to the centre of the screen it is on.
void centreOnScreen(QWidget *window);

// A 16 x 16 button picture: the desktop theme's icon of that name, else the style's own.
QIcon buttonGlyph(const QString &themeName, QStyle::StandardPixmap fallback);

// The banner picture at the left of pages 1 and 2.
QString bannerResource();

} // namespace zt::gui
