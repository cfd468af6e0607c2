// What each finding of the doctor says to the user.

#include "doctor.h"

namespace zt::doctor {

QString Finding::kindName() const
{
    switch (kind) {
    case Kind::EmptyDatabase:
        return QStringLiteral("empty-database");
    case Kind::UnfinishedCreation:
        return QStringLiteral("unfinished-creation");
    case Kind::UnregisteredDatabase:
        return QStringLiteral("unregistered-database");
    case Kind::StaleDirectoryRow:
        return QStringLiteral("stale-directory-row");
    case Kind::DuplicateDirectoryRow:
        return QStringLiteral("duplicate-directory-row");
    case Kind::LocalRowWithoutDatabase:
        return QStringLiteral("local-row-without-database");
    case Kind::LocalRowWithoutDirectoryRow:
        return QStringLiteral("local-row-without-directory-row");
    case Kind::OrphanPerSetFile:
        return QStringLiteral("orphan-per-set-file");
    case Kind::LeftoverTemporaryFile:
        return QStringLiteral("leftover-temporary-file");
    case Kind::FailedScheduledBackup:
        return QStringLiteral("failed-scheduled-backup");
    case Kind::OverdueBackupPlan:
        return QStringLiteral("overdue-backup-plan");
    case Kind::InterruptedCopy:
        return QStringLiteral("interrupted-copy");
    }
    return {};
}

QString Finding::title() const
{
    switch (kind) {
    case Kind::EmptyDatabase:
        return QStringLiteral("数据库 %1 没有任何登记，也没有表：创建账套在建表之前中断了。").arg(number);
    case Kind::UnfinishedCreation: {
        QStringList parts;
        if (!missingTables.isEmpty())
            parts << QStringLiteral("缺少 %1 个表（%2）")
                         .arg(missingTables.size())
                         .arg(missingTables.join(u'、'));
        if (!partialTables.isEmpty())
            parts << QStringLiteral("基础数据不全（%1）").arg(partialTables.join(u'、'));
        return QStringLiteral("数据库 %1 没有任何登记，是未完成的创建：%2。").arg(number, parts.join(u'；'));
    }
    case Kind::UnregisteredDatabase:
        return QStringLiteral(
            "数据库 %1 的表和基础数据齐全，但没有任何登记（本机账套列表和网络账套目录中都没有）。")
            .arg(number);
    case Kind::StaleDirectoryRow:
        return QStringLiteral("网络账套目录中有账套 %1，但服务器上已没有这个数据库。").arg(number);
    case Kind::DuplicateDirectoryRow:
        return QStringLiteral("网络账套目录中账套 %1 登记了 %2 次。").arg(number).arg(rows);
    case Kind::LocalRowWithoutDatabase:
        return QStringLiteral("本机账套列表中有账套 %1（%2），但服务器上已没有这个数据库。")
            .arg(number, name);
    case Kind::LocalRowWithoutDirectoryRow:
        return QStringLiteral("本机的网络账套 %1（%2）在服务器的网络账套目录中没有登记。").arg(number, name);
    case Kind::OrphanPerSetFile:
        return QStringLiteral("账套系统文件 %1 不属于任何账套。").arg(path);
    case Kind::LeftoverTemporaryFile:
        return QStringLiteral("临时文件 %1 是一个已经结束的进程留下的。").arg(path);
    case Kind::FailedScheduledBackup:
        if (number.isEmpty())
            return QStringLiteral("%1 的自动备份没有进行：%2")
                .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm")), error);
        return QStringLiteral("账套 %1 在 %2 的自动备份失败：%3")
            .arg(number, when.toString(QStringLiteral("yyyy-MM-dd HH:mm")), error);
    case Kind::OverdueBackupPlan:
        return QStringLiteral("自动备份计划应在 %1 运行，但一直没有运行。")
            .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    case Kind::InterruptedCopy:
        return QStringLiteral("复制账套 %1 为账套 %2（%3）的操作中途中断：").arg(source, number, name)
            + (databaseLeft ? QStringLiteral("数据库 %1 已从备份恢复，但没有任何登记。").arg(number)
                    : registered ? QStringLiteral("账套 %1 已经登记，只留下了复制记录。").arg(number)
                                 : QStringLiteral("服务器上还没有数据库 %1。").arg(number));
    }
    return {};
}

QString Finding::meaning() const
{
    switch (kind) {
    case Kind::EmptyDatabase:
        return QStringLiteral(
            "再用这个编号创建账套会一直报告“数据库已存在”（1801）；页面和命令行都无法删除它。");
    case Kind::UnfinishedCreation:
        return QStringLiteral("创建在建表或传送基础数据时中断（或出错）；这个账套不能使用，"
                              "再用这个编号创建会一直报告“数据库已存在”（1801）。");
    case Kind::UnregisteredDatabase:
        return QStringLiteral("创建或恢复在登记之前中断；数据都在，但没有哪个工作站能选择或删除它。");
    case Kind::StaleDirectoryRow:
        return QStringLiteral(
            "删除账套时数据库已删除而目录行没有删除；各工作站仍会列出这个账套，选择后无法使用。");
    case Kind::DuplicateDirectoryRow:
        return QStringLiteral(
            "各工作站会把同一个数据库列出多次；删除账套时只删除其中一行，其余的行留在目录中。");
    case Kind::LocalRowWithoutDatabase:
        return QStringLiteral("本机仍会提供这个账套，但打开时会失败。");
    case Kind::LocalRowWithoutDirectoryRow:
        return QStringLiteral("登记网络账套时写目录失败或中断；其他工作站看不到这个账套。");
    case Kind::OrphanPerSetFile:
        return QStringLiteral("它占着这个编号的位置；以后用同一编号创建的账套会沿用它，而不是从模板复制。");
    case Kind::LeftoverTemporaryFile:
        return QStringLiteral("恢复、备份或复制被中断时留下；不会被当作数据库或备份使用，只占用磁盘空间。");
    case Kind::FailedScheduledBackup:
        return QStringLiteral("最新的备份仍是失败之前的那一份；在下一次成功之前，这之后的数据没有备份。");
    case Kind::OverdueBackupPlan:
        return QStringLiteral("系统定时器 ztwizard-backup.timer 没有启用（或本机没有安装 ztwizard 软件包），"
                              "计划不会自动执行。启用：systemctl enable --now ztwizard-backup.timer");
    case Kind::InterruptedCopy:
        return QStringLiteral("原账套 %1 没有受影响，复制所用的备份文件仍在：%2。").arg(source, backup)
            + (databaseLeft ? QStringLiteral("没有哪个工作站能选择或删除数据库 %1；"
                                             "再用这个编号复制或创建会一直报告“数据库已存在”。")
                                  .arg(number)
                            : QStringLiteral("复制记录 %1 只是多余的。").arg(path));
    }
    return {};
}

QString Finding::mend() const
{
    switch (kind) {
    case Kind::EmptyDatabase:
        return QStringLiteral("修复：删除这个空数据库（没有任何数据，不做备份），然后可以重新创建。");
    case Kind::UnfinishedCreation:
    case Kind::UnregisteredDatabase:
        return QStringLiteral("修复：先备份（data/backup），再删除数据库，然后可以重新创建；"
                              "或用 --finish 按创建的做法补齐表、基础数据和登记。");
    case Kind::StaleDirectoryRow:
        return QStringLiteral("修复：把目录行保存到 data/backup 下的文件，然后从目录中删除。");
    case Kind::DuplicateDirectoryRow:
        return QStringLiteral(
            "修复：保留最先登记的一行，其余的行保存到 data/backup 下的文件，然后从目录中删除。");
    case Kind::LocalRowWithoutDatabase:
        return QStringLiteral("修复：把本机行保存到 data/backup 下的文件，然后从本机账套列表中删除。");
    case Kind::LocalRowWithoutDirectoryRow:
        return QStringLiteral("修复：按本机行在网络账套目录中重新登记。");
    case Kind::OrphanPerSetFile:
    case Kind::LeftoverTemporaryFile:
        return QStringLiteral("修复：移到 data/SysBase.aside 文件夹（不删除）。");
    case Kind::FailedScheduledBackup:
    case Kind::OverdueBackupPlan:
        return number.isEmpty() ? QStringLiteral("修复：现在按计划备份（每份由服务器校验）。")
                                : QStringLiteral("修复：现在按计划再备份一次这个账套（由服务器校验）。");
    case Kind::InterruptedCopy:
        if (databaseLeft)
            return QStringLiteral("修复：先备份（data/backup），再删除数据库，然后可以重新复制；"
                                  "或用 --finish 按复制时给的名称和 --set-password-file 的口令登记它；"
                                  "最后删除复制记录。");
        return QStringLiteral("修复：删除复制记录。");
    }
    return {};
}

std::optional<Finding> unregisteredDatabase(const Examination &e, const QString &number)
{
    for (const Finding &f : e.findings) {
        if ((f.kind == Finding::Kind::EmptyDatabase || f.kind == Finding::Kind::UnfinishedCreation
                || f.kind == Finding::Kind::UnregisteredDatabase
                || (f.kind == Finding::Kind::InterruptedCopy && f.databaseLeft))
            && f.number.compare(number.trimmed(), Qt::CaseInsensitive) == 0)
            return f;
    }
    return std::nullopt;
}

QString describe(const Examination &e)
{
    QStringList parts;
    for (const Finding &f : e.findings)
        parts << f.title() + QStringLiteral("\n  含义：") + f.meaning() + QStringLiteral("\n  ") + f.mend();
    parts += e.problems;
    if (parts.isEmpty())
        return QStringLiteral("账套一致：本机账套列表、网络账套目录、服务器上的数据库和账套系统文件相符。");
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace zt::doctor
