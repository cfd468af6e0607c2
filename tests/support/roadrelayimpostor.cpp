// RoadRelay posing as the server: the pre-login answered, the TLS handshake run with its own
// certificate, the login read in plain text.

#include "roadrelay.h"

#include "roadrelaywire.h"
#include "tls/session.h"

namespace zt::test {

using namespace road;

namespace {

// The answer of a server that has a certificate but encrypts only the login: SQL Server 2019's
// version, encryption off, no instance check, no multiple active result sets.
QByteArray impostorPreloginReply()
{
    const QList<std::pair<std::uint8_t, QByteArray>> options {
        { 0x00, QByteArray("\x0f\x00\x07\xd0\x00\x00", 6) },
        { EncryptionToken, QByteArray(1, char(EncryptOff)) },
        { 0x02, QByteArray(1, '\0') },
        { 0x03, QByteArray() },
        { 0x04, QByteArray(1, '\0') },
    };
    QByteArray table;
    QByteArray values;
    const qsizetype start = options.size() * 5 + 1;
    for (const auto &[token, value] : options) {
        const qsizetype offset = start + values.size();
        table.append(char(token)).append(char(offset >> 8)).append(char(offset & 0xff));
        table.append(char(value.size() >> 8)).append(char(value.size() & 0xff));
        values.append(value);
    }
    return packet(Reply, table.append(char(0xff)).append(values));
}

} // namespace

void RoadRelay::impersonate(int index, int client)
{
    if (!m_identity || m_identity->identity.isNull())
        return note(index, QStringLiteral("no certificate to present"));
    Wire wire(
        client, m_stopping, [&](const QByteArray &b) { recordClient(index, b); },
        [&](const QByteArray &b) { recordServer(index, b); });
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ImpostorWholeMs);
    // Every read may wait a step, none beyond the whole conversation's end.
    const Source raw = [&](char *to, qsizetype size) {
        wire.setDeadline(std::min(end, Clock::now() + std::chrono::milliseconds(StepMs)));
        return wire.read(to, size);
    };
    const tls::Session::Push rawPush
        = [&](const char *data, qsizetype size) { return wire.write(data, size); };

    QByteArray first;
    if (!readExactly(raw, first, 1))
        return note(index, QStringLiteral("closed before a pre-login"));
    wire.unread(first);
    const bool tlsFirst = first.at(0) == 0x16; // a TLS handshake record: TDS 8.0
    QString why;
    const std::unique_ptr<tls::Session> session = tls::Session::server(m_identity->identity,
        tlsFirst ? QList<QByteArray> { QByteArrayLiteral("tds/8.0") } : QList<QByteArray> {}, &why);
    if (!session)
        return note(index, QStringLiteral("no TLS session: %1").arg(why));

    auto recovered = [&](const QByteArray &login, const QString &how) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_recoveredLogin.isEmpty())
                m_recoveredLogin = login;
        }
        note(index, how);
    };
    auto handshake = [&] {
        if (session->handshake()) {
            m_handshakeCompleted = true;
            note(index, QStringLiteral("handshake completed (%1)").arg(session->protocolName()));
            return true;
        }
        m_handshakeRefused = true;
        note(index, QStringLiteral("handshake failed: %1").arg(session->errorText()));
        return false;
    };
    const Source decrypted = [&](char *to, qsizetype size) { return session->read(to, size); };
    QByteArray message;

    if (tlsFirst) {
        // TLS on the bare socket from the first byte; the pre-login follows inside it.
        session->setTransport(rawPush, raw);
        if (!handshake())
            return;
        if (readMessage(decrypted, message) && std::uint8_t(message.at(0)) == Prelogin) {
            if (!session->write(impostorPreloginReply()))
                return note(index, QStringLiteral("broken after the pre-login"));
            readMessage(decrypted, message);
        }
        if (message.isEmpty()) {
            m_handshakeRefused = true;
            return note(index, QStringLiteral("closed after the handshake without a login"));
        }
        return recovered(message, QStringLiteral("login recovered inside TLS"));
    }

    if (!readMessage(raw, message) || std::uint8_t(message.at(0)) != Prelogin)
        return note(index, QStringLiteral("no pre-login"));
    if (!wire.write(impostorPreloginReply()))
        return note(index, QStringLiteral("broken after the pre-login"));
    QByteArray next;
    if (!readExactly(raw, next, Header))
        return note(index, QStringLiteral("closed after the pre-login"));
    wire.unread(next);
    if (std::uint8_t(next.at(0)) == Login7) {
        // A client that refused encryption altogether sends its login as it is.
        readMessage(raw, message);
        return recovered(message, QStringLiteral("login in the clear"));
    }
    if (std::uint8_t(next.at(0)) != Prelogin)
        return note(index, QStringLiteral("neither TLS nor a login after the pre-login"));

    // The handshake's records travel as the payload of pre-login packets, both ways.
    QByteArray inbound;
    const Source unwrap = [&](char *to, qsizetype size) -> qsizetype {
        if (inbound.isEmpty()) {
            QByteArray p;
            if (!readPacket(raw, p))
                return p.isEmpty() ? 0 : -1;
            if (std::uint8_t(p.at(0)) != Prelogin)
                return -1;
            inbound = p.mid(Header);
        }
        const qsizetype n = std::min(size, inbound.size());
        std::copy_n(inbound.constData(), n, to);
        inbound.remove(0, n);
        return n;
    };
    const tls::Session::Push wrap = [&](const char *data, qsizetype size) {
        constexpr qsizetype MaxPayload = 4096 - Header;
        for (qsizetype at = 0; at < size; at += MaxPayload) {
            if (!wire.write(packet(Prelogin, QByteArray(data + at, std::min(MaxPayload, size - at)))))
                return false;
        }
        return true;
    };
    // As SQL Server: TLS 1.2 inside pre-login packets. A client ending a 1.3 handshake with its own
    // Finished may hold that record back and send it with the login, outside the packets.
    if (!session->limitToTls12())
        return note(index, QStringLiteral("TLS 1.2 refused: %1").arg(session->errorText()));
    session->setTransport(wrap, unwrap);
    if (!handshake())
        return;
    // From here the records go on the bare socket; the first holds the LOGIN7 (packets and all).
    wire.unread(std::exchange(inbound, {}));
    session->setTransport(rawPush, raw);
    if (!readMessage(decrypted, message) && message.isEmpty()) {
        m_handshakeRefused = true;
        return note(index, QStringLiteral("closed after the handshake without a login"));
    }
    recovered(message, QStringLiteral("login recovered inside TLS"));
}

} // namespace zt::test
