// Changing a network account set's name or password from the command line: "rename" and
// "set-password", after the set's present password, as page 2's "修改账套…" does.

#include "accountsethelpers.h"
#include "commands.h"
#include "secrets.h"

#include "accountset/setchange.h"

namespace zt::cli {

namespace {

using accountset::SetChange;
using accountset::SetChangeStep;

// The change of the set --db names on --server, once the new values are known; how to run the
// same command again when it stops half-way.
int runSetChange(const QCommandLineParser &options, Report &report, const Secret &present,
    const SetChange &change, const QString &again)
{
    const QString server = options.value(QStringLiteral("server"));
    const QString number = options.value(QStringLiteral("db"));
    if (const auto problem = accountset::checkSetChange(change)) {
        report.message(problem->message);
        return report.finish(ExitFailed);
    }
    accountset::AccountSetObjects o;
    const auto set = findListedSet(o, server, number, report);
    if (!set)
        return report.finish(ExitFailed);
    const accountset::DirectoryRow &row = set->row;
    const accountset::SetChangeResult result
        = accountset::changeAccountSet(o, set->login, row, present.text, change);
    for (const accountset::SetChangeStepRun &run : result.steps) {
        if (run.step == SetChangeStep::DirectoryRow)
            report.addTiming(QStringLiteral("directory_row"), run.elapsedMs);
        else if (run.step == SetChangeStep::LocalRows)
            report.addTiming(QStringLiteral("local_rows"), run.elapsedMs);
    }
    report.set(QStringLiteral("directory_rows_changed"), result.directoryRowsChanged);
    report.set(QStringLiteral("local_rows_changed"), result.localRowsChanged);
    report.message(accountset::setChangeText(result, row)
        + (result.directoryChangedLocalNot() ? QStringLiteral("\n再次运行：ztaccountset ") + again
                                             : QString()));
    // The rows as they are stored now.
    if (result.directoryRowsChanged > 0) {
        reportDirectoryRow(report, set->login, row.number);
        reportLocalRow(report, o, row.number, server);
    }
    return report.finish(result.succeeded() ? ExitOk : ExitFailed);
}

// The server and the number into the report; false when --server names none.
bool namesTheSet(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return false;
    report.set(QStringLiteral("server"), options.value(QStringLiteral("server")));
    report.set(QStringLiteral("db"), options.value(QStringLiteral("db")));
    return true;
}

// A value as it is typed again on the command line.
QString quoted(const QString &value)
{
    return u'"' + value + u'"';
}

} // namespace

int runRename(const QCommandLineParser &options, Report &report)
{
    if (!namesTheSet(options, report))
        return report.finish(ExitUsage);
    SetChange change;
    change.name = options.value(QStringLiteral("name"));
    report.set(QStringLiteral("name"), accountset::trimmed(*change.name));
    const auto present = currentSetPassword(options, report);
    if (!present)
        return report.finish(ExitUsage);
    return runSetChange(options, report, *present, change,
        QStringLiteral("rename --server %1 --db %2 --name %3")
            .arg(quoted(options.value(QStringLiteral("server"))), quoted(options.value(QStringLiteral("db"))),
                quoted(*change.name)));
}

int runSetPassword(const QCommandLineParser &options, Report &report)
{
    if (!namesTheSet(options, report))
        return report.finish(ExitUsage);
    const auto present = currentSetPassword(options, report);
    if (!present)
        return report.finish(ExitUsage);
    const auto password = setPassword(options, report, true);
    if (!password)
        return report.finish(ExitUsage);
    SetChange change;
    change.password = password->text;
    change.passwordAgain = password->again;
    return runSetChange(options, report, *present, change,
        QStringLiteral("set-password --server %1 --db %2")
            .arg(quoted(options.value(QStringLiteral("server"))),
                quoted(options.value(QStringLiteral("db")))));
}

} // namespace zt::cli
