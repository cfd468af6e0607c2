#include "guidance.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace zt::guidance {

namespace {

struct Rule
{
    QStringView says; // a piece of SQL Server's or the driver's text
    const char16_t *line;
};

const QString Unreachable = QStringLiteral(
    "服务器没有回答：请检查服务器名称和端口（写作“主机,端口”）、服务器是否已经启动、防火墙是否放行它的端口"
    "（默认实例是 TCP 1433）；命名实例（主机\\实例名）还需要服务器上的 SQL Server Browser 服务（UDP "
    "1434）在运行。");

// SQL Server's texts (18456 and the others), as FreeTDS and the embedded server relay them, the
// first that appears deciding (4060 comes with an 18456 after it); then the driver's own words for
// a server it could not talk to.
constexpr Rule Rules[] = {
    { u"Login failed. The login is from an untrusted domain",
        u"服务器不接受这个集成登录（18452）：请改用“使用指定的用户和密码”，以 SQL Server 登录名登录。" },
    { u"Cannot open database",
        u"这个登录名打不开这个数据库（4060）：数据库可能已被删除或改名，或登录名没有访问它的权限；请服务器管"
        u"理员检查。" },
    { u"Login failed for user",
        u"登录名或口令不对（18456）；也可能这台服务器只允许 Windows 身份验证，没有启用 SQL Server 身份验证。"
        u"请核对登录名和口令，或请服务器管理员检查服务器的身份验证模式。" },
    { u"CREATE DATABASE permission denied",
        u"这个登录名没有创建数据库的权限（262）：请服务器管理员把它加入 dbcreator "
        u"服务器角色，或改用有此权限的登录名。" },
    { u"CREATE DATABASE failed",
        u"服务器没能创建数据库（1802）：登录名需要 dbcreator "
        u"服务器角色，服务器的数据文件夹也要能写入；请服务器管理员检查。" },
};

constexpr QStringView DriverSaysUnreachable[] = {
    u"Adaptive Server is unavailable or does not exist",
    u"Adaptive Server connection failed",
    u"Unexpected EOF from the server",
    u"Server is unavailable or does not exist",
    u"Read from the server failed",
    u"Write to the server failed",
    u"did not answer.",
    u"Adaptive Server connection timed out",
};

// Whether /etc/krb5.conf names a default ticket cache of its own.
bool configuredCacheElsewhere()
{
    QFile conf(QStringLiteral("/etc/krb5.conf"));
    return conf.open(QIODevice::ReadOnly) && conf.readAll().contains("default_ccache_name");
}

} // namespace

QString lineFor(const QString &failureText)
{
    for (const Rule &rule : Rules) {
        if (failureText.contains(rule.says, Qt::CaseInsensitive))
            return QString::fromUtf16(rule.line);
    }
    for (const QStringView says : DriverSaysUnreachable) {
        if (failureText.contains(says, Qt::CaseInsensitive))
            return Unreachable;
    }
    return {};
}

QString withGuidance(const QString &failureText)
{
    const QString line = lineFor(failureText);
    if (line.isEmpty() || failureText.contains(line))
        return failureText;
    return failureText + u'\n' + line;
}

QString integratedLoginProblem(const QString &host)
{
    const QString advice = QStringLiteral("或改用“使用指定的用户和密码”，以 SQL Server 登录名登录。");
    if (!QHostAddress(host).isNull()) {
        return QStringLiteral(
                   "集成登录（Windows NT 集成安全设置）在本机经 Kerberos 进行，需要服务器的主机名，"
                   "不能用 IP 地址“%1”：请改写服务器的主机名，")
                   .arg(host)
            + advice;
    }
    const QString noTicket
        = QStringLiteral("集成登录（Windows NT 集成安全设置）在本机经 Kerberos 进行，需要先取得票据："
                         "请运行 kinit 用户名@域名（软件包 krb5-user），")
        + advice;
    // klist -s answers for any kind of ticket cache (a file, a keyring, KCM).
    const QString klist = QStandardPaths::findExecutable(QStringLiteral("klist"));
    if (!klist.isEmpty()) {
        QProcess check;
        check.start(klist, { QStringLiteral("-s") });
        if (check.waitForFinished(3000) && check.exitStatus() == QProcess::NormalExit) {
            return check.exitCode() == 0 ? QString() : noTicket;
        }
    }
    // Without klist: the cache KRB5CCNAME names, else the default file, unless the system's
    // Kerberos configuration names another default (a keyring, KCM), which is left to the driver.
    QString cache = qEnvironmentVariable("KRB5CCNAME");
    if (cache.isEmpty() && configuredCacheElsewhere())
        return {};
    if (cache.isEmpty())
        cache = QStringLiteral("FILE:/tmp/krb5cc_%1").arg(::getuid());
    if (cache.startsWith(QLatin1StringView("FILE:")) || !cache.contains(u':')) {
        const QString path = cache.startsWith(QLatin1StringView("FILE:")) ? cache.mid(5) : cache;
        if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0)
            return noTicket;
    }
    return {};
}

} // namespace zt::guidance
