#include "creation.h"

#include "basedata.h"
#include "data/dataerror.h"
#include "data/sessionreuse.h"
#include "directory.h"
#include "identifiers.h"
#include "install/installation.h"
#include "install/installfiles.h"
#include "store/localstore.h"

#include <QDir>
#include <QFileInfo>

namespace zt::accountset {

using data::ConnectionString;
using data::ServerLogin;

std::optional<InputProblem> checkCreationInput(const AccountSetFields &fields, const QString &passwordAgain)
{
    if (fields.server.isEmpty())
        return InputProblem { QStringLiteral("服务器名称不能为空,请点击“上一步”获取可加用的服务器名称！"),
            InputProblem::Focus::Unchanged };
    if (trimmed(fields.database).isEmpty())
        return InputProblem { QStringLiteral("数据库名称不能为空！"), InputProblem::Focus::Database };
    if (fields.name.isEmpty())
        return InputProblem { QStringLiteral("账套名称不能为空！"), InputProblem::Focus::Name };
    if (passwordAgain != fields.password)
        return InputProblem { QStringLiteral("账套口令校验错误！"), InputProblem::Focus::Password };
    return std::nullopt;
}

QStringList baseDataTables()
{
    return {
        QStringLiteral("ckdsz"),
        QStringLiteral("ckdsz01"),
        QStringLiteral("ckdsz02"),
        QStringLiteral("czyssz"),
        QStringLiteral("users"),
        QStringLiteral("gzxmdyb"),
        QStringLiteral("hpszxxb"),
        QStringLiteral("hpszxxb_show"),
        QStringLiteral("jczlxxb"),
        QStringLiteral("jjfsxxb"),
        QStringLiteral("jjfsxxxb"),
        QStringLiteral("kjkmlbb"),
        QStringLiteral("kjkmxxb"),
        QStringLiteral("sdsszxxb"),
        QStringLiteral("xtxxb"),
        QStringLiteral("xtxxb_other"),
    };
}

QString templatePath()
{
    return install::directory() + QStringLiteral("/data") + QStringLiteral("/SysBase.mdb");
}

QString perSetPath(const QString &number)
{
    const QString folder = install::directory() + QStringLiteral("/data/SysBase/");
    const QString name = number + QStringLiteral("_S_SysBase.mdb");
    // Database names are compared without regard to case, and so is the file of one: "ACCT01"
    // uses the file made for "acct01".
    if (!QFileInfo::exists(folder + name)) {
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString &file : files) {
            if (file.compare(name, Qt::CaseInsensitive) == 0)
                return folder + file;
        }
    }
    return folder + name;
}

QString checkedPerSetPath(const QString &number)
{
    if (const auto problem = unusableDatabaseName(number))
        throw data::DataError(*problem);
    const QString path = perSetPath(number);
    // The name check keeps the file in the folder; this proves it on the path itself.
    const QString folder = QDir::cleanPath(install::directory() + QStringLiteral("data/SysBase"));
    if (QDir::cleanPath(QFileInfo(path).absolutePath())
        != QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
        throw data::DataError(QStringLiteral("数据库名称不能包含路径分隔符（/ 或 \\）。"));
    return path;
}

void ensurePerSetFile(const QString &number, CopyProgress *progress)
{
    const QString path = checkedPerSetPath(number);
    if (!QFileInfo::exists(path))
        copyFile(templatePath(), path, progress);
}

void runCreationScript(AccountSetObjects &o)
{
    install::readScriptName();
    o.ADOTy1.close();
    o.ADOTy1.clearSql();
    o.ADOTy1.loadSqlFromFile(install::directory() + QStringLiteral("/data/")
        + install::localPath(install::heldValues().scriptName));
    o.ADOTy1.execSql();
}

bool registerAccountSet(AccountSetObjects &o, const AccountSetFields &fields, CreationMode mode,
    const ServerLogin &login, const CreationContext &context)
{
    bool directoryRowAppended = true;
    store::beginAccountSetRow(o.ADOTy,
        { trimmed(fields.database), trimmed(fields.name), context.today, trimmed(fields.password),
            trimmed(fields.server) });
    if (mode != CreationMode::RentedBuild) {
        ensureDirectoryTable(o, { fields.server, login.fragment });
        if (mode == CreationMode::Network) {
            try {
                appendDirectoryRow(o, fields, context.today);
            } catch (const data::DataError &e) {
                directoryRowAppended = false;
                if (context.reportDirectoryError)
                    context.reportDirectoryError(
                        QStringLiteral("加入网络账套出错！错误代码：") + e.message());
            }
            o.ADOTy.setFieldText(QStringLiteral("net"), QStringLiteral("是"));
        } else {
            o.ADOTy.setFieldText(QStringLiteral("net"), QStringLiteral("否"));
        }
    }
    o.ADOTy.post();
    return directoryRowAppended;
}

CreationResult createAccountSet(AccountSetObjects &o, const AccountSetFields &input, CreationMode mode,
    ServerLogin &login, const CreationContext &context)
{
    // One login for the whole creation: the server, the new database and master are reached
    // on one session, its database switched between the steps.
    const data::odbc::ConnectionReuse reuse;
    CreationResult result;
    AccountSetFields fields = input;
    fields.database = trimmed(input.database);
    // The number is checked before anything is created: it names the per-set file.
    if (!result.run(CreationStep::PerSetFile, [&] {
            checkedPerSetPath(fields.database);
            ensurePerSetFile(fields.database, context.progress);
        }))
        return result;
    if (!result.run(CreationStep::Login, [&] { login = store::readServerLogin(o.ADOTy, fields.server); }))
        return result;
    if (mode == CreationMode::Network) {
        if (!result.run(CreationStep::Database, [&] {
                data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::server(login));
                data::reexecute(o.ADOTy1, QStringLiteral("create database ") + sqlName(fields.database));
            }))
            return result;
        result.databaseMade = true;
    }
    if (mode != CreationMode::RentedRegister) {
        if (!result.run(CreationStep::Tables,
                [&] {
                    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::catalog(login, fields.database));
                    runCreationScript(o);
                })
            || !result.run(CreationStep::BaseData,
                [&] { transferBaseData(o, baseDataTables(), {}, context.transferProgress); }))
            return result;
    }
    registerAsLastStep(result, CreationStep::Registration, o, fields, mode, login, context);
    return result;
}

} // namespace zt::accountset
