#pragma once

// A TCP relay on 127.0.0.1 standing where someone on the network between the wizard and its
// server would stand: it sees every byte, may change the pre-login negotiation, may pose as the
// server with a certificate of its own, or may break the first connection. Tests run an operation
// through it and then ask the analysis functions below what the recorded bytes gave away.
//
// Each connection is served on its own thread. Every wait is bounded: reads and writes poll in
// steps of 100 ms that also watch for the relay's end, so the destructor stops and joins
// everything within about that time (a connection upstream still being made: at most 10 s).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zt::test {

class RoadRelay final
{
public:
    enum class Mode {
        // Forwards both ways unchanged, recording every byte.
        Observe,
        // As Observe, but the ENCRYPTION option of the client's pre-login and of the server's
        // answer reads "not supported" (0x02) when it arrives at the other side.
        Downgrade,
        // Poses as the server: answers the pre-login itself (encryption off, so the login travels
        // in TLS), completes the TLS handshake with a certificate for CN=attacker.invalid and
        // decrypts the LOGIN7 that follows. Nothing goes upstream. A client opening with TLS
        // (TDS 8.0) gets the same certificate on the bare socket.
        Impostor,
        // Resets the first connection as soon as its first bytes arrive; observes later ones.
        ResetFirst,
    };

    // Relays to 127.0.0.1:upstreamPort. port() is 0 when the relay could not listen.
    RoadRelay(Mode mode, int upstreamPort);
    ~RoadRelay();
    RoadRelay(const RoadRelay &) = delete;
    RoadRelay &operator=(const RoadRelay &) = delete;

    int port() const { return m_port; }
    // "127.0.0.1,PORT", as a user types it.
    QString serverName() const { return QStringLiteral("127.0.0.1,%1").arg(m_port); }
    Mode mode() const { return m_mode; }

    // A connection without traffic either way for this long is closed (Observe, Downgrade).
    void setIdleTimeoutMs(int ms) { m_idleTimeoutMs = ms; }

    // Connections accepted so far, those still open, and a wait until none is open (false when
    // one still is after timeoutMs). Read the records after the wait: a client may see its
    // connection end before the relay's thread has noted why.
    int connections() const { return m_accepted; }
    int openConnections() const { return m_open; }
    bool waitUntilQuiet(int timeoutMs = 10000) const;

    // What each side sent, per connection in the order accepted, exactly as it arrived at the
    // relay (before any rewriting). Impostor: serverBytes are the relay's own answers.
    QList<QByteArray> clientBytes() const;
    QList<QByteArray> serverBytes() const;
    // Downgrade: pre-login messages whose ENCRYPTION option was rewritten.
    int rewrites() const { return m_rewrites; }

    // Impostor: the plain text of the first TDS message after the pre-login, as the client sent
    // it (the LOGIN7 packets with their headers); empty when none was recovered. A client that
    // sent it without TLS gives it up just the same.
    QByteArray recoveredLogin() const;
    // Impostor: a client broke off during the TLS handshake, or closed after it without sending a
    // login (a client that checks the certificate only once the handshake is done).
    bool handshakeRefused() const { return m_handshakeRefused; }
    bool handshakeCompleted() const { return m_handshakeCompleted; }
    // One line per noteworthy event ("1: handshake failed: …"), for failure messages.
    QStringList log() const;

private:
    struct Record
    {
        QByteArray client;
        QByteArray server;
    };
    void acceptLoop();
    void serve(int index, int client);
    void observe(int index, int client, bool downgrade);
    void impersonate(int index, int client);
    void resetOnFirstBytes(int index, int client);

    void recordClient(int index, const QByteArray &bytes);
    void recordServer(int index, const QByteArray &bytes);
    void note(int index, const QString &what);

    const Mode m_mode;
    const int m_upstreamPort;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping { false };
    std::atomic<int> m_idleTimeoutMs { 60000 };
    std::atomic<int> m_accepted { 0 };
    std::atomic<int> m_open { 0 };
    std::atomic<int> m_rewrites { 0 };
    std::atomic<bool> m_handshakeRefused { false };
    std::atomic<bool> m_handshakeCompleted { false };

    mutable std::mutex m_mutex; // guards the records, the recovered login and the log
    QList<Record> m_records;
    QByteArray m_recoveredLogin;
    QStringList m_log;

    struct Identity;
    std::unique_ptr<Identity> m_identity; // Impostor: the certificate it presents

    std::thread m_acceptThread;
    std::vector<std::thread> m_connectionThreads; // the accept thread's own until it is joined
};

// Whether the secret can be read from the bytes: in the clear as UTF-8 or UTF-16LE, or in the
// LOGIN7 password form (each UTF-16LE byte with its halves swapped, then XORed with 0xA5). Also
// searched in the payloads of TDS packets joined, so a secret split by a packet header counts.
bool revealsSecret(const QByteArray &bytes, const QString &secret);
// Whether statement text can be read from the bytes: UTF-16LE or UTF-8 in the clear, also across
// packet headers.
bool revealsText(const QByteArray &bytes, const QString &text);

// The types of the TDS packets at packet boundaries of one connection's stream, in order. TLS
// records on the bare socket (first byte 0x14-0x17, version 3.x) are stepped over and listed as
// TlsRecord; the walk stops where the stream looks like neither.
constexpr int TlsRecord = -1;
QList<int> packetTypes(const QByteArray &stream);
// A Sybase TDS 5.0 (or 4.2) LOGIN packet (type 0x02) at a packet boundary of the client's stream.
bool carriesTds50Login(const QByteArray &clientBytes);
// A LOGIN7 packet (type 0x10) at a packet boundary: the login travelled outside TLS.
bool carriesClearLogin7(const QByteArray &clientBytes);
// The ENCRYPTION option of the pre-login message (client's 0x12 or server's 0x04) that starts the
// stream; -1 when the stream does not start with one.
int preloginEncryption(const QByteArray &stream);

} // namespace zt::test
