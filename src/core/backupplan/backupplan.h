#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace zt::backupplan {

// Scheduled backups of a server's account sets. A plan per server says which sets (a list, or
// every set of the directory as it stands at each run), the time of day and how many copies to
// keep; the system's timer runs "ztaccountset backup-plan run --due" every quarter of an hour and
// whatever plan's time has come since its last run is carried out. Plans and what their runs left
// lie in data/backupplans/ of the installation directory, one pair of files per server:
// <key>.plan.json (written when the user sets the plan) and <key>.state.json (written by runs).
// Neither holds a password: a run logs in with the server's stored login, as every page-2
// operation does.

struct Plan
{
    QString server; // as the user typed it (the stored login is looked up by it)
    bool enabled = true;
    QTime time { 2, 0 }; // the time of day
    int keep = 7; // copies kept per set: rotating file names, each written anew
    bool allSets = true; // every set the directory lists when the run starts
    QStringList sets; // otherwise these numbers
    QDateTime since; // when the plan was first set: its first run is at the first time after it

    static constexpr int MostCopies = 99;
};

// What the last attempt at one set left.
struct SetState
{
    QString number;
    QDateTime attempted; // when its backup was started
    bool succeeded = false;
    QString location; // the file as the server recorded it (on success)
    QString error; // the server's text (on failure)
    int slot = 0; // the rotating file last written, 1..keep; 0 before the first
};

// What runs left for a plan.
struct PlanState
{
    QDateTime lastRunStarted;
    QDateTime lastRunFinished;
    bool lastRunSucceeded = false; // every set backed up and verified
    QString lastRunProblem; // a failure before any set (no login, no directory), in Chinese
    QList<SetState> sets;

    const SetState *find(const QString &number) const;
    SetState &entry(const QString &number); // found or appended
};

// The folder of plans (data/backupplans/ of the installation directory).
QString planFolder();

// The plan of a server, if one is set. Throws data::DataError when the file is there but cannot
// be read.
std::optional<Plan> loadPlan(const QString &server);
// Every plan in the folder, in the order of their files; unreadable ones are named in problems.
QList<Plan> allPlans(QStringList *problems = nullptr);
// Writes the plan (whole or not at all); a plan without since keeps the one set before, or now. Throws
// data::DataError with a Chinese text that says what to do when it cannot.
void savePlan(const Plan &plan);
// Removes the plan and what its runs left; the backup files stay.
void removePlan(const QString &server);

// Held exclusively by a run of the server's plan.
QString runLockFile(const QString &server);

PlanState loadState(const QString &server);
void saveState(const QString &server, const PlanState &state);

// Why a plan cannot be kept as it is (keep out of 1..99, no set chosen, a number that is no
// database name), or nothing.
std::optional<QString> unusablePlan(const Plan &plan);

// The moment of the plan's time most recently reached at now: today's when it has passed, else
// yesterday's.
QDateTime latestScheduledMoment(const Plan &plan, const QDateTime &now);
// Whether the plan should run at now: enabled, and neither run nor set since its latest scheduled
// moment (a plan set at noon for two o'clock first runs at two; a machine that was off at two
// runs it when the timer next fires).
bool isDue(const Plan &plan, const PlanState &state, const QDateTime &now);

// The rotating file of a set's copy: "<number>_auto_<slot>.bak", a bare name, so that it lands in
// the server's own backup folder wherever that is.
QString rotationFileName(const QString &number, int slot);
// The slot the next copy goes to: the one after the last written, 1 after keep (or before any).
int nextSlot(const SetState *last, int keep);

} // namespace zt::backupplan
