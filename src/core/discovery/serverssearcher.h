#pragma once

#include "ssrp.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>
#include <optional>

namespace zt::discovery {

// Where the network search sends its request, read from ZTWIZARD_BROWSE_TARGET: unset means the
// broadcast address on port 1434, "off" means no network search, "host:port" (or "[v6]:port")
// names one responder. Any other value is read as "off", so a mistyped setting sends nothing.
struct BrowseTarget
{
    enum class Kind { Off, Broadcast, Host };
    Kind kind = Kind::Off;
    QString host;
    quint16 port = 0;

    static BrowseTarget fromText(const QString &text);
    static BrowseTarget fromEnvironment();
};

// The background search for SQL Servers behind page 1's server box. It touches no widget: the
// browse answer text it produces is handed to the receivers of browsed(); the thread's
// finished() marks the end of the search. The servers of this computer its caller names (the
// embedded instances) come first, then the servers that answered on the network.
class TServersSearcher final : public QThread
{
    Q_OBJECT

public:
    // The names listed first, asked on the search's own thread.
    using LocalServers = std::function<QStringList()>;

    explicit TServersSearcher(LocalServers localServers, QObject *parent = nullptr);
    ~TServersSearcher() override; // asks the search to stop and waits for the thread
    Q_DISABLE_COPY_MOVE(TServersSearcher)

    // The whole search on the calling thread: the browse answer text (the local servers alone
    // when nobody answered), or nullopt when the network search could not run (socket error) or
    // was cancelled.
    static std::optional<QString> browse(const BrowseTarget &target, const QStringList &localServers,
        const std::function<bool()> &cancelled = {}, const ListenWindow &window = {},
        SearchObserver *observer = nullptr);

signals:
    // Emitted on the worker thread when the search produced a browse answer text.
    void browsed(const QString &browseText);

protected:
    void run() override;

private:
    LocalServers m_localServers;
};

} // namespace zt::discovery
