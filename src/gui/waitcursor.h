#pragma once

#include <QPointer>
#include <QWidget>

namespace zt::gui {

// The SQL-wait cursor on a pressed button for the length of an operation. It goes back to the
// default cursor when restore() is called or, at the latest, when the guard goes out of scope,
// so no way out of an operation leaves it behind.
class WaitCursor final
{
public:
    explicit WaitCursor(QWidget *button)
        : m_button(button)
    {
        m_button->setCursor(Qt::WaitCursor);
    }
    ~WaitCursor() { restore(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

    void restore()
    {
        if (m_button)
            m_button->unsetCursor();
        m_button = nullptr;
    }

private:
    QPointer<QWidget> m_button;
};

} // namespace zt::gui
