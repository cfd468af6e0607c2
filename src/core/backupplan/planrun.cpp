#include "planrun.h"

#include "accountset/backup.h"
#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "embedded/filelock.h"
#include "install/installation.h"
#include "store/localstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace zt::backupplan {

namespace {

// On the embedded server the rotating files lie on this machine: those beyond the copies kept
// (the plan kept more before) go, so that the folder holds what the plan says. A real server's
// disk is not ours to clean; its surplus files stay until overwritten or removed there.
QStringList removeSurplusCopies(const QString &server, const QString &number, int keep)
{
    QStringList removed;
    if (!embedded::isEmbeddedServerName(server))
        return removed;
    const QDir folder(install::directory() + QStringLiteral("data/backup"));
    const QRegularExpression pattern(
        QStringLiteral("^") + QRegularExpression::escape(number) + QStringLiteral("_auto_(\\d+)\\.bak$"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString &file : folder.entryList({ QStringLiteral("*_auto_*.bak") }, QDir::Files)) {
        const QRegularExpressionMatch match = pattern.match(file);
        if (match.hasMatch() && match.captured(1).toInt() > keep && QFile::remove(folder.filePath(file)))
            removed << folder.filePath(file);
    }
    return removed;
}

} // namespace

int RunResult::failures() const
{
    int count = 0;
    for (const SetOutcome &s : sets)
        count += s.succeeded ? 0 : 1;
    return count;
}

RunResult runPlan(accountset::AccountSetObjects &o, const Plan &plan, RunKind kind,
    const std::function<void(const QString &, int, int)> &progress)
{
    RunResult result;
    result.server = plan.server;
    result.started = QDateTime::currentDateTime();

    std::unique_ptr<embedded::FileLock> lock;
    try {
        QDir().mkpath(planFolder());
        lock = embedded::FileLock::acquire(
            runLockFile(plan.server), embedded::FileLock::Mode::Exclusive, false);
    } catch (const embedded::FileLock::Failure &failure) {
        result.problem = QStringLiteral("无法开始自动备份：") + failure.message;
        result.finished = QDateTime::currentDateTime();
        return result;
    }
    if (!lock) {
        result.skipped = true;
        result.finished = QDateTime::currentDateTime();
        return result;
    }

    PlanState state = loadState(plan.server);
    const bool scheduled = kind == RunKind::Scheduled;
    if (scheduled) {
        state.lastRunStarted = result.started;
        state.lastRunFinished = {};
        state.lastRunSucceeded = false;
        state.lastRunProblem.clear();
    }
    // A record that cannot be written does not stop the backups: the run says so at its end.
    QString unrecorded;
    const auto record = [&] {
        try {
            saveState(plan.server, state);
        } catch (const data::DataError &e) {
            unrecorded = e.message();
        }
    };
    record(); // a run that dies from here on is seen as started and unfinished

    data::ServerLogin login;
    QStringList numbers = plan.sets;
    try {
        store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
        if (!store::findServerRecord(o.ADOTy, plan.server)) {
            throw data::DataError(QStringLiteral("这台服务器没有保存的登录。请在向导第一页登录这台服务器，"
                                                 "或运行：ztaccountset login --server ")
                + plan.server);
        }
        if (plan.allSets) {
            // The listing reads the login too. A server on which no set was ever registered has
            // no directory table: no sets to back up.
            const accountset::DirectoryListing listing = accountset::listDirectory(o, plan.server, login);
            if (!listing && !listing.noTable)
                throw data::DataError(listing.error);
            numbers = listing ? accountset::listedNumbers(o.ADOztgl) : QStringList();
            o.ADOztgl.close();
        } else {
            login = store::readServerLogin(o.ADOTy, plan.server);
        }
    } catch (const data::DataError &e) {
        result.problem = QStringLiteral("自动备份没有进行：") + e.message();
    }

    const bool ready = result.problem.isEmpty();
    for (int i = 0; ready && i < numbers.size(); ++i) {
        const QString &number = numbers.at(i);
        if (progress)
            progress(number, i, int(numbers.size()));
        SetState &entry = state.entry(number);
        SetOutcome outcome;
        outcome.number = number;
        outcome.slot = nextSlot(&entry, plan.keep);
        entry.attempted = QDateTime::currentDateTime();
        QElapsedTimer clock;
        clock.start();
        try {
            outcome.location
                = accountset::backupDatabase(o, login, number, rotationFileName(number, outcome.slot));
            outcome.succeeded = true;
            result.surplusRemoved += removeSurplusCopies(plan.server, number, plan.keep);
        } catch (const data::DataError &e) {
            outcome.error = e.message();
        }
        outcome.elapsedMs = clock.elapsed();
        // A failed attempt keeps the slot of the last good copy: the next attempt writes the same
        // (oldest) file again, so a series of failures does not rotate the good copies away.
        entry.succeeded = outcome.succeeded;
        entry.error = outcome.error;
        if (outcome.succeeded) {
            entry.location = outcome.location;
            entry.slot = outcome.slot;
        }
        result.sets << outcome;
        record();
    }

    result.finished = QDateTime::currentDateTime();
    if (!unrecorded.isEmpty() && result.problem.isEmpty())
        result.problem = unrecorded; // the backups ran; their record is missing
    if (scheduled) {
        state.lastRunFinished = result.finished;
        state.lastRunProblem = result.problem;
        state.lastRunSucceeded = result.problem.isEmpty() && result.failures() == 0;
    }
    record();
    return result;
}

QList<RunResult> runDuePlans(accountset::AccountSetObjects &o, const QDateTime &now, QStringList *problems)
{
    QList<RunResult> results;
    for (const Plan &plan : allPlans(problems)) {
        if (isDue(plan, loadState(plan.server), now))
            results << runPlan(o, plan);
    }
    return results;
}

} // namespace zt::backupplan
