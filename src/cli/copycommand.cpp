// ztaccountset copy: a listed network account set copied to a new set on the same server, as the
// network tab's "复制账套…" copies it.

#include "accountsethelpers.h"
#include "commands.h"

#include "accountset/copying.h"

namespace zt::cli {

namespace {

QString stepKey(accountset::CopyStep step)
{
    switch (step) {
    case accountset::CopyStep::Checks:
        return QStringLiteral("checks");
    case accountset::CopyStep::Password:
        return QStringLiteral("password");
    case accountset::CopyStep::Journal:
        return QStringLiteral("journal");
    case accountset::CopyStep::Backup:
        return QStringLiteral("backup");
    case accountset::CopyStep::Restore:
        return QStringLiteral("restore");
    case accountset::CopyStep::Register:
        return QStringLiteral("register");
    }
    return {};
}

} // namespace

int runCopy(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    const QString server = options.value(QStringLiteral("server"));
    const QString number = options.value(QStringLiteral("db"));
    const QString target = accountset::trimmed(options.value(QStringLiteral("to")));
    report.set(QStringLiteral("server"), server);
    report.set(QStringLiteral("db"), number);
    report.set(QStringLiteral("to"), target);
    const auto current = currentSetPassword(options, report);
    if (!current)
        return report.finish(ExitUsage);
    const auto password = setPassword(options, report, true);
    if (!password)
        return report.finish(ExitUsage);
    accountset::CopyRequest request;
    request.source.number = number;
    request.sourcePassword = current->text;
    request.target = { server, target, options.value(QStringLiteral("name")), password->text };
    if (const auto problem = accountset::checkCopyInput(request, password->again)) {
        report.message(problem->message);
        return report.finish(ExitFailed);
    }

    accountset::AccountSetObjects o;
    const auto set = findListedSet(o, server, number, report);
    if (!set)
        return report.finish(ExitFailed);
    request.source = set->row;
    data::ServerLogin login = set->login;
    report.set(QStringLiteral("db"), request.source.number);
    TerminalProgress progress;
    accountset::CreationContext context = commandContext(report, progress);
    const accountset::CopyResult result = accountset::copyAccountSet(o, request, login, context);

    QJsonArray steps;
    for (const accountset::CopyStepRun &run : result.steps) {
        steps.append(QJsonObject { { QStringLiteral("step"), stepKey(run.step) },
            { QStringLiteral("ms"), run.elapsedMs }, { QStringLiteral("failed"), run.failed } });
        if (run.step != accountset::CopyStep::Password)
            report.addTiming(stepKey(run.step), run.elapsedMs);
    }
    report.set(QStringLiteral("steps"), steps);
    report.set(QStringLiteral("backup"), result.backup.isEmpty() ? QJsonValue() : QJsonValue(result.backup));
    report.set(QStringLiteral("database_made"), result.databaseMade);
    report.set(
        QStringLiteral("journal"), result.journal.isEmpty() ? QJsonValue() : QJsonValue(result.journal));
    if (result.failedStep)
        report.set(QStringLiteral("failed_step"), stepKey(*result.failedStep));
    if (result.registered) {
        reportLocalRow(report, o, target, server);
        reportDirectoryRow(report, login, target);
    }
    report.message(accountset::copyOutcomeText(request, result));
    if (result.succeeded())
        report.print(result.backup);
    return report.finish(result.succeeded() ? ExitOk : ExitFailed);
}

} // namespace zt::cli
