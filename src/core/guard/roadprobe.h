#pragma once

// A look at the road to a SQL Server that sends no secret: a TDS pre-login asking for
// encryption, then the TLS handshake carried in pre-login packets, which yields the server's
// certificate chain; the connection is closed before any login. When the server ends the
// connection instead of answering, a second look tries TLS from the first byte (TDS 8.0, strict
// encryption).

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace zt::guard {

struct RoadProbe
{
    enum class Outcome {
        Encrypted, // answered the pre-login and completed a TLS handshake: chain holds its certificates
        NotSupported, // answered ENCRYPT_NOT_SUP: the server (or something on the way) offers no encryption
        Strict, // speaks only TDS 8.0: TLS before any TDS byte
        NoAnswer, // took the connection and ended it (or answered nonsense) before a pre-login answer
        Unreachable, // no connection at all: name unknown, refused, or no answer within the time
        HandshakeFailed, // offered encryption but its TLS handshake failed
    };

    Outcome outcome = Outcome::Unreachable;
    std::uint8_t encryption = 0xff; // the ENCRYPTION byte of the pre-login answer, if there was one
    QList<QByteArray> chain; // DER, leaf first
    QString detail; // the system's or the TLS library's words for a failure
};

// Looks at host:port, all of it within timeoutMs (the window waits for it).
RoadProbe probeRoad(const QString &host, int port, int timeoutMs = 8000);

// The pre-login message this system sends in a probe, and the ENCRYPTION byte of an answer's
// payload (0xff when it has none); public for the tests.
QByteArray preloginRequest(std::uint8_t encryption);
std::uint8_t answeredEncryption(const QByteArray &payload);

} // namespace zt::guard
