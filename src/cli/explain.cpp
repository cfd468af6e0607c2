#include "explain.h"

namespace zt::cli {

namespace {

QString endpoint(const QHostAddress &address, quint16 port)
{
    QHostAddress plain = address;
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (ok)
        plain = QHostAddress(v4);
    return plain.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]:%2").arg(plain.toString()).arg(port)
        : QStringLiteral("%1:%2").arg(plain.toString()).arg(port);
}

} // namespace

QString malformedReason(const QByteArray &datagram)
{
    if (datagram.size() < 3)
        return QStringLiteral("太短（%1 字节）").arg(datagram.size());
    if (datagram.at(0) != 0x05)
        return QStringLiteral("首字节是 0x%1，不是 SVR_RESP（0x05）")
            .arg(static_cast<uchar>(datagram.at(0)), 2, 16, QLatin1Char('0'));
    const int length = static_cast<uchar>(datagram.at(1)) | (static_cast<uchar>(datagram.at(2)) << 8);
    if (length == 0 || datagram.size() != 3 + length)
        return QStringLiteral("长度字段为 %1，实际数据为 %2 字节").arg(length).arg(datagram.size() - 3);
    const QByteArray data = datagram.mid(3);
    if (!data.endsWith(";;"))
        return QStringLiteral("没有以 \";;\" 结束");
    if (data.contains('\0'))
        return QStringLiteral("含有零字节");
    return QStringLiteral("记录不完整，或名称为空、过长、含有 , { } = \\ ; 或控制字符");
}

void SearchExplainer::sent(
    const QHostAddress &address, quint16 port, const QByteArray &request, const QString &error)
{
    m_sentOk = error.isEmpty();
    if (m_sentOk)
        m_lines << QStringLiteral("已发送：CLNT_BCAST_EX（0x%1，%2 字节）到 UDP %3")
                       .arg(static_cast<uchar>(request.at(0)), 2, 16, QLatin1Char('0'))
                       .arg(request.size())
                       .arg(endpoint(address, port));
    else
        m_lines << QStringLiteral("发送失败：UDP %1：%2").arg(endpoint(address, port), error);
}

void SearchExplainer::dropped(const QHostAddress &sender, quint16 port, const QByteArray &datagram, Drop why)
{
    ++m_drops;
    QString reason;
    switch (why) {
    case Drop::NotFromTarget:
        reason = QStringLiteral("不是来自所询问的地址和端口");
        break;
    case Drop::Malformed:
        reason = malformedReason(datagram);
        break;
    case Drop::OverLimit:
        reason = QStringLiteral("超过一轮搜索读取的数据报数目上限");
        break;
    }
    m_lines << QStringLiteral("已丢弃：来自 %1 的 %2 字节：%3")
                   .arg(endpoint(sender, port))
                   .arg(datagram.size())
                   .arg(reason);
}

void SearchExplainer::accepted(
    const QHostAddress &sender, quint16 port, const QStringList &added, const QStringList &duplicates)
{
    ++m_answers;
    QString line = QStringLiteral("已收到：来自 %1 的回答：%2")
                       .arg(endpoint(sender, port), added.join(QStringLiteral(", ")));
    if (!duplicates.isEmpty())
        line += QStringLiteral("（重复，未再列出：%1）").arg(duplicates.join(QStringLiteral(", ")));
    m_lines << line;
}

void SearchExplainer::finished(qint64 elapsedMs, const QString &error)
{
    if (!error.isEmpty())
        m_lines << QStringLiteral("搜索在 %1 毫秒后因套接字错误结束：%2").arg(elapsedMs).arg(error);
    else
        m_lines << QStringLiteral("搜索在 %1 毫秒后结束：%2 个有效回答，%3 个被丢弃")
                       .arg(elapsedMs)
                       .arg(m_answers)
                       .arg(m_drops);
}

QStringList nothingAnsweredHints(bool broadcast)
{
    QStringList hints {
        QStringLiteral("没有服务器回答。请检查："),
        QStringLiteral("- 服务器上是否运行着 SQL Server Browser 服务（UDP 1434）；"),
        QStringLiteral("- 防火墙是否放行 UDP 1434（服务器上的入站和本机上的回答）；"),
    };
    if (broadcast)
        hints << QStringLiteral("- 服务器是否在另一个子网：广播不经过路由器，请直接录入服务器名称或 IP 地址，"
                                "或用 ZTWIZARD_BROWSE_TARGET=主机:1434 直接询问它；");
    else
        hints << QStringLiteral("- ZTWIZARD_BROWSE_TARGET 所指的主机和端口是否正确；");
    hints << QStringLiteral("- 也可以不经搜索，直接用 check --server 检查服务器。");
    return hints;
}

} // namespace zt::cli
