#include "detachablegroup.h"

#include <QApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMouseEvent>

namespace zt::gui {

DetachableGroup::DetachableGroup(QGroupBox *group)
    : QObject(group)
    , m_group(group)
    , m_dockParent(group->parentWidget())
    , m_dockGeometry(group->geometry())
{
    group->installEventFilter(this);
}

bool DetachableGroup::isFloating() const
{
    return m_group->isWindow();
}

void DetachableGroup::dock()
{
    if (!isFloating() || !m_dockParent)
        return;
    const bool shown = !m_group->isHidden();
    if (m_group->mouseGrabber() == m_group)
        m_group->releaseMouse();
    m_pressed = m_dragging = false;
    m_group->setParent(m_dockParent, Qt::Widget);
    m_group->setGeometry(m_dockGeometry);
    m_group->setVisible(shown);
}

void DetachableGroup::show()
{
    m_group->show();
    if (isFloating()) {
        m_group->raise();
        m_group->activateWindow();
    }
}

void DetachableGroup::detach(const QPoint &globalTopLeft)
{
    m_dockGeometry = m_group->geometry();
    // A window does not take its parent's colours and font: it keeps the page's explicitly.
    const QPalette inherited = m_group->palette();
    QPalette own;
    for (int group = 0; group < QPalette::NColorGroups; ++group)
        for (int role = 0; role < QPalette::NColorRoles; ++role)
            own.setBrush(QPalette::ColorGroup(group), QPalette::ColorRole(role),
                inherited.brush(QPalette::ColorGroup(group), QPalette::ColorRole(role)));
    m_group->setPalette(own);
    QFont font = m_group->font();
    font.setFamilies(font.families());
    font.setFamily(font.family());
    font.setPointSizeF(font.pointSizeF());
    font.setStyleStrategy(font.styleStrategy());
    m_group->setFont(font);
    // A tool window of the page's window: it stays above the page and goes with it.
    m_group->setParent(m_dockParent->window(), Qt::Tool | Qt::FramelessWindowHint);
    m_group->move(globalTopLeft);
    m_group->show();
    m_group->raise();
    m_group->activateWindow();
    // The press began in the page's window; keep the drag going in the new one.
    m_group->grabMouse();
}

bool DetachableGroup::windowsCanBePlaced()
{
    // A Wayland compositor places windows itself: a floating group could neither appear where it
    // was dropped nor follow the mouse, so there the group stays on its page, usable in place.
    return !QGuiApplication::platformName().startsWith(QLatin1StringView("wayland"));
}

bool DetachableGroup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_group)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !windowsCanBePlaced())
            break;
        m_pressed = true;
        m_dragging = false;
        m_pressOffset = mouse->position().toPoint();
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_pressed || !(mouse->buttons() & Qt::LeftButton))
            break;
        const QPoint topLeft = mouse->globalPosition().toPoint() - m_pressOffset;
        if (!m_dragging) {
            if ((mouse->position().toPoint() - m_pressOffset).manhattanLength()
                < QApplication::startDragDistance())
                return true;
            m_dragging = true;
            if (!isFloating()) {
                detach(topLeft);
                return true;
            }
        }
        m_group->move(topLeft);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!m_pressed)
            break;
        m_pressed = m_dragging = false;
        if (m_group->mouseGrabber() == m_group)
            m_group->releaseMouse();
        return true;
    default:
        break;
    }
    return false;
}

} // namespace zt::gui
