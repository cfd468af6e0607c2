#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace zt::install {

// Values held for the life of the process by the account-set page and the launch: they start
// empty and keep the last value given.
struct HeldValues
{
    QString scriptName; // table-creation script, from txt/xzzt.txt + ".ini"
    QString launchTarget; // from txt/runsoft.txt
};
HeldValues &heldValues();

// Reads an installation text file (GBK) into a held value: each line replaces the previous one,
// so the value is the last line; a last empty line gives the empty text; an empty file leaves
// the value as it was. Returns false, leaving the value, when the file cannot be opened or read.
bool readTextFile(const QString &path, QString &held);

// Reads txt/xzzt.txt into the held script name and appends ".ini" when the read succeeded.
void readScriptName();

// Writes one key in a profile (INI) file the way Windows does: creates the file when missing,
// keeps other sections and keys, replaces the key's value. GBK with CR LF. False on failure.
bool writeProfileString(
    const QString &path, const QString &section, const QString &key, const QString &value);

// The help topic both pages ask for.
QString helpTopic();
// The help bridge: help.ini, section "path", key "帮助路径" = topic + ".htm". Failures are
// swallowed: the help viewer is started all the same.
void writeHelpTopic(const QString &topic);
// Starts "help.EXE" (installation directory first, then PATH), detached; failures are silent.
void startHelpViewer();

// What became of a follow-on launch.
struct LaunchOutcome
{
    QString target; // the installation directory + the target txt/runsoft.txt names
    QString problem; // why it was not started, in Chinese; empty once it was
    bool started() const { return problem.isEmpty(); }
};

// The follow-on launch: reads txt/runsoft.txt into the held launch target and starts the
// installation directory + target, detached, with the installation directory as its working
// directory. Only an executable file is started: a target that is missing, a folder or a file
// that is not executable starts nothing, and neither does a program the system refuses to run;
// the outcome says which.
LaunchOutcome followOnLaunch();

// How programs are started; tests replace it. True when the program was started. nullptr
// restores detached starting.
using Starter
    = std::function<bool(const QString &program, const QStringList &arguments, const QString &workingDir)>;
void setStarter(Starter starter);

} // namespace zt::install
