#include "deletion.h"

#include "backup.h"
#include "data/dataerror.h"
#include "identifiers.h"
#include "store/localstore.h"

namespace zt::accountset {

int removeLocalRows(AccountSetObjects &o, const QString &server, const DirectoryRow &row)
{
    QStringList servers { server };
    if (trimmed(server) != server)
        servers << trimmed(server);
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
    return store::removeAccountSetRows(o.ADOTy, row.number, servers);
}

DeletionResult deleteAccountSet(AccountSetObjects &o, const data::ServerLogin &login, const DirectoryRow &row,
    const QString &typedPassword, DeletionFrontEnd &frontEnd, const DeletionPlan &plan, const QDateTime &when)
{
    DeletionResult result;
    if (!result.check(DeletionStep::Password, deletionPasswordMatches(row, typedPassword)))
        return result;
    if (plan.backup && plan.dropDatabase) {
        frontEnd.stepStarting(DeletionStep::Backup);
        if (const auto failed = result.attempt(
                DeletionStep::Backup, [&] { result.backup = backupBeforeDeletion(o, login, row, when); })) {
            result.backupError = failed->message();
            if (!frontEnd.deleteWithoutBackup(result.backupError)) {
                result.fail(DeletionStep::Backup, *failed);
                return result;
            }
        }
    }
    const auto run = [&](DeletionStep step, auto &&work) {
        frontEnd.stepStarting(step);
        return result.run(step, work);
    };
    if (plan.dropDatabase) {
        if (!run(DeletionStep::DropDatabase, [&] { dropAccountSetDatabase(o, login, row); }))
            return result;
        result.databaseDropped = true;
    }
    // The database is gone: a local row of it would offer a set that no longer opens.
    if (!run(DeletionStep::LocalRows,
            [&] { result.localRowsRemoved = removeLocalRows(o, login.server, row); }))
        return result;
    if (!run(DeletionStep::DirectoryRow, [&] { deleteCurrentDirectoryRow(o); }))
        return result;
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

void dropAccountSetDatabase(AccountSetObjects &o, const data::ServerLogin &login, const DirectoryRow &row)
{
    data::pointAt(o.Conn_Ty1, o.ADOTy1, data::ConnectionString::server(login));
    data::reexecute(o.ADOTy1, QStringLiteral("drop database ") + sqlName(row.number));
}

} // namespace zt::accountset
