#include "backup.h"

#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "identifiers.h"
#include "install/installation.h"
#include "store/localstore.h"

#include <QDir>

namespace zt::accountset {

using data::ConnectionString;
using data::LoginFragment;

namespace {

// A path as a T-SQL text: N'...' so that Chinese folder names reach the server unchanged.
QString pathLiteral(const QString &path)
{
    return u'N' + store::sqlLiteral(path);
}

void useServer(AccountSetObjects &o, const LoginFragment &fragment, const QString &server)
{
    o.Conn_Ty1.close();
    o.Conn_Ty1.setConnectionString(ConnectionString::server(fragment, server));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
}

} // namespace

QString backupFileName(const QString &number, const QDateTime &when)
{
    return number + u'_' + when.toString(QStringLiteral("yyyyMMdd_HHmmss")) + QStringLiteral(".bak");
}

QString backupLocation(const QString &server, const QString &file)
{
    if (embedded::isEmbeddedServerName(server) && QDir::isRelativePath(file))
        return QDir::cleanPath(install::directory() + QStringLiteral("data/backup/") + file);
    return file;
}

std::optional<QString> unusableBackupFile(const QString &file)
{
    if (trimmed(file).isEmpty())
        return QStringLiteral("备份文件名称不能为空！");
    for (const QChar c : file) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return QStringLiteral("备份文件名称不能包含控制字符。");
    }
    return std::nullopt;
}

QString backupAccountSet(AccountSetObjects &o, const QString &loginFragment, const QString &server,
    const QString &number, const QString &file)
{
    if (const auto problem = unusableDatabaseName(number))
        throw data::DataError(*problem);
    if (const auto problem = unusableBackupFile(file))
        throw data::DataError(*problem);
    useServer(o, LoginFragment::fromText(loginFragment), server);
    data::reexecute(o.ADOTy1,
        QStringLiteral("backup database ") + sqlName(number) + QStringLiteral(" to disk=") + pathLiteral(file)
            + QStringLiteral(" with init"));
    return backupLocation(server, file);
}

QString backupBeforeDeletion(AccountSetObjects &o, const QString &loginFragment, const QString &server,
    const DirectoryRow &row, const QDateTime &when)
{
    return backupAccountSet(o, loginFragment, server, row.number, backupFileName(row.number, when));
}

std::optional<InputProblem> checkRestoreInput(const RestoreRequest &request, const QString &passwordAgain)
{
    if (auto problem = checkCreationInput(request.fields, passwordAgain))
        return problem;
    if (const auto problem = unusableDatabaseName(trimmed(request.fields.database)))
        return InputProblem { *problem, InputProblem::Focus::Database };
    if (const auto problem = unusableBackupFile(request.backupFile))
        return InputProblem { *problem, InputProblem::Focus::Unchanged };
    return std::nullopt;
}

void restoreAccountSet(AccountSetObjects &o, const RestoreRequest &request, QString &loginFragment,
    const CreationContext &context)
{
    AccountSetFields fields = request.fields;
    fields.database = trimmed(request.fields.database);
    if (const auto problem = unusableDatabaseName(fields.database))
        throw data::DataError(*problem);
    if (const auto problem = unusableBackupFile(request.backupFile))
        throw data::DataError(*problem);
    const LoginFragment fragment = store::readLoginFragment(o.ADOTy, fields.server);
    loginFragment = fragment.text();
    useServer(o, fragment, fields.server);
    data::reexecute(o.ADOTy1,
        QStringLiteral("restore database ") + sqlName(fields.database) + QStringLiteral(" from disk=")
            + pathLiteral(request.backupFile));
    ensurePerSetFile(fields.database, context.progress);
    registerAccountSet(o, fields, request.mode, loginFragment, context);
}

} // namespace zt::accountset
