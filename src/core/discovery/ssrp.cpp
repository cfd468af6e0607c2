#include "ssrp.h"

#include "text/gbk.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QSet>
#include <QUdpSocket>

#include <algorithm>

namespace zt::discovery {

namespace {

constexpr char kClntBcastEx = 0x02;
constexpr char kClntUcastInst = 0x04;
constexpr char kSvrResp = 0x05;

// Longest instance name a CLNT_UCAST_INST request may carry, in bytes.
constexpr int kMaxInstanceNameBytes = 32;
// Longest server or instance name accepted from an answer.
constexpr int kMaxNameLength = 255;
// Bounds on what one broadcast round keeps, whatever the network sends.
constexpr int kMaxDatagrams = 512;
constexpr int kMaxNames = 1024;
// How often a wait looks at the cancellation request.
constexpr int kPollSliceMs = 50;

// Names end up in a browse answer text "...={a,b};...", and a server name is followed by
// "\instance": none of these characters may appear inside a name.
bool isAcceptableName(const QString &name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return false;
    return std::none_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7f || c == u',' || c == u'{' || c == u'}' || c == u'='
            || c == u'\\' || c == u';';
    });
}

std::optional<QString> validPort(const QString &text)
{
    if (text.isEmpty())
        return QString();
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || text.size() > 5)
        return std::nullopt;
    return text;
}

QHostAddress resolveHost(const QString &host)
{
    QHostAddress address;
    if (address.setAddress(host))
        return address;
    const QHostInfo info = QHostInfo::fromName(host);
    const auto addresses = info.addresses();
    for (const QHostAddress &candidate : addresses) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol)
            return candidate;
    }
    return addresses.isEmpty() ? QHostAddress() : addresses.first();
}

bool openSocket(QUdpSocket &socket, const QHostAddress &target)
{
    const QHostAddress local
        = target.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4;
    return socket.bind(local, 0);
}

bool fromTarget(const QNetworkDatagram &datagram, const QHostAddress &address, quint16 port, bool anyHost)
{
    if (datagram.senderPort() != port)
        return false;
    return anyHost || datagram.senderAddress().isEqual(address, QHostAddress::ConvertV4MappedToIPv4);
}

} // namespace

QString InstanceRecord::displayName() const
{
    return instanceName.compare(QLatin1StringView("MSSQLSERVER"), Qt::CaseInsensitive) == 0
        ? serverName
        : serverName + u'\\' + instanceName;
}

std::optional<QList<InstanceRecord>> parseServerResponse(const QByteArray &datagram)
{
    if (datagram.size() < 3 || datagram.at(0) != kSvrResp)
        return std::nullopt;
    const int length = static_cast<uchar>(datagram.at(1)) | (static_cast<uchar>(datagram.at(2)) << 8);
    // The length must describe the datagram exactly: shorter is truncated, longer is not ours.
    if (length == 0 || datagram.size() != 3 + length)
        return std::nullopt;
    const QByteArray data = datagram.mid(3);
    if (!data.endsWith(";;") || data.contains('\0'))
        return std::nullopt;

    // Names that are not valid GBK cannot be shown or reached: the answer is not ours to read.
    const std::optional<QString> decoded = text::fromGbkStrict(data);
    if (!decoded)
        return std::nullopt;
    const QStringList tokens = decoded->split(u';');
    QList<InstanceRecord> records;
    InstanceRecord current;
    bool inRecord = false;
    qsizetype i = 0;
    while (i < tokens.size()) {
        const QString &key = tokens.at(i);
        if (key.isEmpty()) {
            // ";;" closes a record.
            if (inRecord) {
                if (!isAcceptableName(current.serverName) || !isAcceptableName(current.instanceName))
                    return std::nullopt;
                records.append(current);
                current = {};
                inRecord = false;
            }
            ++i;
            continue;
        }
        if (i + 1 >= tokens.size())
            return std::nullopt; // a key without its value
        const QString &value = tokens.at(i + 1);
        inRecord = true;
        if (key.compare(u"ServerName", Qt::CaseInsensitive) == 0) {
            current.serverName = value;
        } else if (key.compare(u"InstanceName", Qt::CaseInsensitive) == 0) {
            current.instanceName = value;
        } else if (key.compare(u"Version", Qt::CaseInsensitive) == 0) {
            current.version = value;
        } else if (key.compare(u"tcp", Qt::CaseInsensitive) == 0) {
            const auto port = validPort(value);
            if (!port)
                return std::nullopt;
            current.tcpPort = *port;
        }
        i += 2;
    }
    if (inRecord || records.isEmpty())
        return std::nullopt;
    return records;
}

quint16 instanceLookupPort()
{
    bool ok = false;
    const uint port = qEnvironmentVariable("ZTWIZARD_RESOLVE_PORT").toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : quint16(1434);
}

int resolveInstancePort(const QString &host, const QString &instance, int timeoutMs, quint16 browserPort)
{
    if (host.isEmpty() || instance.isEmpty() || browserPort == 0)
        return 0;
    const QByteArray name = text::toGbk(instance);
    if (name.size() > kMaxInstanceNameBytes || name.contains('\0'))
        return 0;
    const QHostAddress address = resolveHost(host);
    if (address.isNull())
        return 0;

    QUdpSocket socket;
    if (!openSocket(socket, address))
        return 0;
    const QByteArray request = kClntUcastInst + name + '\0';
    if (socket.writeDatagram(request, address, browserPort) != request.size())
        return 0;

    QDeadlineTimer deadline(std::max(timeoutMs, 0));
    while (!deadline.hasExpired()) {
        if (!socket.hasPendingDatagrams()
            && !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram(65536);
            if (!fromTarget(datagram, address, browserPort, false))
                continue;
            const auto records = parseServerResponse(datagram.data());
            if (!records)
                continue;
            for (const InstanceRecord &record : *records) {
                if (record.instanceName.compare(instance, Qt::CaseInsensitive) == 0
                    && !record.tcpPort.isEmpty())
                    return record.tcpPort.toInt();
            }
        }
    }
    return 0;
}

std::optional<QStringList> queryServers(const QHostAddress &address, quint16 port,
    const std::function<bool()> &cancelled, const ListenWindow &window, SearchObserver *observer)
{
    const auto isCancelled = [&cancelled] { return cancelled && cancelled(); };
    SearchObserver quiet;
    SearchObserver &watch = observer ? *observer : quiet;
    const QByteArray request(1, kClntBcastEx);
    if (address.isNull() || port == 0) {
        watch.sent(address, port, request, QStringLiteral("no address"));
        return std::nullopt;
    }
    if (isCancelled())
        return std::nullopt;

    QUdpSocket socket;
    if (!openSocket(socket, address)) {
        watch.sent(address, port, request, socket.errorString());
        return std::nullopt;
    }
    if (socket.writeDatagram(request, address, port) != request.size()) {
        watch.sent(address, port, request, socket.errorString());
        return std::nullopt;
    }
    watch.sent(address, port, request, {});

    const bool anyHost = address == QHostAddress(QHostAddress::Broadcast);
    QStringList names;
    QSet<QString> seen;
    int datagrams = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 stopAt = window.firstAnswerMs;
    while (!isCancelled()) {
        const qint64 remaining = std::min<qint64>(stopAt, window.totalMs) - clock.elapsed();
        if (remaining <= 0)
            break;
        if (!socket.hasPendingDatagrams()
            && !socket.waitForReadyRead(static_cast<int>(std::min<qint64>(remaining, kPollSliceMs)))) {
            // The target's host saying that nobody listens there is no answer, not a failure.
            if (socket.error() == QAbstractSocket::ConnectionRefusedError)
                break;
            if (socket.error() != QAbstractSocket::SocketTimeoutError) {
                watch.finished(clock.elapsed(), socket.errorString());
                return std::nullopt;
            }
            continue;
        }
        // A flood from other senders is read and dropped, but never holds the search past its time.
        while (socket.hasPendingDatagrams() && clock.elapsed() < window.totalMs && !isCancelled()) {
            const QNetworkDatagram datagram = socket.receiveDatagram(65536);
            const QHostAddress sender = datagram.senderAddress();
            const quint16 senderPort = static_cast<quint16>(datagram.senderPort());
            // Only the target's datagrams count: others cannot end the search early.
            if (!fromTarget(datagram, address, port, anyHost)) {
                watch.dropped(sender, senderPort, datagram.data(), SearchObserver::Drop::NotFromTarget);
                continue;
            }
            if (++datagrams > kMaxDatagrams) {
                watch.dropped(sender, senderPort, datagram.data(), SearchObserver::Drop::OverLimit);
                break;
            }
            const auto records = parseServerResponse(datagram.data());
            if (!records) {
                watch.dropped(sender, senderPort, datagram.data(), SearchObserver::Drop::Malformed);
                continue;
            }
            stopAt = clock.elapsed() + window.quietMs;
            QStringList added, duplicates;
            for (const InstanceRecord &record : *records) {
                const QString name = record.displayName();
                const QString key = name.toCaseFolded();
                if (seen.contains(key) || names.size() >= kMaxNames) {
                    duplicates.append(name);
                    continue;
                }
                seen.insert(key);
                names.append(name);
                added.append(name);
            }
            watch.accepted(sender, senderPort, added, duplicates);
        }
        if (datagrams > kMaxDatagrams)
            break;
    }
    watch.finished(clock.elapsed(), {});
    if (isCancelled())
        return std::nullopt;
    // Nobody answering is a search that found no servers, not a failed one.
    return names;
}

} // namespace zt::discovery
