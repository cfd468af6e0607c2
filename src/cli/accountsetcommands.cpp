// Page 2's operations from the command line: creation, the network directory, taking a set over,
// deleting it and the sample set. Each reads the server's stored login as the page does.

#include "accountsethelpers.h"
#include "commands.h"
#include "secrets.h"

#include "accountset/backup.h"
#include "accountset/creation.h"
#include "accountset/deletion.h"
#include "accountset/directory.h"
#include "accountset/outcometext.h"
#include "accountset/sample.h"
#include "accountset/takeover.h"
#include "data/dataerror.h"
#include "store/localstore.h"

#include <QJsonArray>

namespace zt::cli {

namespace {

using accountset::AccountSetObjects;
using accountset::CreationMode;

// The per-set file copy shown on the bar and timed.
class TimedCopy final : public accountset::CopyProgress
{
public:
    explicit TimedCopy(TerminalProgress &bar)
        : m_bar(bar)
    { }
    void start() override
    {
        m_clock.start();
        m_bar.start();
    }
    void setRange(qint64 maximum) override
    {
        m_maximum = maximum;
        m_bar.setRange(maximum);
    }
    void setPosition(qint64 position) override
    {
        m_bar.setPosition(position);
        if (position >= m_maximum)
            m_elapsed = m_clock.elapsed();
    }
    qint64 elapsedMs() const { return m_elapsed; }

private:
    TerminalProgress &m_bar;
    QElapsedTimer m_clock;
    qint64 m_maximum = 0;
    qint64 m_elapsed = -1;
};

// A set made and registered on this machine whose directory row could not be written.
int reportUnregistered(Report &report, AccountSetObjects &o, const accountset::AccountSetFields &fields)
{
    const QString number = accountset::trimmed(fields.database);
    reportLocalRow(report, o, number, fields.server);
    report.message(QStringLiteral("加入网络账套目录失败：数据库“%1”已在服务器上建好并已登记在本机，"
                                  "但服务器的网络账套目录中没有它，其他电脑不能选择引入。"
                                  "排除原因后删除数据库“%1”和本机登记，再重新创建。")
                       .arg(number));
    return report.finish(ExitFailed);
}

} // namespace

int runCreate(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    const auto mode = modeFromOptions(options, report);
    if (!mode)
        return report.finish(ExitUsage);
    const auto password = setPassword(options, report, true);
    if (!password)
        return report.finish(ExitUsage);
    const accountset::AccountSetFields fields { options.value(QStringLiteral("server")),
        options.value(QStringLiteral("db")), options.value(QStringLiteral("name")), password->text };
    report.set(QStringLiteral("server"), fields.server);
    report.set(QStringLiteral("db"), accountset::trimmed(fields.database));
    if (const auto problem = accountset::checkCreationInput(fields, password->again)) {
        report.message(problem->message);
        return report.finish(ExitFailed);
    }

    if (!loginStored(options.value(QStringLiteral("server")), report))
        return report.finish(ExitFailed);
    AccountSetObjects o;
    TerminalProgress progress;
    TimedCopy copy(progress);
    data::ServerLogin login;
    accountset::CreationContext context = commandContext(report, progress);
    context.progress = &copy;
    // The transfer is timed from its first report to its last.
    QElapsedTimer transferClock;
    qint64 transferMs = -1;
    context.transferProgress = [&](const QString &table, int index, int count, int row, int rows) {
        if (!transferClock.isValid())
            transferClock.start();
        progress.transfer(table, index, count, row, rows);
        transferMs = transferClock.elapsed();
    };
    if (!opensPage(o, report, &accountset::outcome::creationFailed))
        return report.finish(ExitFailed);
    accountset::CreationResult result;
    {
        StepTimer timer(report, QStringLiteral("create"));
        result = accountset::createAccountSet(o, fields, *mode, login, context);
    }
    if (!result.succeeded()) {
        report.message(accountset::outcome::creationFailed(result.error));
        return report.finish(ExitFailed);
    }
    if (result.directoryRowMissing)
        return reportUnregistered(report, o, fields);
    if (copy.elapsedMs() >= 0)
        report.addTiming(QStringLiteral("per_set_file_copy"), copy.elapsedMs());
    if (transferMs >= 0)
        report.addTiming(QStringLiteral("base_data_transfer"), transferMs);
    reportLocalRow(report, o, fields.database, fields.server);
    if (*mode == CreationMode::Network)
        reportDirectoryRow(report, login, fields.database);
    report.message(accountset::outcome::created());
    return report.finish(ExitOk);
}

int runList(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    const QString server = options.value(QStringLiteral("server"));
    report.set(QStringLiteral("server"), server);
    if (!loginStored(options.value(QStringLiteral("server")), report))
        return report.finish(ExitFailed);
    AccountSetObjects o;
    data::ServerLogin login;
    accountset::DirectoryListing listed;
    {
        StepTimer timer(report, QStringLiteral("list"));
        try {
            openPage(o);
            listed = accountset::listDirectory(o, server, login);
        } catch (const data::DataError &e) {
            report.message(e.message());
        }
    }
    if (!listed) {
        report.message(unlistedText(server, listed));
        return report.finish(ExitFailed);
    }
    QJsonArray directory;
    for (int row = 0; row < o.ADOztgl.rowCount(); ++row) {
        o.ADOztgl.setCurrentRow(row);
        const accountset::DirectoryRow entry = accountset::currentDirectoryRow(o.ADOztgl);
        directory.append(directoryRowObject(entry));
        report.print(QStringLiteral("%1\t%2\t%3").arg(entry.number, entry.name, entry.server));
    }
    report.set(QStringLiteral("directory"), directory);
    return report.finish(ExitOk);
}

int runTakeOver(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    const QString server = options.value(QStringLiteral("server"));
    const QString number = options.value(QStringLiteral("db"));
    report.set(QStringLiteral("server"), server);
    report.set(QStringLiteral("db"), number);
    AccountSetObjects o;
    const auto set = findListedSet(o, server, number, report);
    if (!set)
        return report.finish(ExitFailed);
    const accountset::DirectoryRow &row = set->row;
    TerminalProgress progress;
    accountset::TakeOverFrontEnd agreed; // the command line itself is the confirmation
    const accountset::TakeOverResult result
        = accountset::takeOverAccountSet(o, row, server, &progress, agreed);
    if (result.alreadyListed) {
        report.message(accountset::outcome::alreadyListedLocally());
        return report.finish(ExitFailed);
    }
    if (const auto ms = result.elapsedMs(accountset::TakeOverStep::TakeOver))
        report.addTiming(QStringLiteral("take_over"), *ms);
    if (result.failedStep) {
        report.message(accountset::outcome::takeOverFailed(result.error));
        return report.finish(ExitFailed);
    }
    reportLocalRow(report, o, row.number, server);
    report.message(accountset::outcome::takenOver());
    return report.finish(ExitOk);
}

int runDelete(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    const QString server = options.value(QStringLiteral("server"));
    const QString number = options.value(QStringLiteral("db"));
    report.set(QStringLiteral("server"), server);
    report.set(QStringLiteral("db"), number);
    const auto password = setPassword(options, report, false);
    if (!password)
        return report.finish(ExitUsage);
    AccountSetObjects o;
    const auto set = findListedSet(o, server, number, report);
    if (!set)
        return report.finish(ExitFailed);
    const accountset::DirectoryRow &row = set->row;
    // --row-only: the database is gone already (a deletion that stopped before its last step);
    // only the directory row is removed, as the page's "remove the row alone" answer does.
    const bool rowOnly = options.isSet(QStringLiteral("row-only"));
    // The safety copy first. The page asks whether to go on without one when it fails; a script
    // says so beforehand with --no-backup, and is answered no here.
    class NoQuestions final : public accountset::DeletionFrontEnd
    {
    public:
        bool deleteWithoutBackup(const QString &) override { return false; }
    } noQuestions;
    const accountset::DeletionPlan plan { !options.isSet(QStringLiteral("no-backup")), !rowOnly };
    const accountset::DeletionResult result
        = accountset::deleteAccountSet(o, set->login, row, password->text, noQuestions, plan);
    using accountset::DeletionStep;
    if (result.failedStep == DeletionStep::Password) {
        report.message(accountset::outcome::wrongSetPassword());
        return report.finish(ExitFailed);
    }
    for (const accountset::DeletionStepRun &run : result.steps) {
        if (run.step == DeletionStep::Backup)
            report.addTiming(QStringLiteral("backup"), run.elapsedMs);
        else if (run.step == DeletionStep::DropDatabase)
            report.addTiming(QStringLiteral("drop_database"), run.elapsedMs);
        else if (run.step == DeletionStep::LocalRows)
            report.addTiming(QStringLiteral("local_rows"), run.elapsedMs);
        else if (run.step == DeletionStep::DirectoryRow)
            report.addTiming(QStringLiteral("directory_row"), run.elapsedMs);
    }
    if (rowOnly)
        report.addTiming(QStringLiteral("drop_database"), 0); // nothing to drop
    if (result.failedStep == DeletionStep::Backup) {
        report.message(accountset::outcome::backupFailed(result.error));
        report.message(QStringLiteral("账套未删除（不备份而直接删除：--no-backup）。"));
        return report.finish(ExitFailed);
    }
    const QString &backup = result.backup;
    report.set(QStringLiteral("backup"), backup.isEmpty() ? QJsonValue() : QJsonValue(backup));
    if (result.failedStep == DeletionStep::DropDatabase) {
        // The page then offers to remove the directory row alone; here the set is left as it is.
        report.message(accountset::outcome::deletionFailed(result.error));
        return report.finish(ExitFailed);
    }
    if (result.failedStep == DeletionStep::LocalRows) {
        report.message(result.error);
        report.message(QStringLiteral(
            "删除本机账套列表中的行失败：数据库“%1”已删除，本机账套列表和服务器的网络账套目录中仍有它。"
            "排除原因后再次删除以完成：ztaccountset delete --server %2 --db %1 --row-only")
                           .arg(row.number, server));
        return report.finish(ExitFailed);
    }
    if (result.failedStep == DeletionStep::DirectoryRow) {
        // The database is gone (or was already), its directory row is not: a half-deleted set is
        // a failure.
        report.message(result.error);
        report.message(
            QStringLiteral("删除网络账套目录行失败：数据库“%1”已删除，服务器的网络账套目录中仍有它的一行。"
                           "排除原因后再次删除以完成：ztaccountset delete --server %2 --db %1 --row-only")
                .arg(row.number, server));
        return report.finish(ExitFailed);
    }
    report.set(QStringLiteral("local_rows_removed"), result.localRowsRemoved);
    report.addRow(
        DirectoryTable, QStringLiteral("master"), directoryRowObject(row), QStringLiteral("removed"));
    report.message(accountset::outcome::deleted(backup));
    return report.finish(ExitOk);
}

int runSample(const QCommandLineParser &options, Report &report)
{
    const auto mode = modeFromOptions(options, report);
    if (!mode)
        return report.finish(ExitUsage);
    const QString server = options.value(QStringLiteral("server"));
    report.set(QStringLiteral("server"), server);
    if (server.isEmpty()) {
        report.message(accountset::outcome::serverNameEmpty());
        return report.finish(ExitUsage);
    }
    if (!loginStored(options.value(QStringLiteral("server")), report))
        return report.finish(ExitFailed);
    AccountSetObjects o;
    TerminalProgress progress;
    data::ServerLogin login;
    const accountset::AccountSetFields fields { server, accountset::SampleNumber, accountset::SampleName,
        {} };
    accountset::CreationContext context = commandContext(report, progress);
    if (!opensPage(o, report))
        return report.finish(ExitFailed);
    accountset::SampleResult result;
    {
        StepTimer timer(report, QStringLiteral("sample"));
        result = accountset::createSampleAccountSet(o, fields, *mode, login, context);
    }
    if (!result.succeeded()) {
        // On the page this error goes to the standard error box: its text alone.
        report.message(result.error);
        return report.finish(ExitFailed);
    }
    const accountset::SampleOrigin origin = result.origin;
    // A real server cannot restore the shipped backup: the set was built there instead.
    report.set(QStringLiteral("origin"),
        origin == accountset::SampleOrigin::Built ? QStringLiteral("built") : QStringLiteral("restored"));
    if (origin == accountset::SampleOrigin::Built)
        report.message(QStringLiteral("例子帐套已在服务器上新建（数据库、建表脚本、基础资料和例子数据），"
                                      "没有还原备份文件：SQL Server 不能还原内置服务器格式的备份。"));
    if (result.directoryRowMissing)
        return reportUnregistered(report, o, fields);
    reportLocalRow(report, o, fields.database, server);
    if (*mode == CreationMode::Network)
        reportDirectoryRow(report, login, fields.database);
    report.message(accountset::outcome::sampleCreated());
    return report.finish(ExitOk);
}

} // namespace zt::cli
