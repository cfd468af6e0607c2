#include "backup.h"

#include "data/dataerror.h"
#include "data/sqlliteral.h"
#include "embedded/embeddedserver.h"
#include "identifiers.h"
#include "install/installation.h"
#include "store/localstore.h"

#include <QDir>

#include <algorithm>

namespace zt::accountset {

using data::ConnectionString;
using data::LoginFragment;

namespace {

// A path as a T-SQL text: N'...' so that Chinese folder names reach the server unchanged.
QString pathLiteral(const QString &path)
{
    return data::nationalLiteral(path);
}

void useServer(AccountSetObjects &o, const LoginFragment &fragment, const QString &server)
{
    o.Conn_Ty1.close();
    o.Conn_Ty1.setConnectionString(ConnectionString::server(fragment, server));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
}

// The MOVE clauses that give the restored database files of its own, beside the files the backup
// names: "<database>.mdf", "<database>_log.ldf", further files "<database>_<n><suffix>". A server
// would otherwise write the restored database over the files of the database backed up, and
// refuses while that database exists.
QString moveClauses(data::Query &files, const QString &database)
{
    QStringList moves;
    int further = 0;
    bool dataFile = false;
    for (files.first(); !files.isEof(); files.next()) {
        const QString logical = files.fieldAsText(QStringLiteral("LogicalName"));
        const QString physical = files.fieldAsText(QStringLiteral("PhysicalName"));
        const QString type = files.fieldAsText(QStringLiteral("Type")).trimmed().toUpper();
        const qsizetype cut = std::max(physical.lastIndexOf(u'\\'), physical.lastIndexOf(u'/'));
        if (logical.isEmpty() || cut < 0)
            continue;
        const QString folder = physical.left(cut + 1);
        const QString name = physical.mid(cut + 1);
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString suffix = dot < 0 ? QString() : name.mid(dot);
        QString target;
        if (type == u"D" && !dataFile) {
            target = database + QStringLiteral(".mdf");
            dataFile = true;
        } else if (type == u"L") {
            target = database + QStringLiteral("_log.ldf");
        } else {
            target = database + u'_' + QString::number(++further) + suffix;
        }
        moves << QStringLiteral("move ") + pathLiteral(logical) + QStringLiteral(" to ")
                + pathLiteral(folder + target);
    }
    return moves.isEmpty() ? QString() : QStringLiteral(" with ") + moves.join(QStringLiteral(", "));
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
    data::reexecute(o.ADOTy1, QStringLiteral("restore verifyonly from disk=") + pathLiteral(file));
    return backupLocation(server, file);
}

void verifyBackupFile(
    AccountSetObjects &o, const QString &loginFragment, const QString &server, const QString &file)
{
    if (const auto problem = unusableBackupFile(file))
        throw data::DataError(*problem);
    useServer(o, LoginFragment::fromText(loginFragment), server);
    data::reexecute(o.ADOTy1, QStringLiteral("restore verifyonly from disk=") + pathLiteral(file));
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
    const QString disk = QStringLiteral(" from disk=") + pathLiteral(request.backupFile);
    data::reopen(o.ADOTy1, QStringLiteral("restore filelistonly") + disk);
    const QString moves = moveClauses(o.ADOTy1, fields.database);
    o.ADOTy1.close();
    data::reexecute(o.ADOTy1, QStringLiteral("restore database ") + sqlName(fields.database) + disk + moves);
    ensurePerSetFile(fields.database, context.progress);
    registerAccountSet(o, fields, request.mode, loginFragment, context);
}

} // namespace zt::accountset
