#include "backupplancheck.h"

#include "backupplan/backupstatus.h"
#include "backupplan/planrun.h"
#include "data/dataerror.h"

namespace zt::doctor {

namespace {

// The timer fires every quarter of an hour: a run more than an hour late is not coming.
constexpr qint64 OverdueSeconds = 3600;

} // namespace

void examineBackupPlan(Examination &e, const QDateTime &now)
{
    std::optional<backupplan::Plan> plan;
    try {
        plan = backupplan::loadPlan(e.server);
    } catch (const data::DataError &error) {
        e.problems << error.message();
        return;
    }
    if (!plan)
        return;
    const backupplan::PlanState state = backupplan::loadState(e.server);

    if (!state.lastRunProblem.isEmpty()) {
        Finding f { Finding::Kind::FailedScheduledBackup };
        f.when = state.lastRunStarted;
        f.error = state.lastRunProblem;
        e.findings.append(f);
    }
    QStringList attempted;
    for (const backupplan::SetState &s : state.sets)
        attempted << s.number;
    const auto recorded = e.login.fragment.text().isEmpty() ? QHash<QString, backupplan::RecordedBackup>()
                                                            : backupplan::recordedBackups(e.login);
    for (const backupplan::SetStatus &s : backupplan::backupStatus(attempted, recorded, state)) {
        if (!s.failed)
            continue;
        Finding f { Finding::Kind::FailedScheduledBackup };
        f.number = s.number;
        f.when = s.failedAt;
        f.error = s.error;
        e.findings.append(f);
    }

    const QDateTime due = backupplan::latestScheduledMoment(*plan, now);
    if (backupplan::isDue(*plan, state, now) && due.secsTo(now) > OverdueSeconds) {
        Finding f { Finding::Kind::OverdueBackupPlan };
        f.when = due;
        e.findings.append(f);
    }
}

void mendBackupPlan(accountset::AccountSetObjects &o, const Examination &e, RepairStep &step)
{
    const Finding &f = step.finding;
    const auto plan = backupplan::loadPlan(e.server);
    if (!plan) {
        step.text = QStringLiteral("这台服务器已没有自动备份计划。");
        return;
    }
    backupplan::Plan run = *plan;
    auto kind = backupplan::RunKind::Scheduled; // stands for the failed or missed run of the day
    if (!f.number.isEmpty()) {
        run.allSets = false;
        run.sets = QStringList { f.number };
        kind = backupplan::RunKind::Extra;
    }
    const backupplan::RunResult result = backupplan::runPlan(o, run, kind);
    if (result.skipped)
        throw data::DataError(QStringLiteral("这台服务器的自动备份正在进行，请稍后再检查。"));
    if (!result.problem.isEmpty())
        throw data::DataError(result.problem);
    QStringList done, failed;
    for (const backupplan::SetOutcome &s : result.sets) {
        if (s.succeeded)
            done << s.location;
        else
            failed << s.number + QStringLiteral("：") + s.error;
    }
    if (!failed.isEmpty())
        throw data::DataError(QStringLiteral("备份仍然出错：") + failed.join(QStringLiteral("；")));
    step.kept = done.join(QStringLiteral("、"));
    step.text = QStringLiteral("已按计划备份 %1 个账套（已校验）。").arg(result.sets.size());
}

} // namespace zt::doctor
