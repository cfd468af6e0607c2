#pragma once

// One TLS session over a transport the caller provides: the caller's push and pull functions
// carry the records, so the same session runs inside TDS pre-login packets during a TDS 7.x
// handshake and straight on the socket afterwards, or from the first byte for TDS 8.0. GnuTLS
// underneath.

#include "certificate.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace zt::tls {

class Session final
{
public:
    // Writes all of the bytes; false when the transport is broken.
    using Push = std::function<bool(const char *data, qsizetype size)>;
    // Reads up to size bytes, blocking for at least one; 0 at the end of the stream, < 0 on error.
    using Pull = std::function<qsizetype(char *data, qsizetype size)>;

    // A server session presenting identity; alpn: protocols it accepts ("tds/8.0"), none if empty.
    static std::unique_ptr<Session> server(
        const Identity &identity, const QList<QByteArray> &alpn = {}, QString *why = nullptr);
    // A client session. It verifies nothing during the handshake: the caller reads peerChain()
    // and decides (verifyChain) before it sends anything that matters. sni: the server name
    // indication, omitted for an IP address or an empty text.
    static std::unique_ptr<Session> client(
        const QString &sni, const QList<QByteArray> &alpn = {}, QString *why = nullptr);

    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // The transport may be replaced between records (after the handshake, for example).
    void setTransport(Push push, Pull pull);

    // Before the handshake: TLS 1.2 at most. A TDS 7.x handshake travels in pre-login packets,
    // where SQL Server speaks no later version and clients expect none.
    bool limitToTls12();

    // Runs the handshake to its end; false with errorText() when it fails.
    bool handshake();
    // Plain text out and in, after the handshake. read: 0 at a clean end, < 0 on error.
    bool write(const QByteArray &data);
    bool write(const char *data, qsizetype size);
    qsizetype read(char *data, qsizetype size);
    // Bytes already decrypted and waiting, so a caller polling the socket does not wait for them.
    qsizetype pending() const;
    // Sends close_notify (errors ignored).
    void bye();

    QList<QByteArray> peerChain() const; // DER, leaf first; empty for a server session
    QByteArray negotiatedAlpn() const;
    QString protocolName() const; // "TLS1.3", …
    QString errorText() const;

private:
    Session();
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace zt::tls
