#include "buttonkeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>

namespace zt::gui {

namespace {

bool isEnter(const QKeyEvent *key)
{
    // Return, or Enter on the keypad; a modified Enter (Ctrl, Alt, Shift) is no press.
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier;
}

// Presses the focused button it watches on Enter.
class EnterPresses final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto *key = static_cast<QKeyEvent *>(event);
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (!button || !isEnter(key) || !button->isEnabled())
            return false;
        if (!key->isAutoRepeat())
            button->click();
        return true;
    }
};

EnterPresses *enterPresses()
{
    static auto *filter = new EnterPresses();
    return filter;
}

// Which Esc a popup had. On X11 a drop-down's list closes itself while the Esc is still being
// offered as a shortcut; the offer then goes on to the window, whose Esc shortcut would end the
// window too. The key event keeps its time stamp through the offers: an Esc first offered while a
// popup was open is that popup's alone.
class EscapeWatch final : public QObject
{
public:
    static EscapeWatch &instance()
    {
        static auto *watch = [] {
            auto *w = new EscapeWatch();
            qApp->installEventFilter(w);
            return w;
        }();
        return *watch;
    }

    // Whether the Esc being handled now was offered to an open popup first.
    bool belongsToPopup() const { return m_popupEsc && m_popupEscTime == m_lastEscTime; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyRelease && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            m_popupEsc = false; // that Esc is over
        } else if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Escape) {
                if (key->timestamp() != m_lastEscTime || !m_popupEsc) {
                    m_lastEscTime = key->timestamp();
                    m_popupEsc = QApplication::activePopupWidget() != nullptr;
                    m_popupEscTime = key->timestamp();
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_popupEsc = false;
    quint64 m_popupEscTime = 0;
    quint64 m_lastEscTime = 0;
};

} // namespace

void pressFocusedButtonsOnEnter(QWidget *window)
{
    const auto buttons = window->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(enterPresses());
    }
}

void pressOnEscape(QWidget *window, QAbstractButton *cancel)
{
    EscapeWatch::instance();
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(escape, &QShortcut::activated, cancel, [cancel] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            popup->close();
            return;
        }
        if (EscapeWatch::instance().belongsToPopup())
            return;
        cancel->click();
    });
}

DefaultButton::DefaultButton(QPushButton *button, const QList<QWidget *> &watched)
    : QObject(button)
    , m_button(button)
{
    button->setDefault(true); // drawn as the default button; the presses are this object's
    for (QWidget *widget : watched)
        widget->installEventFilter(this);
}

bool DefaultButton::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !m_button)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    auto *widget = qobject_cast<QWidget *>(watched);
    // The Enter reaches the watched widget only when the focused widget did not take it.
    if (!widget || !isEnter(key) || widget->window() != m_button->window() || !m_button->isVisible()
        || !m_button->isEnabled())
        return false;
    if (!key->isAutoRepeat())
        m_button->click();
    return true;
}

} // namespace zt::gui
