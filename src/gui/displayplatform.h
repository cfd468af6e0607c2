#pragma once

// Which of Qt's display platforms the wizard starts on, decided before the application object
// exists: Qt itself aborts with an English message (exit 134) when the session's platform plugin
// is missing, which a user who started the wizard from the menu never sees.

#include <QString>

namespace zt::gui {

struct DisplaySession
{
    QString chosenPlatform; // QT_QPA_PLATFORM as set by the user; empty when unset
    bool wayland = false; // WAYLAND_DISPLAY is set
    bool x11 = false; // DISPLAY is set (an X server, or XWayland)
    bool waylandPlugin = false; // Qt's Wayland platform plugin is installed
    bool xcbPlugin = false;
};

struct PlatformChoice
{
    QString platform; // to set as QT_QPA_PLATFORM; empty to leave Qt's own choice
    QString problem; // in Chinese: why the wizard cannot show a window here and what to install
};

PlatformChoice choosePlatform(const DisplaySession &session);

// This process's session, from its environment and Qt's plugin folder.
DisplaySession currentDisplaySession();

// Applies the choice; false (after telling the user on standard error and, where there is one,
// as a desktop notification) when no window can be shown.
bool prepareDisplayPlatform();

} // namespace zt::gui
