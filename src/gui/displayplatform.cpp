#include "displayplatform.h"

#include <QDir>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace zt::gui {

PlatformChoice choosePlatform(const DisplaySession &session)
{
    if (!session.chosenPlatform.isEmpty())
        return {};
    if (session.wayland && session.waylandPlugin)
        return { QStringLiteral("wayland"), {} };
    if (session.x11 && session.xcbPlugin)
        return { QStringLiteral("xcb"), {} }; // an X server, or XWayland on a Wayland desktop
    if (session.wayland) {
        return { {},
            QStringLiteral("在 Wayland 桌面上显示“创建帐套”需要 Qt 的 Wayland 支持：请安装软件包 qt6-wayland"
                           "（sudo apt install qt6-wayland），或在桌面中启用 XWayland。") };
    }
    if (session.x11) {
        return { {},
            QStringLiteral("显示“创建帐套”需要 Qt 的 X11 支持：请安装软件包 libqt6gui6 的完整依赖"
                           "（sudo apt install --reinstall libqt6gui6）。") };
    }
    return { {},
        QStringLiteral(
            "找不到图形桌面（DISPLAY 和 WAYLAND_DISPLAY 都没有设置）：请在图形桌面中启动“创建帐套”；"
            "在终端中可以使用命令 ztaccountset。") };
}

DisplaySession currentDisplaySession()
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    DisplaySession session;
    session.chosenPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    session.wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    session.x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    session.waylandPlugin = !platforms.entryList({ QStringLiteral("libqwayland*.so") }).isEmpty();
    session.xcbPlugin = platforms.exists(QStringLiteral("libqxcb.so"));
    return session;
}

bool prepareDisplayPlatform()
{
    const PlatformChoice choice = choosePlatform(currentDisplaySession());
    if (!choice.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice.platform.toLatin1());
    if (choice.problem.isEmpty())
        return true;
    std::fprintf(stderr, "%s\n", choice.problem.toLocal8Bit().constData());
    // A notification reaches a user who started the wizard from the menu, without any window.
    const QString notify = QStandardPaths::findExecutable(QStringLiteral("notify-send"));
    if (!notify.isEmpty())
        QProcess::execute(notify, { QStringLiteral("创建帐套"), choice.problem });
    return false;
}

} // namespace zt::gui
