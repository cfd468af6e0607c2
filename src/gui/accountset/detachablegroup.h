#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

class QGroupBox;
class QMouseEvent;

namespace zt::gui {

// Lets the user drag a group box off its page as a small floating window: pressing on the
// group's frame or title (anywhere its fields and buttons do not take the mouse) and dragging
// farther than the start distance lifts the group into a frameless tool window above the page,
// which then follows the mouse; later drags move that window. The group keeps its widgets,
// state and visibility; showing and hiding it works alike docked or floating. dock() puts it
// back in its place on the page.
class DetachableGroup final : public QObject
{
    Q_OBJECT

public:
    explicit DetachableGroup(QGroupBox *group);
    Q_DISABLE_COPY_MOVE(DetachableGroup)

    bool isFloating() const;
    void dock();
    // Shows the group; a floating one is also raised and activated so that it takes the keyboard.
    void show();
    // Whether the platform lets a program place its windows (not so on Wayland): only then can
    // the group be dragged off its page.
    static bool windowsCanBePlaced();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void detach(const QPoint &globalTopLeft);

    QGroupBox *m_group;
    QPointer<QWidget> m_dockParent;
    QRect m_dockGeometry;
    QPoint m_pressOffset; // where the group was grabbed, relative to its top-left corner
    bool m_pressed = false;
    bool m_dragging = false;
};

} // namespace zt::gui
