#pragma once

// Real displays for the tests that press keys as a user does: an Xvfb of the test's own, and a
// Weston on it (its X11 back end gives the compositor a seat, so xdotool's keys on the X server
// reach the Wayland clients as real key events). Each ends with its test.

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

namespace zt::test {

inline void endWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// Xvfb on a free display number; display() is empty when none could be started.
class VirtualDisplay final
{
public:
    VirtualDisplay()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return;
        endWithParent(m_server);
        m_server.start(QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp") });
        if (m_server.waitForReadyRead(10000))
            m_display = u':' + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    QString display() const { return m_display; }

private:
    QProcess m_server;
    QString m_display;
};

// Weston on the X display, its socket in a private runtime folder; ready() when it listens and
// Qt's Wayland plugin is there to reach it. Its kiosk shell puts the window in use in the middle
// of its output, where the test's pointer can find it (a Wayland client cannot say where it is).
class WestonOnX final
{
public:
    explicit WestonOnX(const QString &xDisplay)
    {
        const bool plugin
            = !QDir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"))
                   .entryList({ QStringLiteral("libqwayland*.so") })
                   .isEmpty();
        if (xDisplay.isEmpty() || !plugin
            || QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty() || !m_runtime.isValid())
            return;
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), xDisplay);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_weston.setProcessEnvironment(environment);
        m_weston.setProcessChannelMode(QProcess::MergedChannels);
        endWithParent(m_weston);
        m_weston.start(QStringLiteral("weston"),
            { QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--shell=kiosk-shell.so"),
                QStringLiteral("--use-pixman"), QStringLiteral("--socket=zt-wayland"),
                QStringLiteral("--width=1000"), QStringLiteral("--height=740"),
                QStringLiteral("--idle-time=0"), QStringLiteral("--no-config") });
        const QString socket = m_runtime.filePath(QStringLiteral("zt-wayland"));
        for (int i = 0; i < 200 && !QFile::exists(socket); ++i)
            QThread::msleep(50);
        m_ready = QFile::exists(socket);
    }
    ~WestonOnX()
    {
        m_weston.terminate();
        m_weston.waitForFinished(5000);
    }
    WestonOnX(const WestonOnX &) = delete;
    WestonOnX &operator=(const WestonOnX &) = delete;

    bool ready() const { return m_ready; }
    QString runtimeDir() const { return m_runtime.path(); }
    static QString socketName() { return QStringLiteral("zt-wayland"); }

private:
    QTemporaryDir m_runtime;
    QProcess m_weston;
    bool m_ready = false;
};

// Real key and pointer events through the X server: xdotool with its arguments on the display.
inline bool xdotool(const QString &display, const QStringList &arguments)
{
    QProcess p;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(environment);
    p.start(QStringLiteral("xdotool"), arguments);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace zt::test
