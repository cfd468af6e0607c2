#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace zt::discovery {

// One instance record of a SQL Server Resolution Protocol answer (SVR_RESP):
// ServerName;S;InstanceName;I;IsClustered;No;Version;V;tcp;PORT;np;...;;
struct InstanceRecord
{
    QString serverName;
    QString instanceName;
    QString version;
    QString tcpPort; // empty when the instance does not listen on TCP

    // "S" for the default instance MSSQLSERVER, "S\I" otherwise.
    QString displayName() const;
};

// Parses one SVR_RESP datagram (byte 0x05, little-endian 16-bit length, text). Malformed,
// truncated or oversized datagrams give nullopt.
std::optional<QList<InstanceRecord>> parseServerResponse(const QByteArray &datagram);

// The UDP port instance lookups ask: 1434, or ZTWIZARD_RESOLVE_PORT when it holds a port
// number (tests point it at their own responder on loopback).
quint16 instanceLookupPort();

// Asks host's SQL Server Browser for the TCP port of one named instance (CLNT_UCAST_INST: byte
// 0x04, the instance name, byte 0x00) and waits up to timeoutMs for the answer. Returns 0 when
// nothing usable came back.
int resolveInstancePort(
    const QString &host, const QString &instance, int timeoutMs = 1000, quint16 browserPort = 1434);

// How long one CLNT_BCAST_EX round listens for answers.
struct ListenWindow
{
    int firstAnswerMs = 2000; // give up when nothing has answered by then
    int quietMs = 500; // stop this long after the last answer
    int totalMs = 3000; // never listen longer than this
};

// Told what one CLNT_BCAST_EX round does, for explaining its outcome. Every call is optional and
// made on the searching thread.
class SearchObserver
{
public:
    enum class Drop {
        NotFromTarget, // another port, or another host than a unicast target
        Malformed, // not a complete, exact SVR_RESP with acceptable names
        OverLimit, // beyond the number of datagrams one round reads
    };

    virtual ~SearchObserver() = default;
    // The request went out (or could not: error holds the socket's text).
    virtual void sent(const QHostAddress &, quint16, const QByteArray &, const QString & /*error*/) { }
    virtual void dropped(const QHostAddress &, quint16, const QByteArray &, Drop) { }
    // A valid answer: the names it added, and those already found.
    virtual void accepted(
        const QHostAddress &, quint16, const QStringList & /*added*/, const QStringList & /*duplicates*/)
    { }
    // The round ended after elapsedMs; error holds a socket failure's text.
    virtual void finished(qint64 /*elapsedMs*/, const QString & /*error*/) { }
};

// Sends one CLNT_BCAST_EX datagram (the byte 0x02) to address:port and collects the SVR_RESP
// answers coming back from that port (and, unless address is the broadcast address, from that
// host). Answers the display names found, in order of arrival, without duplicates (none when
// nobody answered); nullopt when the socket fails or when cancelled() turned true.
std::optional<QStringList> queryServers(const QHostAddress &address, quint16 port,
    const std::function<bool()> &cancelled = {}, const ListenWindow &window = {},
    SearchObserver *observer = nullptr);

} // namespace zt::discovery
