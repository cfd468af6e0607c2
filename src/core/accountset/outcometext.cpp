#include "outcometext.h"

#include "backup.h"

namespace zt::accountset::outcome {

QString chooseServerName()
{
    return QStringLiteral("请选择或录入SQL服务器名称！");
}

QString serverNameEmpty()
{
    return QStringLiteral("服务器名称不可为空！");
}

QString created()
{
    return QStringLiteral("账套创建成功");
}

QString creationFailed(const QString &error)
{
    return QStringLiteral("新增账套出错！") + error;
}

QString sampleCreated()
{
    return QStringLiteral("『TOVRA例子账套』创建成功！");
}

QString alreadyListedLocally()
{
    return QStringLiteral("已经存在服务器名称和账套名称相同的账套！");
}

QString takenOver()
{
    return QStringLiteral("网络账套选择引入成功");
}

QString takeOverFailed(const QString &error)
{
    return QStringLiteral("选择网络账套出错！") + error;
}

QString wrongSetPassword()
{
    return QStringLiteral("账套口令错误！");
}

QString deletionFailed(const QString &error)
{
    return QStringLiteral("账套删除错误!") + error;
}

QString deleted(const QString &backup)
{
    return QStringLiteral("此账套已成功删除！")
        + (backup.isEmpty() ? QString() : QStringLiteral("\n备份文件：") + backup);
}

QString backupFailed(const QString &error)
{
    return QStringLiteral("账套备份出错！") + error;
}

QString backedUp(const QString &server, const QString &location)
{
    return QStringLiteral("账套备份成功！\n") + backupFileText(server, location);
}

QString restoreFailed(const QString &error)
{
    return QStringLiteral("恢复账套出错！") + error;
}

QString restored()
{
    return QStringLiteral("账套恢复成功！");
}

} // namespace zt::accountset::outcome
