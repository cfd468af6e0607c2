// What a connection's encryption comes to: the answer to its pre-login, the TLS handshake, and
// the tally of how each connection was protected.
#include "connection.h"

#include "loginpackets.h"
#include "tls/session.h"

namespace zt::tds {

void Connection::run()
{
    serve();
    switch (m_secured) {
    case Secured::Clear:
        ++m_traffic.inClear;
        break;
    case Secured::LoginOnly:
        ++m_traffic.encryptedLogin;
        break;
    case Secured::Full:
        ++m_traffic.encryptedFully;
        break;
    case Secured::Refused:
        ++m_traffic.refusedEncryption;
        break;
    }
}

bool Connection::prelogin(const QByteArray &message)
{
    // Inside TDS 8.0's TLS the pre-login negotiates nothing more.
    if (m_channel.encrypted())
        return m_channel.write(PacketType::Reply, preloginReply(message, Encryption::NotSupported));
    const Negotiation negotiation = negotiate(m_settings.encryption, preloginEncryption(message));
    if (m_settings.encryption == EncryptionMode::Strict) {
        m_secured = Secured::Refused;
        return false;
    }
    if (!m_channel.write(PacketType::Reply, preloginReply(message, negotiation.answer)))
        return false;
    switch (negotiation.protection) {
    case Protection::None:
        return true;
    case Protection::Refused:
        m_secured = Secured::Refused;
        return false;
    case Protection::LoginOnly:
        if (!startTls(true))
            return false;
        m_secured = Secured::LoginOnly;
        m_channel.clearAfterNextPacket();
        return true;
    case Protection::Full:
        return startTls(true);
    }
    return false;
}

bool Connection::startTls(bool inPrelogin)
{
    // TDS 7.x wraps its handshake in pre-login packets and speaks TLS 1.2 at most there; TDS 8.0
    // names its protocol, though a client that names none is served too.
    QList<QByteArray> alpn;
    if (!inPrelogin)
        alpn << QByteArrayLiteral("tds/8.0");
    std::unique_ptr<tls::Session> session = tls::Session::server(m_settings.identity, alpn);
    if (!session || (inPrelogin && !session->limitToTls12())
        || !m_channel.startTls(std::move(session), inPrelogin)) {
        m_secured = Secured::Refused;
        finish();
        return false;
    }
    m_secured = Secured::Full;
    return true;
}

} // namespace zt::tds
