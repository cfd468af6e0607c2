#include "interruptedcopies.h"

#include "accountset/backup.h"
#include "accountset/copyjournal.h"
#include "accountset/creation.h"
#include "accountset/deletion.h"
#include "data/dataerror.h"
#include "store/localstore.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>

namespace zt::doctor {

namespace {

QString folded(const QString &text)
{
    return accountset::trimmed(text).toCaseFolded();
}

bool runsElsewhere(qint64 pid)
{
    return pid > 0 && pid != QCoreApplication::applicationPid() && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

bool isUnregisteredKind(Finding::Kind kind)
{
    return kind == Finding::Kind::EmptyDatabase || kind == Finding::Kind::UnfinishedCreation
        || kind == Finding::Kind::UnregisteredDatabase;
}

// Takes the examination's finding of an unregistered database of the number out of it.
void takeUnregistered(Examination &e, const QString &number)
{
    e.findings.removeIf(
        [&](const Finding &f) { return isUnregisteredKind(f.kind) && folded(f.number) == number; });
}

} // namespace

void findInterruptedCopies(Examination &e, const QSet<QString> &registered, const QSet<QString> &databases)
{
    for (const QString &file : accountset::copyJournalFiles()) {
        const auto note = accountset::readCopyJournal(file);
        if (!note) {
            e.problems << QStringLiteral("无法读取复制记录 %1：把它移开后再检查。").arg(file);
            continue;
        }
        if (folded(note->server) != folded(e.server))
            continue;
        const QString target = folded(note->target);
        if (runsElsewhere(note->pid)) {
            takeUnregistered(e, target);
            e.problems << QStringLiteral("账套 %1 正在复制为账套 %2（进程 %3）：复制结束后再检查。")
                              .arg(note->source, note->target)
                              .arg(note->pid);
            continue;
        }
        Finding f { Finding::Kind::InterruptedCopy };
        f.number = accountset::trimmed(note->target);
        f.path = file;
        f.name = note->name;
        f.source = note->source;
        f.backup = note->backup.isEmpty() ? note->backupFile : note->backup;
        f.registered = registered.contains(target);
        f.databaseLeft = databases.contains(target) && !f.registered;
        takeUnregistered(e, target);
        e.findings.append(f);
    }
}

void mendInterruptedCopy(
    accountset::AccountSetObjects &o, const Examination &e, const RepairOptions &options, RepairStep &step)
{
    const Finding &f = step.finding;
    if (f.databaseLeft) {
        step.kept = accountset::backupDatabase(o, e.login, f.number, accountset::backupFileName(f.number));
        if (options.finish) {
            accountset::ensurePerSetFile(f.number, nullptr);
            accountset::CreationContext context;
            context.today = options.today;
            QString refused;
            context.reportDirectoryError = [&](const QString &message) { refused = message; };
            store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
            accountset::registerAccountSet(o,
                { e.server, f.number, f.name.isEmpty() ? options.name : f.name, options.password },
                accountset::CreationMode::Network, e.login, context);
            if (!refused.isEmpty())
                throw data::DataError(refused);
            step.text = QStringLiteral("已备份并登记复制的账套 %1（%2）。").arg(f.number, f.name);
        } else {
            o.Conn_ztgl.close(); // no session of ours may hold it
            accountset::dropAccountSetDatabase(o, e.login, { f.number, {}, {}, {} });
            step.text = QStringLiteral("已备份并删除复制到一半的数据库 %1。").arg(f.number);
        }
    } else if (f.registered) {
        step.text = QStringLiteral("账套 %1 已经登记。").arg(f.number);
    } else {
        step.text = QStringLiteral("复制没有在服务器上留下数据库 %1。").arg(f.number);
    }
    if (QFile::exists(f.path) && !QFile::remove(f.path))
        throw data::DataError(QStringLiteral("无法删除复制记录：") + f.path);
    step.text += QStringLiteral("已删除复制记录（复制所用的备份文件仍在：%1）。").arg(f.backup);
}

} // namespace zt::doctor
