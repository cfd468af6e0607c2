// Scheduled backups from the command line: a server's plan set, shown and removed, and the runs
// ("run --due" is what the system's timer calls every quarter of an hour).

#include "accountsethelpers.h"
#include "commands.h"

#include "accountset/directory.h"
#include "backupplan/backupstatus.h"
#include "backupplan/planrun.h"
#include "data/dataerror.h"
#include "store/localstore.h"

#include <QJsonArray>

namespace zt::cli {

namespace {

QJsonObject planObject(const backupplan::Plan &plan)
{
    return { { QStringLiteral("server"), plan.server }, { QStringLiteral("enabled"), plan.enabled },
        { QStringLiteral("time"), plan.time.toString(QStringLiteral("HH:mm")) },
        { QStringLiteral("keep"), plan.keep }, { QStringLiteral("all_sets"), plan.allSets },
        { QStringLiteral("sets"), QJsonArray::fromStringList(plan.sets) } };
}

QString planLine(const backupplan::Plan &plan)
{
    return QStringLiteral("%1：%2，每天 %3，保留 %4 份，%5")
        .arg(plan.server, plan.enabled ? QStringLiteral("启用") : QStringLiteral("停用"),
            plan.time.toString(QStringLiteral("HH:mm")))
        .arg(plan.keep)
        .arg(plan.allSets ? QStringLiteral("全部网络账套") : plan.sets.join(QStringLiteral("、")));
}

// What one run did, told set by set; true when it all succeeded (or had nothing to do).
bool tellRun(const backupplan::RunResult &run, Report &report, QJsonArray &runs)
{
    QJsonArray sets;
    for (const backupplan::SetOutcome &s : run.sets) {
        sets.append(QJsonObject { { QStringLiteral("db"), s.number }, { QStringLiteral("ok"), s.succeeded },
            { QStringLiteral("backup"), s.location }, { QStringLiteral("slot"), s.slot },
            { QStringLiteral("error"), s.error }, { QStringLiteral("ms"), s.elapsedMs } });
        if (s.succeeded) {
            report.print(QStringLiteral("%1\t%2").arg(s.number, s.location));
            report.message(QStringLiteral("账套 %1 备份成功（已校验）：%2").arg(s.number, s.location));
        } else {
            report.message(QStringLiteral("账套 %1 备份出错！%2").arg(s.number, s.error));
        }
    }
    if (run.skipped)
        report.message(
            run.server + QStringLiteral("：这台服务器的自动备份正在另一个进程中进行，本次不再重复。"));
    if (!run.problem.isEmpty())
        report.message(run.server + QStringLiteral("：") + run.problem);
    runs.append(QJsonObject { { QStringLiteral("server"), run.server },
        { QStringLiteral("ok"), run.succeeded() || run.skipped }, { QStringLiteral("skipped"), run.skipped },
        { QStringLiteral("problem"), run.problem },
        { QStringLiteral("started"), run.started.toString(Qt::ISODate) },
        { QStringLiteral("finished"), run.finished.toString(Qt::ISODate) }, { QStringLiteral("sets"), sets },
        { QStringLiteral("surplus_removed"), QJsonArray::fromStringList(run.surplusRemoved) } });
    return run.succeeded() || run.skipped;
}

int setPlan(const QCommandLineParser &options, Report &report)
{
    const QString server = options.value(QStringLiteral("server"));
    backupplan::Plan plan;
    std::optional<backupplan::Plan> before;
    try {
        before = backupplan::loadPlan(server);
    } catch (const data::DataError &) {
        // a damaged plan is replaced by the one given now
    }
    if (before)
        plan = *before;
    plan.server = server;
    if (options.isSet(QStringLiteral("time"))) {
        plan.time = QTime::fromString(options.value(QStringLiteral("time")), QStringLiteral("H:mm"));
        if (!plan.time.isValid()) {
            report.message(
                QStringLiteral("时间应写作 时:分，如 02:30：") + options.value(QStringLiteral("time")));
            return report.finish(ExitUsage);
        }
    }
    if (options.isSet(QStringLiteral("keep"))) {
        bool ok = false;
        plan.keep = options.value(QStringLiteral("keep")).toInt(&ok);
        if (!ok)
            plan.keep = 0;
    }
    if (options.isSet(QStringLiteral("all")) && options.isSet(QStringLiteral("db"))) {
        report.message(QStringLiteral("--all 与 --db 只能选一个。"));
        return report.finish(ExitUsage);
    }
    if (options.isSet(QStringLiteral("all"))) {
        plan.allSets = true;
        plan.sets.clear();
    } else if (options.isSet(QStringLiteral("db"))) {
        plan.allSets = false;
        plan.sets.clear();
        for (const QString &number : options.values(QStringLiteral("db")))
            plan.sets << accountset::trimmed(number);
    }
    if (options.isSet(QStringLiteral("disable")))
        plan.enabled = false;
    if (options.isSet(QStringLiteral("enable")))
        plan.enabled = true;
    report.set(QStringLiteral("plan"), planObject(plan));
    if (const auto problem = backupplan::unusablePlan(plan)) {
        report.message(*problem);
        return report.finish(ExitFailed);
    }
    if (!loginStored(server, report))
        return report.finish(ExitFailed);
    try {
        backupplan::savePlan(plan);
    } catch (const data::DataError &e) {
        report.message(e.message());
        return report.finish(ExitFailed);
    }
    report.message(QStringLiteral("自动备份计划已保存：") + planLine(plan));
    return report.finish(ExitOk);
}

int showPlan(const QCommandLineParser &options, Report &report)
{
    const QString server = options.value(QStringLiteral("server"));
    std::optional<backupplan::Plan> plan;
    try {
        plan = backupplan::loadPlan(server);
    } catch (const data::DataError &e) {
        report.message(e.message());
        return report.finish(ExitFailed);
    }
    if (!plan) {
        report.set(QStringLiteral("plan"), QJsonValue());
        report.message(
            QStringLiteral("这台服务器没有自动备份计划。设置：ztaccountset backup-plan set --server ")
            + server + QStringLiteral(" --time 02:00 --keep 7"));
        return report.finish(ExitOk);
    }
    report.set(QStringLiteral("plan"), planObject(*plan));
    const backupplan::PlanState state = backupplan::loadState(server);
    report.message(planLine(*plan));
    report.message(backupplan::lastRunText(plan, state));

    // The sets, each with its last backup: the server's record beside the plan's own.
    QStringList numbers = plan->sets;
    QHash<QString, backupplan::RecordedBackup> recorded;
    if (loginStored(server, report)) {
        accountset::AccountSetObjects o;
        try {
            openPage(o);
            data::ServerLogin login;
            if (plan->allSets) {
                // The listing reads the login too.
                const accountset::DirectoryListing listing = accountset::listDirectory(o, server, login);
                if (listing)
                    numbers << accountset::listedNumbers(o.ADOztgl);
                else if (!listing.noTable)
                    report.message(unlistedText(server, listing));
            } else {
                login = store::readServerLogin(o.ADOTy, server);
            }
            recorded = backupplan::recordedBackups(login);
        } catch (const data::DataError &e) {
            report.message(e.message());
        }
    }
    if (plan->allSets && numbers.isEmpty()) {
        for (const backupplan::SetState &s : state.sets)
            numbers << s.number;
    }
    QJsonArray sets;
    bool anyFailed = false;
    for (const backupplan::SetStatus &s : backupplan::backupStatus(numbers, recorded, state)) {
        anyFailed = anyFailed || s.failed;
        sets.append(QJsonObject { { QStringLiteral("db"), s.number },
            { QStringLiteral("last_backup"),
                s.lastBackup.isValid() ? s.lastBackup.toString(Qt::ISODate) : QString() },
            { QStringLiteral("file"), s.file }, { QStringLiteral("failed"), s.failed },
            { QStringLiteral("error"), s.error } });
        report.print(QStringLiteral("%1\t%2\t%3\t%4").arg(s.number, s.timeText(), s.file, s.outcomeText()));
    }
    report.set(QStringLiteral("sets"), sets);
    report.set(QStringLiteral("last_run_failed"), anyFailed || !state.lastRunProblem.isEmpty());
    return report.finish(ExitOk);
}

int removePlan(const QCommandLineParser &options, Report &report)
{
    const QString server = options.value(QStringLiteral("server"));
    backupplan::removePlan(server);
    report.message(QStringLiteral("已删除这台服务器的自动备份计划（已有的备份文件保留）：") + server);
    return report.finish(ExitOk);
}

int runPlans(const QCommandLineParser &options, Report &report)
{
    accountset::AccountSetObjects o;
    QList<backupplan::RunResult> runs;
    QStringList problems;
    const bool due = options.isSet(QStringLiteral("due"));
    try {
        StepTimer timer(report, QStringLiteral("run"));
        if (options.isSet(QStringLiteral("server"))) {
            const QString server = options.value(QStringLiteral("server"));
            const auto plan = backupplan::loadPlan(server);
            if (!plan) {
                report.message(QStringLiteral("这台服务器没有自动备份计划：") + server);
                return report.finish(ExitFailed);
            }
            // By hand: an extra backup, and the day's run stays due; with --due: the day's run.
            if (!due)
                runs << backupplan::runPlan(o, *plan, backupplan::RunKind::Extra);
            else if (backupplan::isDue(*plan, backupplan::loadState(server), QDateTime::currentDateTime()))
                runs << backupplan::runPlan(o, *plan);
        } else if (due) {
            runs = backupplan::runDuePlans(o, QDateTime::currentDateTime(), &problems);
        } else {
            for (const backupplan::Plan &plan : backupplan::allPlans(&problems))
                runs << backupplan::runPlan(o, plan, backupplan::RunKind::Extra);
        }
    } catch (const data::DataError &e) {
        problems << e.message();
    }
    for (const QString &problem : problems)
        report.message(problem);
    QJsonArray told;
    bool allGood = problems.isEmpty();
    for (const backupplan::RunResult &run : runs)
        allGood = tellRun(run, report, told) && allGood;
    report.set(QStringLiteral("runs"), told);
    if (runs.isEmpty() && problems.isEmpty())
        report.message(due ? QStringLiteral("没有到时间的自动备份。") : QStringLiteral("没有自动备份计划。"));
    return report.finish(allGood ? ExitOk : ExitFailed);
}

} // namespace

int runBackupPlan(const QCommandLineParser &options, Report &report)
{
    const QString action = options.positionalArguments().value(0);
    report.set(QStringLiteral("action"), action);
    if (action == u"run")
        return runPlans(options, report);
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    report.set(QStringLiteral("server"), options.value(QStringLiteral("server")));
    if (action == u"set")
        return setPlan(options, report);
    if (action == u"remove")
        return removePlan(options, report);
    return showPlan(options, report);
}

} // namespace zt::cli
