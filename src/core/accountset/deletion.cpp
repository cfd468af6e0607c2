#include "deletion.h"

#include "backup.h"
#include "data/dataerror.h"
#include "identifiers.h"
#include "store/localstore.h"

#include <QElapsedTimer>

namespace zt::accountset {

namespace {

// Runs one step into the result; false (error recorded) when it threw.
template<typename Action>
bool runStep(DeletionResult &result, DeletionFrontEnd &frontEnd, DeletionStep step, Action &&action,
    QString *error = nullptr)
{
    frontEnd.stepStarting(step);
    QElapsedTimer clock;
    clock.start();
    DeletionStepRun run { step };
    try {
        action();
    } catch (const data::DataError &e) {
        run.failed = true;
        (error ? *error : result.error) = e.message();
    }
    run.elapsedMs = clock.elapsed();
    result.steps.append(run);
    return !run.failed;
}

} // namespace

int removeLocalRows(AccountSetObjects &o, const QString &server, const DirectoryRow &row)
{
    QStringList servers { server };
    if (trimmed(server) != server)
        servers << trimmed(server);
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
    return store::removeAccountSetRows(o.ADOTy, row.number, servers);
}

DeletionResult deleteAccountSet(AccountSetObjects &o, const QString &loginFragment, const QString &server,
    const DirectoryRow &row, const QString &typedPassword, DeletionFrontEnd &frontEnd,
    const DeletionPlan &plan, const QDateTime &when)
{
    DeletionResult result;
    result.steps.append({ DeletionStep::Password, 0, !deletionPasswordMatches(row, typedPassword) });
    if (result.steps.last().failed) {
        result.failedStep = DeletionStep::Password;
        return result;
    }
    if (plan.backup && plan.dropDatabase) {
        const bool made = runStep(
            result, frontEnd, DeletionStep::Backup,
            [&] { result.backup = backupBeforeDeletion(o, loginFragment, server, row, when); },
            &result.backupError);
        if (!made && !frontEnd.deleteWithoutBackup(result.backupError)) {
            result.failedStep = DeletionStep::Backup;
            result.error = result.backupError;
            return result;
        }
    }
    if (plan.dropDatabase) {
        if (!runStep(result, frontEnd, DeletionStep::DropDatabase,
                [&] { dropAccountSetDatabase(o, loginFragment, server, row); })) {
            result.failedStep = DeletionStep::DropDatabase;
            return result;
        }
        result.databaseDropped = true;
    }
    // The database is gone: a local row of it would offer a set that no longer opens.
    if (!runStep(result, frontEnd, DeletionStep::LocalRows,
            [&] { result.localRowsRemoved = removeLocalRows(o, server, row); })) {
        result.failedStep = DeletionStep::LocalRows;
        return result;
    }
    if (!runStep(result, frontEnd, DeletionStep::DirectoryRow, [&] { deleteCurrentDirectoryRow(o); })) {
        result.failedStep = DeletionStep::DirectoryRow;
        return result;
    }
    result.rowRemoved = true;
    return result;
}

QString deletionQuestion(const DirectoryRow &row)
{
    return QStringLiteral("账套删除后不可恢复，请确定账套已经备份。你确定要删除账套名称为【") + row.name
        + u'(' + row.number + u')' + QStringLiteral("】的账套吗？");
}

bool deletionPasswordMatches(const DirectoryRow &row, const QString &typed)
{
    return row.password == typed;
}

void dropAccountSetDatabase(
    AccountSetObjects &o, const QString &loginFragment, const QString &server, const DirectoryRow &row)
{
    data::pointAt(o.Conn_Ty1, o.ADOTy1,
        data::ConnectionString::server(data::LoginFragment::fromText(loginFragment), server));
    data::reexecute(o.ADOTy1, QStringLiteral("drop database ") + sqlName(row.number));
}

} // namespace zt::accountset
