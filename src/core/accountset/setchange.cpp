#include "setchange.h"

#include "data/dataerror.h"
#include "data/sqlliteral.h"
#include "deletion.h"
#include "store/localstore.h"

namespace zt::accountset {

namespace {

QString directoryRowMissing(const DirectoryRow &row)
{
    return QStringLiteral("网络账套目录中已没有口令如此的账套“%1”（可能已被其他电脑删除或修改）。"
                          "请重新列出网络账套目录后再修改。")
        .arg(row.number);
}

// Sends the update of the set's directory row on the master connection string of the login;
// returns how many rows changed.
int changeDirectoryRow(
    AccountSetObjects &o, const data::ServerLogin &login, const DirectoryRow &row, const SetChange &change)
{
    QStringList assignments;
    if (change.name)
        assignments << QStringLiteral("ztmc=") + data::nationalLiteral(trimmed(*change.name));
    if (change.password)
        assignments << QStringLiteral("kl=") + data::nationalLiteral(trimmed(*change.password));
    data::pointAt(o.Conn_Ty1, o.ADOTy1, data::ConnectionString::master(login));
    // The rows of the number that still have the password just checked: one another workstation
    // changed since the listing is not changed over its new password.
    const QString password = row.password.isEmpty()
        ? QStringLiteral("(kl is null or kl=N'')")
        : QStringLiteral("kl=") + data::nationalLiteral(row.password);
    return data::reexecute(o.ADOTy1,
        QStringLiteral("update PBTOVRASQLBASEDATA set ") + assignments.join(QStringLiteral(", "))
            + QStringLiteral(" where ztbh=") + data::nationalLiteral(row.number) + QStringLiteral(" and ")
            + password);
}

// "名称、口令": what the change was asked to do.
QString changedParts(const SetChangeResult &result)
{
    QStringList parts;
    if (result.nameChanged)
        parts << QStringLiteral("名称");
    if (result.passwordChanged)
        parts << QStringLiteral("口令");
    return parts.join(QStringLiteral("、"));
}

} // namespace

std::optional<InputProblem> checkSetChange(const SetChange &change)
{
    if (!change.name && !change.password)
        return InputProblem { QStringLiteral("没有要修改的内容：请录入新的账套名称或新的账套口令。"),
            InputProblem::Focus::Name };
    if (change.name && trimmed(*change.name).isEmpty())
        return InputProblem { QStringLiteral("账套名称不能为空！"), InputProblem::Focus::Name };
    if (change.password && change.passwordAgain != *change.password)
        return InputProblem { QStringLiteral("账套口令校验错误！"), InputProblem::Focus::Password };
    return std::nullopt;
}

int changeLocalRows(
    AccountSetObjects &o, const QString &server, const DirectoryRow &row, const SetChange &change)
{
    QStringList servers { server };
    if (trimmed(server) != server)
        servers << trimmed(server);
    std::optional<QString> name;
    std::optional<QString> password;
    if (change.name)
        name = trimmed(*change.name);
    if (change.password)
        password = trimmed(*change.password);
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
    return store::changeAccountSetRows(o.ADOTy, row.number, servers, name, password);
}

SetChangeResult changeAccountSet(AccountSetObjects &o, const data::ServerLogin &login,
    const DirectoryRow &row, const QString &presentPassword, const SetChange &change)
{
    SetChangeResult result;
    result.nameChanged = change.name.has_value();
    result.passwordChanged = change.password.has_value();
    result.name = change.name ? trimmed(*change.name) : row.name;
    result.problem = checkSetChange(change);
    if (!result.check(
            SetChangeStep::Input, !result.problem, result.problem ? result.problem->message : QString())
        || !result.check(SetChangeStep::Password, deletionPasswordMatches(row, presentPassword)))
        return result;
    // The directory first: it is what every workstation reads, and a change that stops after it
    // is finished by running it again.
    if (!result.run(SetChangeStep::DirectoryRow,
            [&] { result.directoryRowsChanged = changeDirectoryRow(o, login, row, change); }))
        return result;
    if (result.directoryRowsChanged == 0) {
        result.failLastStep(directoryRowMissing(row));
        return result;
    }
    result.run(SetChangeStep::LocalRows,
        [&] { result.localRowsChanged = changeLocalRows(o, login.server, row, change); });
    return result;
}

QString setChangeText(const SetChangeResult &result, const DirectoryRow &row)
{
    const QString set = u'【' + row.name + u'(' + row.number + u')' + u'】';
    switch (result.failedStep.value_or(SetChangeStep::Input)) {
    case SetChangeStep::Input:
        if (result.failedStep)
            return result.error;
        break;
    case SetChangeStep::Password:
        return QStringLiteral("账套口令错误！账套%1未修改。").arg(set);
    case SetChangeStep::DirectoryRow:
        return QStringLiteral(
            "修改网络账套目录出错！%1\n账套%2未修改：网络账套目录和本机账套列表中都还是原来的%3。")
            .arg(result.error, set, changedParts(result));
    case SetChangeStep::LocalRows:
        return QStringLiteral(
            "网络账套目录中的账套%1已修改（%2），但本机账套列表未能修改：%3\n"
            "本机账套列表中它还是原来的%2，其他电脑看到的是新的。排除原因后请再修改一次以完成%4。")
            .arg(set, changedParts(result), result.error,
                result.passwordChanged ? QStringLiteral("（现在的口令请录入新口令）") : QString());
    }
    QStringList lines { QStringLiteral("账套%1修改成功！").arg(set) };
    if (result.nameChanged)
        lines << QStringLiteral("新的账套名称：%1（其他电脑重新列出网络账套目录后即可看到）。")
                     .arg(result.name);
    if (result.passwordChanged)
        lines << QStringLiteral("账套口令已修改，以后删除或修改此账套时请录入新口令。");
    return lines.join(u'\n');
}

} // namespace zt::accountset
