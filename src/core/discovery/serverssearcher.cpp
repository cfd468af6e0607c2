#include "serverssearcher.h"

#include "browse.h"

#include <QHostInfo>

#include <exception>

namespace zt::discovery {

namespace {

constexpr quint16 kBrowserPort = 1434;

} // namespace

BrowseTarget BrowseTarget::fromText(const QString &text)
{
    BrowseTarget target;
    if (text.compare(u"off", Qt::CaseInsensitive) == 0)
        return target;
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return target;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || host.isEmpty())
        return target;
    target.kind = Kind::Host;
    target.host = host;
    target.port = static_cast<quint16>(port);
    return target;
}

BrowseTarget BrowseTarget::fromEnvironment()
{
    if (!qEnvironmentVariableIsSet("ZTWIZARD_BROWSE_TARGET")) {
        BrowseTarget target;
        target.kind = Kind::Broadcast;
        target.port = kBrowserPort;
        return target;
    }
    return fromText(qEnvironmentVariable("ZTWIZARD_BROWSE_TARGET"));
}

TServersSearcher::TServersSearcher(LocalServers localServers, QObject *parent)
    : QThread(parent)
    , m_localServers(std::move(localServers))
{
    setObjectName(QStringLiteral("TServersSearcher"));
}

TServersSearcher::~TServersSearcher()
{
    requestInterruption();
    wait();
}

std::optional<QString> TServersSearcher::browse(const BrowseTarget &target, const QStringList &localServers,
    const std::function<bool()> &cancelled, const ListenWindow &window, SearchObserver *observer)
{
    QStringList names = localServers;
    if (target.kind != BrowseTarget::Kind::Off) {
        QHostAddress address;
        if (target.kind == BrowseTarget::Kind::Broadcast) {
            address = QHostAddress(QHostAddress::Broadcast);
        } else if (!address.setAddress(target.host)) {
            const QHostInfo info = QHostInfo::fromName(target.host);
            if (!info.addresses().isEmpty())
                address = info.addresses().constFirst();
        }
        const auto found = queryServers(address, target.port, cancelled, window, observer);
        if (!found)
            return std::nullopt;
        for (const QString &name : *found) {
            if (!names.contains(name, Qt::CaseInsensitive))
                names.append(name);
        }
    }
    return composeBrowseText(names);
}

void TServersSearcher::run()
{
    try {
        const QStringList local = m_localServers ? m_localServers() : QStringList();
        const auto text
            = browse(BrowseTarget::fromEnvironment(), local, [this] { return isInterruptionRequested(); });
        if (text && !isInterruptionRequested())
            emit browsed(*text);
    } catch (const std::exception &) {
        // The search reports nothing to the user: the list simply stays as it was.
    }
}

} // namespace zt::discovery
