#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QAbstractButton;
class QPushButton;
class QWidget;

namespace zt::gui {

// The keyboard of the wizard's windows: a focused button takes Enter, as it takes Space, as a
// press; no button is a default button unless a window names one.

// Every push button of the window (those created later are not included) presses on Enter when
// it has the focus, and none of them becomes a default button by itself.
void pressFocusedButtonsOnEnter(QWidget *window);

// Esc presses the window's cancel button, unless a list or menu is open (a drop-down's list, a
// context menu): then Esc closes that alone, and the window stays as it is.
void pressOnEscape(QWidget *window, QAbstractButton *cancel);

// A default button: while it is visible and enabled, an Enter that no focused widget took (a
// focused button takes its own) presses it, when the Enter reaches one of the watched widgets in
// the button's own window. The watched widgets are the window and any part of it that may float
// as a window of its own. Made after pressFocusedButtonsOnEnter for the window, which would
// otherwise take the button's default look away again.
class DefaultButton final : public QObject
{
    Q_OBJECT

public:
    DefaultButton(QPushButton *button, const QList<QWidget *> &watched);
    Q_DISABLE_COPY_MOVE(DefaultButton)

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QPushButton> m_button;
};

} // namespace zt::gui
