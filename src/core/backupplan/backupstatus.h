#pragma once

#include "backupplan.h"
#include "data/connectionstring.h"

#include <QHash>

namespace zt::backupplan {

// The last backup of each set, as a user is shown it: the server's own record of its last good
// backup (msdb.dbo.backupset with its file from msdb.dbo.backupmediafamily; the embedded server
// keeps the same tables), beside what the plan's runs left, which alone knows of failures.
struct SetStatus
{
    QString number;
    QDateTime lastBackup; // the last backup the server recorded; invalid when none
    QString file; // its file
    bool failed = false; // the plan's last attempt failed, and no good backup came after it
    QDateTime failedAt;
    QString error;

    // "2026-12-10 02:00" or "从未备份"; the file; "成功" / "失败：<text>" / "—".
    QString timeText() const;
    QString outcomeText() const;
};

// The server's record of each database's last full backup, keyed by the database name case-folded.
// Empty when msdb cannot be read by the login (the plan's state is shown then). Throws nothing.
struct RecordedBackup
{
    QDateTime finished;
    QString file;
};
QHash<QString, RecordedBackup> recordedBackups(const data::ServerLogin &login);

// The status of each number: the server's record, the plan's state where the server records
// nothing the login may read, and the plan's failure when it is the latest word.
QList<SetStatus> backupStatus(
    const QStringList &numbers, const QHash<QString, RecordedBackup> &recorded, const PlanState &state);

// One line on the plan's last run, in Chinese: when it ran, how many sets, how many failed; or
// that it has not run yet. Empty without a plan.
QString lastRunText(const std::optional<Plan> &plan, const PlanState &state);

} // namespace zt::backupplan
