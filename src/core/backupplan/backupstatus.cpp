#include "backupstatus.h"

#include "data/connection.h"
#include "data/dataerror.h"
#include "data/query.h"

namespace zt::backupplan {

namespace {

QString momentText(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

QString SetStatus::timeText() const
{
    if (failed && !lastBackup.isValid())
        return momentText(failedAt);
    return lastBackup.isValid() ? momentText(lastBackup) : QStringLiteral("从未备份");
}

QString SetStatus::outcomeText() const
{
    if (failed)
        return QStringLiteral("失败（%1）：%2").arg(momentText(failedAt), error);
    return lastBackup.isValid() ? QStringLiteral("成功") : QStringLiteral("—");
}

QHash<QString, RecordedBackup> recordedBackups(const data::ServerLogin &login)
{
    QHash<QString, RecordedBackup> recorded;
    // A connection of its own: looking at the history leaves the page's connections as they are.
    data::Connection connection(QStringLiteral("Conn_history"));
    data::Query history(QStringLiteral("ADOhistory"));
    try {
        data::pointAt(connection, history, data::ConnectionString::server(login));
        // One row per database: its latest full backup. The history grows by a row per copy
        // and is never read whole.
        data::reopen(history,
            QStringLiteral("select s.database_name, s.backup_finish_date, f.physical_device_name "
                           "from msdb.dbo.backupset s "
                           "join msdb.dbo.backupmediafamily f on f.media_set_id = s.media_set_id "
                           "where s.backup_set_id in (select max(backup_set_id) from msdb.dbo.backupset "
                           "where type = 'D' group by database_name)"));
        for (history.first(); !history.isEof(); history.next()) {
            const QString name = history.fieldAsText(QStringLiteral("database_name")).toCaseFolded();
            // The driver gives "2026-12-10 02:00:00.000", the embedded server ISO text.
            QString finished = history.fieldAsText(QStringLiteral("backup_finish_date"));
            finished.replace(u' ', u'T');
            const RecordedBackup backup { QDateTime::fromString(finished, Qt::ISODateWithMs),
                history.fieldAsText(QStringLiteral("physical_device_name")) };
            if (!recorded.contains(name) || recorded[name].finished < backup.finished)
                recorded.insert(name, backup);
        }
        history.close();
    } catch (const data::DataError &) {
        // msdb may be closed to the login: the plan's own record stands in
    }
    return recorded;
}

QList<SetStatus> backupStatus(
    const QStringList &numbers, const QHash<QString, RecordedBackup> &recorded, const PlanState &state)
{
    QList<SetStatus> list;
    for (const QString &number : numbers) {
        SetStatus status;
        status.number = number;
        const auto found = recorded.constFind(number.toCaseFolded());
        if (found != recorded.constEnd()) {
            status.lastBackup = found->finished;
            status.file = found->file;
        }
        if (const SetState *attempt = state.find(number)) {
            if (attempt->succeeded && !status.lastBackup.isValid()) {
                status.lastBackup = attempt->attempted;
                status.file = attempt->location;
            }
            // A failure counts until a good backup (by the plan or by hand) is recorded after it.
            if (!attempt->succeeded && attempt->attempted.isValid()
                && (!status.lastBackup.isValid() || status.lastBackup < attempt->attempted)) {
                status.failed = true;
                status.failedAt = attempt->attempted;
                status.error = attempt->error;
            }
        }
        list << status;
    }
    return list;
}

QString lastRunText(const std::optional<Plan> &plan, const PlanState &state)
{
    if (!plan)
        return {};
    const QString schedule = plan->enabled ? QStringLiteral("每天 %1 自动备份，保留 %2 份")
                                                 .arg(plan->time.toString(QStringLiteral("HH:mm")))
                                                 .arg(plan->keep)
                                           : QStringLiteral("自动备份已停用");
    if (!state.lastRunStarted.isValid())
        return schedule + QStringLiteral("；还没有按时运行过。");
    if (!state.lastRunFinished.isValid() || state.lastRunFinished < state.lastRunStarted)
        return schedule
            + QStringLiteral("；%1 开始的备份没有结束（正在进行，或被中断）。")
                  .arg(momentText(state.lastRunStarted));
    if (!state.lastRunProblem.isEmpty())
        return schedule
            + QStringLiteral("；%1 的备份失败：%2")
                  .arg(momentText(state.lastRunStarted), state.lastRunProblem);
    int failed = 0;
    for (const SetState &s : state.sets)
        failed += (!s.succeeded && s.attempted >= state.lastRunStarted) ? 1 : 0;
    if (failed > 0)
        return schedule
            + QStringLiteral("；%1 的备份有 %2 个账套失败。")
                  .arg(momentText(state.lastRunStarted))
                  .arg(failed);
    return schedule + QStringLiteral("；%1 的备份全部成功。").arg(momentText(state.lastRunStarted));
}

} // namespace zt::backupplan
