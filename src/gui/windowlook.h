#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QStyle>

#include <initializer_list>

class QLineEdit;
class QPushButton;

class QWidget;

namespace zt::gui {

// The look the wizard's windows share: background RGB(188, 202, 228), text fields
// RGB(237, 241, 248), 9-point "MS Sans Serif" (a CJK font stands in where it is missing), a fixed
// client size and a title bar with only the system menu and the close box.
void applyWindowLook(QWidget *window, const QSize &clientSize);

// The look of page 2's dialogs (restore, copy, change): the window look, "*" in the password
// fields, and the pictures of OK and Cancel on their two buttons.
void applyDialogLook(QWidget *dialog, const QSize &clientSize, std::initializer_list<QLineEdit *> passwords,
    QPushButton *ok, QPushButton *cancel);

// Makes the windows' font the application's, before any window is made. The widgets are then laid
// out once, in that font, instead of first in the desktop's font (which has no Chinese, so that Qt
// searches every font for the characters) and again in the window's.
void useWindowFontThroughout();

// Moves a window to the centre of the screen it is on.
void centreOnScreen(QWidget *window);

// A 16 x 16 button picture: the picture of that name among those Qt's style is built with (e.g.
// "standardbutton-help"), else the style's standard icon.
QIcon buttonGlyph(const QString &imageName, QStyle::StandardPixmap fallback);

// The banner picture at the left of pages 1 and 2.
QPixmap bannerPicture();

} // namespace zt::gui
