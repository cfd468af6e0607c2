// Account-set backups from the command line: a backup on request and an account set brought back
// from a backup file, as the network tab's menu does them.

#include "accountsethelpers.h"
#include "commands.h"

#include "accountset/backup.h"
#include "accountset/outcometext.h"
#include "data/dataerror.h"
#include "store/localstore.h"

namespace zt::cli {

int runBackup(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    const QString server = options.value(QStringLiteral("server"));
    const QString number = options.value(QStringLiteral("db"));
    report.set(QStringLiteral("server"), server);
    report.set(QStringLiteral("db"), number);
    accountset::AccountSetObjects o;
    const auto set = findListedSet(o, server, number, report);
    if (!set)
        return report.finish(ExitFailed);
    const accountset::DirectoryRow &row = set->row;
    // Without --to the file gets the name the menu suggests, in the server's backup folder.
    const QString file = options.isSet(QStringLiteral("to")) ? options.value(QStringLiteral("to"))
                                                             : accountset::backupFileName(row.number);
    const accountset::BackupResult result = accountset::backupAccountSet(o, set->login, row.number, file);
    if (const auto ms = result.elapsedMs(accountset::BackupStep::Backup))
        report.addTiming(QStringLiteral("backup"), *ms);
    if (!result.succeeded()) {
        report.message(accountset::outcome::backupFailed(result.error));
        return report.finish(ExitFailed);
    }
    const QString &location = result.location;
    report.set(QStringLiteral("backup"), location);
    report.set(QStringLiteral("verified"), true);
    report.print(location);
    report.message(accountset::outcome::backedUp(server, location));
    return report.finish(ExitOk);
}

namespace {

// restore --verify-only: the server reads the backup through and restores nothing.
int runVerifyOnly(const QCommandLineParser &options, Report &report)
{
    const QString server = options.value(QStringLiteral("server"));
    const QString file = options.value(QStringLiteral("from"));
    report.set(QStringLiteral("server"), server);
    report.set(QStringLiteral("from"), file);
    if (!loginStored(options.value(QStringLiteral("server")), report))
        return report.finish(ExitFailed);
    accountset::AccountSetObjects o;
    try {
        StepTimer timer(report, QStringLiteral("verify"));
        openPage(o);
        accountset::verifyBackupFile(o, store::readServerLogin(o.ADOTy, server), file);
    } catch (const data::DataError &e) {
        report.set(QStringLiteral("valid"), false);
        report.message(QStringLiteral("备份文件校验出错！") + e.message());
        return report.finish(ExitFailed);
    }
    report.set(QStringLiteral("valid"), true);
    report.message(QStringLiteral("备份文件完好：") + accountset::backupLocation(server, file));
    return report.finish(ExitOk);
}

} // namespace

int runRestore(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    if (options.isSet(QStringLiteral("verify-only")))
        return runVerifyOnly(options, report);
    for (const QString &name : { QStringLiteral("db"), QStringLiteral("name") }) {
        if (!options.isSet(name)) {
            report.message(QStringLiteral("缺少选项 --") + name);
            return report.finish(ExitUsage);
        }
    }
    const auto mode = modeFromOptions(options, report);
    if (!mode)
        return report.finish(ExitUsage);
    const auto password = setPassword(options, report, true);
    if (!password)
        return report.finish(ExitUsage);
    accountset::RestoreRequest request;
    request.fields = { options.value(QStringLiteral("server")), options.value(QStringLiteral("db")),
        options.value(QStringLiteral("name")), password->text };
    request.backupFile = options.value(QStringLiteral("from"));
    request.mode = *mode;
    report.set(QStringLiteral("server"), request.fields.server);
    report.set(QStringLiteral("db"), accountset::trimmed(request.fields.database));
    report.set(QStringLiteral("from"), request.backupFile);
    if (const auto problem = accountset::checkRestoreInput(request, password->again)) {
        report.message(problem->message);
        return report.finish(ExitFailed);
    }

    if (!loginStored(options.value(QStringLiteral("server")), report))
        return report.finish(ExitFailed);
    accountset::AccountSetObjects o;
    TerminalProgress progress;
    data::ServerLogin login;
    if (!opensPage(o, report, &accountset::outcome::restoreFailed))
        return report.finish(ExitFailed);
    accountset::RestoreResult result;
    {
        StepTimer timer(report, QStringLiteral("restore"));
        result = accountset::restoreAccountSet(o, request, login, commandContext(report, progress));
    }
    if (!result.succeeded()) {
        report.message(accountset::outcome::restoreFailed(result.error));
        return report.finish(ExitFailed);
    }
    reportLocalRow(report, o, request.fields.database, request.fields.server);
    if (*mode == accountset::CreationMode::Network)
        reportDirectoryRow(report, login, request.fields.database);
    report.message(accountset::outcome::restored());
    return report.finish(ExitOk);
}

} // namespace zt::cli
