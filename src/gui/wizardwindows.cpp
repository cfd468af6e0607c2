#include "wizardwindows.h"

#include <QEvent>
#include <QTimer>

namespace zt::gui {

namespace {

// Watches a window for its first paint, then runs the action in the next turn of the event
// loop, once the painted page has reached the screen.
class FirstPaintWatch final : public QObject
{
public:
    FirstPaintWatch(QWidget *window, std::function<void()> action)
        : QObject(window)
        , m_action(std::move(action))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_action();
                deleteLater();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};

} // namespace

void WizardWindows::makeOtherWindowsOncePainted()
{
    new FirstPaintWatch(&form_server, [this] { makeOtherWindows(); });
}

} // namespace zt::gui
