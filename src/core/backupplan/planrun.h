#pragma once

#include "backupplan.h"

#include "accountset/accountsetobjects.h"

#include <functional>

namespace zt::backupplan {

// One set's backup in a run.
struct SetOutcome
{
    QString number;
    bool succeeded = false;
    QString location; // where the verified copy lies, as the server recorded it
    QString error; // the server's text, with the line that says what to do
    int slot = 0;
    qint64 elapsedMs = 0;
};

// What one run of a plan did.
struct RunResult
{
    QString server;
    QDateTime started;
    QDateTime finished;
    bool skipped = false; // another run of the plan was under way: nothing was done
    QString problem; // a failure before any set: no stored login, no directory
    QList<SetOutcome> sets;
    QStringList surplusRemoved; // older rotating files beyond the copies kept (embedded server)

    int failures() const;
    bool succeeded() const { return !skipped && problem.isEmpty() && failures() == 0; }
};

// A scheduled run stands for the plan's run of the day (the timer's, or one making up for a failed
// or missed one); an extra run (a backup now, a set's failed backup done again) leaves the day's
// run due.
enum class RunKind { Scheduled, Extra };

// Runs the plan now: reads the server's stored login (as page 2 does), lists the directory when
// the plan takes every set, and backs each set up into its next rotating file "WITH INIT", each
// copy verified by the server. One set's failure does not stop the others. What each attempt left
// is written to the plan's state as it ends, so a run cut short still leaves its record; a run of
// the same plan already under way (another process) makes this one skip. progress, when given, is
// told of each set before its backup.
RunResult runPlan(accountset::AccountSetObjects &objects, const Plan &plan, RunKind kind = RunKind::Scheduled,
    const std::function<void(const QString &number, int index, int count)> &progress = {});

// Runs every plan that isDue at now (the timer's command). Plans that cannot be read are named in
// problems.
QList<RunResult> runDuePlans(
    accountset::AccountSetObjects &objects, const QDateTime &now, QStringList *problems = nullptr);

} // namespace zt::backupplan
