// The words of the guard's refusals: what happened, that nothing was sent, and what to do.

#include "roadguard.h"

namespace zt::guard {

namespace {

QString when(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

// SQL Server's own certificate when none is provisioned, made anew at every start of the service.
bool fallbackCertificate(const tls::CertificateInfo &info)
{
    return info.subject.contains(QLatin1StringView("SSL_Self_Signed_Fallback"), Qt::CaseInsensitive);
}

const QString NothingSent = QStringLiteral("登录名、口令和任何数据都没有发送。");

// What is trusted for a chain: the authority that issued the server's certificate, which must
// then name the server.
QString authorityText(const Refusal &refusal)
{
    if (refusal.chain.size() < 2)
        return {};
    tls::CertificateInfo authority;
    if (!tls::describe(refusal.chain.constLast(), authority))
        return {};
    return QStringLiteral(
        "\n\n信任的将是签发这个证书的机构（其后证书上的名称必须与服务器名称相符）：\n主题：%1\n"
        "SHA-256 指纹：%2")
        .arg(authority.subject, authority.sha256);
}

} // namespace

QString certificateText(const tls::CertificateInfo &info)
{
    QString text
        = QStringLiteral("主题：%1\n颁发者：%2\n有效期：%3 至 %4\nSHA-256 指纹：%5")
              .arg(info.subject, info.issuer, when(info.notBefore), when(info.notAfter), info.sha256);
    if (fallbackCertificate(info)) {
        text += QStringLiteral(
            "\n\n这是 SQL Server 在没有配置证书时自己生成的证书，服务每次重新启动都会换一个新的，"
            "届时本机会拒绝连接，需要再次核对。请服务器管理员为 SQL Server 配置一个固定的证书"
            "（Windows：SQL Server 配置管理器 → SQL Server 网络配置 → 协议 → 证书；"
            "Linux：mssql-conf set network.tlscert 和 network.tlskey）。");
    }
    return text;
}

QString Refusal::message() const
{
    const QString server = QStringLiteral("服务器“%1”").arg(serverName);
    switch (kind) {
    case Kind::UnknownCertificate:
        return server + QStringLiteral("出示的证书不能验证：%1。\n\n").arg(reason) + certificateText(info)
            + QStringLiteral("\nSHA-1 指纹（Windows 证书管理器中的“指纹”）：%1\n\n")
                  .arg(tls::sha1Fingerprint(certificate))
            + NothingSent
            + QStringLiteral(
                "请向服务器管理员核对上面的指纹。确认无误后，在服务器设置页连接这台服务器时选择信任"
                "这个证书，或运行：ztaccountset login --server \"%1\" --accept-new-certificate")
                  .arg(serverName);
    case Kind::ChangedCertificate:
        return server
            + QStringLiteral("出示的证书与以前信任的不同，已拒绝连接。\n以前信任的证书 SHA-256 指纹：%1\n"
                             "现在出示的证书 SHA-256 指纹：%2\n\n")
                  .arg(trustedSha256, info.sha256)
            + certificateText(info) + QStringLiteral("\n\n") + NothingSent
            + QStringLiteral(
                "这可能是有人冒充这台服务器，也可能是服务器换了证书（SQL Server 没有配置证书时，"
                "每次启动都会生成新证书）。请向服务器管理员索取新证书的指纹：在服务器设置页重新连接时"
                "输入它，或运行：ztaccountset login --server \"%1\" --trust-certificate <管理员给出的指纹>")
                  .arg(serverName);
    case Kind::Unencrypted:
        return server
            + QStringLiteral("不提供加密连接（也可能是途中有人去掉了加密），登录名、口令和所有数据都会以明文"
                             "在网络上传送，已拒绝连接。")
            + NothingSent
            + QStringLiteral(
                "请服务器管理员为 SQL Server 配置证书并启用加密。只有在完全可信的网络中，才可在"
                "服务器设置页允许不加密地连接这台服务器，或运行：ztaccountset login --server \"%1\" "
                "--allow-unencrypted")
                  .arg(serverName);
    case Kind::ExpiredCertificate:
        return server + QStringLiteral("出示的证书已经过期（有效期至 %1）。").arg(when(info.notAfter))
            + NothingSent + QStringLiteral("请服务器管理员为 SQL Server 换一个有效的证书。\n\n")
            + certificateText(info);
    case Kind::Strict:
        return server
            + QStringLiteral("只接受 TDS 8.0 严格加密（strict）的连接，本程序使用的 FreeTDS 驱动（1.3）还不能"
                             "这样连接。")
            + NothingSent
            + QStringLiteral(
                "请服务器管理员为本机的连接把“强制严格加密”（Force Strict Encryption）改为“强制加密”"
                "（Force Encryption）：那样连接同样全程加密，证书同样受检查。");
    case Kind::NoAnswer:
        return server + QStringLiteral("没有正常回答：连接被断开、超时，或回答不完整。") + NothingSent
            + QStringLiteral("可能是服务器的连接数已满、防火墙或网络设备断开了连接，也可能是途中有人干扰。"
                             "请稍后再试；如果一直如此，请联系服务器管理员。");
    case Kind::HandshakeFailed:
        return server + QStringLiteral("的加密握手失败（%1）。").arg(detail) + NothingSent
            + QStringLiteral("服务器的加密设置可能过旧（例如只支持 TLS 1.0），请联系服务器管理员。");
    }
    return {};
}

Question questionFor(const Refusal &refusal)
{
    const QString server = QStringLiteral("服务器“%1”").arg(refusal.serverName);
    const QString meaning = QStringLiteral(
        "信任这个证书，就是确认它确实属于这台服务器：以后连接“%1”时只接受这个证书，登录名和口令只在加密后"
        "发给出示它的服务器；证书一旦更换，本机会拒绝连接并告诉您。")
                                .arg(refusal.serverName);
    switch (refusal.kind) {
    case Refusal::Kind::UnknownCertificate:
        return { QStringLiteral("服务器证书"),
            server
                + QStringLiteral("出示的证书不能验证：%1。登录名和口令还没有发送。\n\n").arg(refusal.reason)
                + certificateText(refusal.info) + authorityText(refusal) + QStringLiteral("\n\n") + meaning
                + QStringLiteral(
                    "请先向服务器管理员核对指纹。\n\n按“确定”信任这个证书并继续连接，按“取消”不连接。") };
    case Refusal::Kind::ChangedCertificate:
        return { QStringLiteral("服务器证书"),
            server
                + QStringLiteral("出示的证书与以前信任的不同，已拒绝连接，登录名和口令没有发送。\n以前信任的"
                                 "证书 SHA-256 指纹：%1\n"
                                 "现在出示的证书 SHA-256 指纹：%2\n\n")
                      .arg(refusal.trustedSha256, refusal.info.sha256)
                + certificateText(refusal.info)
                + QStringLiteral(
                    "\n\n这可能是有人冒充这台服务器，也可能是服务器换了证书。请向服务器管理员索取新证书的 "
                    "SHA-256 "
                    "指纹，把它输入或粘贴在下面，新证书才会被信任；不要照抄上面显示的指纹。按“取消”不连接。"),
            true };
    case Refusal::Kind::Unencrypted:
        return { QStringLiteral("未加密的连接"),
            server
                + QStringLiteral(
                    "不提供加密连接（也可能是途中有人去掉了加密）。不加密时，登录名、口令和所有数据都以明文"
                    "在网络上传送，途中任何人都能看到。登录名和口令还没有发送。\n\n"
                    "请服务器管理员为 SQL Server 配置证书并启用加密。只有在完全可信的网络中，才按“确定”允许"
                    "以后不加密地连接这台服务器；按“取消”不连接。") };
    default:
        break;
    }
    return {};
}

} // namespace zt::guard
