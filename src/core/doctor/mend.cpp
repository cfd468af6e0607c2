// The doctor's repairs: each finding mended on its own, what is removed kept first.

#include "backupplancheck.h"
#include "doctor.h"
#include "interruptedcopies.h"
#include "storesread.h"

#include "accountset/backup.h"
#include "accountset/creation.h"
#include "accountset/directory.h"
#include "accountset/identifiers.h"
#include "data/dataerror.h"
#include "data/sqlliteral.h"
#include "install/installation.h"
#include "store/localstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace zt::doctor {

using data::ConnectionString;

namespace {

QString stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss_zzz"));
}

void useMaster(accountset::AccountSetObjects &o, const Examination &e)
{
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::master(e.login));
}

// The directory on Conn_ztgl / ADOztgl.
void useDirectory(accountset::AccountSetObjects &o, const Examination &e)
{
    data::pointAt(o.Conn_ztgl, o.ADOztgl, ConnectionString::master(e.login));
}

void dropDatabase(accountset::AccountSetObjects &o, const Examination &e, const QString &number)
{
    o.Conn_ztgl.close(); // no session of ours may hold it
    useMaster(o, e);
    data::reexecute(o.ADOTy1, QStringLiteral("drop database ") + accountset::sqlName(number));
}

// The rows of the open query as a JSON file in the saved-rows folder; returns its path.
QString saveRows(data::Query &rows, const QString &what, const QString &number)
{
    QJsonArray array;
    for (rows.first(); !rows.isEof(); rows.next()) {
        QJsonObject row;
        for (int i = 0; i < rows.fieldCount(); ++i)
            row.insert(rows.fieldName(i), rows.fieldAsText(rows.fieldName(i)));
        array.append(row);
    }
    QDir().mkpath(savedRowsFolder());
    const QString path = savedRowsFolder()
        + QStringLiteral("/doctor_%1_%2_%3.json").arg(stamp(), what, QString(number).replace(u'/', u'_'));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(array).toJson()) < 0 || !file.flush())
        throw data::DataError(QStringLiteral("无法写入文件：") + path);
    file.close();
    return path;
}

QString moveAside(const QString &path)
{
    QDir().mkpath(asideFolder());
    QString target = asideFolder() + u'/' + QFileInfo(path).fileName();
    if (QFileInfo::exists(target))
        target += u'.' + stamp();
    if (!QFile::rename(path, target))
        throw data::DataError(QStringLiteral("无法移动文件 %1 到 %2").arg(path, target));
    return target;
}

// Completes a creation as it would have ended: the missing tables (a partly filled base-data
// table is made again empty), their base data, the per-set file and the registrations.
void finishCreation(
    accountset::AccountSetObjects &o, const Examination &e, const Finding &f, const RepairOptions &options)
{
    StoresReader reader(o, e.server); // the script's tables and statements
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::catalog(e.login, f.number));
    QStringList transfer;
    for (const QString &table : reader.scriptTables()) {
        const bool missing
            = f.kind == Finding::Kind::EmptyDatabase || f.missingTables.contains(table, Qt::CaseInsensitive);
        const bool partial = f.partialTables.contains(table, Qt::CaseInsensitive);
        if (!missing && !partial)
            continue;
        if (partial)
            data::reexecute(o.ADOTy1, QStringLiteral("drop table ") + data::quoteIdentifier(table));
        data::reexecute(o.ADOTy1, reader.scriptStatement(table));
        if (accountset::baseDataTables().contains(table, Qt::CaseInsensitive))
            transfer << table;
    }
    QStringList ordered; // the transfer's own order
    for (const QString &table : accountset::baseDataTables()) {
        if (transfer.contains(table, Qt::CaseInsensitive))
            ordered << table;
    }
    if (!ordered.isEmpty())
        accountset::transferBaseData(o, ordered);
    accountset::ensurePerSetFile(f.number, nullptr);
    accountset::CreationContext context;
    context.today = options.today;
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
    accountset::registerAccountSet(o, { e.server, f.number, options.name, options.password },
        accountset::CreationMode::Network, e.login, context);
}

void mendOne(
    accountset::AccountSetObjects &o, const Examination &e, const RepairOptions &options, RepairStep &step)
{
    const Finding &f = step.finding;
    switch (f.kind) {
    case Finding::Kind::EmptyDatabase:
        if (options.finish) {
            finishCreation(o, e, f, options);
            step.text = QStringLiteral("已补齐账套 %1：表、基础数据和登记。").arg(f.number);
        } else {
            dropDatabase(o, e, f.number);
            step.text = QStringLiteral("已删除空数据库 %1。").arg(f.number);
        }
        return;
    case Finding::Kind::UnfinishedCreation:
    case Finding::Kind::UnregisteredDatabase:
        step.kept = accountset::backupDatabase(o, e.login, f.number, accountset::backupFileName(f.number));
        if (options.finish) {
            finishCreation(o, e, f, options);
            step.text = QStringLiteral("已备份并补齐账套 %1：表、基础数据和登记。").arg(f.number);
        } else {
            dropDatabase(o, e, f.number);
            step.text = QStringLiteral("已备份并删除数据库 %1。").arg(f.number);
        }
        return;
    case Finding::Kind::StaleDirectoryRow: {
        const QString where = QStringLiteral(" where ztbh = ") + data::nationalLiteral(f.number);
        useDirectory(o, e);
        data::reopen(o.ADOztgl, QStringLiteral("select * from PBTOVRASQLBASEDATA") + where);
        step.kept = saveRows(o.ADOztgl, QStringLiteral("directory"), f.number);
        o.ADOztgl.close();
        data::reexecute(o.ADOztgl, QStringLiteral("delete from PBTOVRASQLBASEDATA") + where);
        step.text = QStringLiteral("已从网络账套目录删除账套 %1 的行。").arg(f.number);
        return;
    }
    case Finding::Kind::DuplicateDirectoryRow: {
        // The row registered first (the lowest id) stays.
        const QString where = QStringLiteral(" where ztbh = ") + data::nationalLiteral(f.number);
        useDirectory(o, e);
        data::reopen(o.ADOztgl,
            QStringLiteral("select id from PBTOVRASQLBASEDATA") + where + QStringLiteral(" order by id"));
        if (o.ADOztgl.recordCount() < 2) {
            o.ADOztgl.close();
            step.text = QStringLiteral("网络账套目录中账套 %1 已只有一行。").arg(f.number);
            return;
        }
        const QString others
            = where + QStringLiteral(" and id <> ") + QString::number(o.ADOztgl.textAt(0, 0).toLongLong());
        data::reopen(o.ADOztgl, QStringLiteral("select * from PBTOVRASQLBASEDATA") + others);
        step.kept = saveRows(o.ADOztgl, QStringLiteral("directory"), f.number);
        o.ADOztgl.close();
        const int removed
            = data::reexecute(o.ADOztgl, QStringLiteral("delete from PBTOVRASQLBASEDATA") + others);
        step.text = QStringLiteral("已从网络账套目录删除账套 %1 重复的 %2 行，保留最先登记的一行。")
                        .arg(f.number)
                        .arg(removed);
        return;
    }
    case Finding::Kind::LocalRowWithoutDatabase: {
        // Every row the examination counted as this server's, also one written untrimmed.
        const QString where = QStringLiteral(" where trim(ztbh)=") + store::textEquals(f.number)
            + QStringLiteral(" and trim(zjmc)=") + store::textEquals(e.server);
        store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
        data::reopen(o.ADOTy, QStringLiteral("select * from ztxxb") + where);
        step.kept = saveRows(o.ADOTy, QStringLiteral("local"), f.number);
        o.ADOTy.close();
        data::reexecute(o.ADOTy, QStringLiteral("delete from ztxxb") + where);
        step.text = QStringLiteral("已从本机账套列表删除账套 %1 的行。").arg(f.number);
        return;
    }
    case Finding::Kind::LocalRowWithoutDirectoryRow:
        accountset::ensureDirectoryTable(o, e.login);
        // Registered meanwhile (another workstation, an earlier mend): never a second row.
        useDirectory(o, e);
        data::reopen(o.ADOztgl,
            QStringLiteral("select id from PBTOVRASQLBASEDATA where ztbh = ")
                + data::nationalLiteral(f.number));
        if (o.ADOztgl.recordCount() > 0) {
            o.ADOztgl.close();
            step.text = QStringLiteral("网络账套目录中已有账套 %1，没有再登记。").arg(f.number);
            return;
        }
        o.ADOztgl.close();
        accountset::appendDirectoryRow(o, { e.server, f.number, f.name, f.password }, f.date);
        step.text = QStringLiteral("已在网络账套目录中重新登记账套 %1。").arg(f.number);
        return;
    case Finding::Kind::OrphanPerSetFile:
    case Finding::Kind::LeftoverTemporaryFile:
        step.kept = moveAside(f.path);
        step.text = QStringLiteral("已移到 %1。").arg(step.kept);
        return;
    case Finding::Kind::FailedScheduledBackup:
    case Finding::Kind::OverdueBackupPlan:
        mendBackupPlan(o, e, step);
        return;
    case Finding::Kind::InterruptedCopy:
        mendInterruptedCopy(o, e, options, step);
        return;
    }
}

int order(Finding::Kind kind)
{
    // Databases first (their per-set files may become orphans), files last.
    switch (kind) {
    case Finding::Kind::EmptyDatabase:
    case Finding::Kind::UnfinishedCreation:
    case Finding::Kind::UnregisteredDatabase:
    case Finding::Kind::InterruptedCopy:
        return 0;
    case Finding::Kind::StaleDirectoryRow:
    case Finding::Kind::DuplicateDirectoryRow:
    case Finding::Kind::LocalRowWithoutDatabase:
    case Finding::Kind::LocalRowWithoutDirectoryRow:
        return 1;
    case Finding::Kind::OrphanPerSetFile:
    case Finding::Kind::LeftoverTemporaryFile:
        return 2;
    case Finding::Kind::FailedScheduledBackup:
    case Finding::Kind::OverdueBackupPlan:
        return 3; // backups last: of what the mends before have left
    }
    return 3;
}

} // namespace

QString asideFolder()
{
    return QDir::cleanPath(install::directory() + QStringLiteral("/data/SysBase.aside"));
}

QString savedRowsFolder()
{
    return QDir::cleanPath(install::directory() + QStringLiteral("/data/backup"));
}

QList<RepairStep> repair(
    accountset::AccountSetObjects &o, const Examination &examination, const RepairOptions &options)
{
    QList<Finding> findings = examination.findings;
    std::stable_sort(findings.begin(), findings.end(),
        [](const Finding &a, const Finding &b) { return order(a.kind) < order(b.kind); });
    QList<RepairStep> steps;
    for (const Finding &finding : std::as_const(findings)) {
        RepairStep step;
        step.finding = finding;
        try {
            mendOne(o, examination, options, step);
            step.done = true;
        } catch (const data::DataError &error) {
            step.text = QStringLiteral("修复出错！") + error.message();
        }
        steps.append(step);
    }
    return steps;
}

QList<RepairStep> repairAll(
    accountset::AccountSetObjects &o, const QString &server, const RepairOptions &options, Examination &after)
{
    QList<RepairStep> steps;
    after = examine(o, server);
    for (int pass = 0; pass < 3 && !after.findings.isEmpty(); ++pass) {
        const QList<RepairStep> done = repair(o, after, options);
        steps += done;
        after = examine(o, server);
        if (std::none_of(done.cbegin(), done.cend(), [](const RepairStep &s) { return s.done; }))
            break;
    }
    return steps;
}

} // namespace zt::doctor
