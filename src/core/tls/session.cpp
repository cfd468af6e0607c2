#include "session.h"

#include <QHostAddress>

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <cerrno>
#include <vector>

namespace zt::tls {

struct Session::Private
{
    gnutls_session_t session = nullptr;
    gnutls_certificate_credentials_t credentials = nullptr;
    Push push;
    Pull pull;
    QString error;
    bool handshaken = false;

    ~Private()
    {
        if (session)
            gnutls_deinit(session);
        if (credentials)
            gnutls_certificate_free_credentials(credentials);
    }

    bool check(int rc, const char *what)
    {
        if (rc >= 0)
            return true;
        error = QStringLiteral("%1: %2").arg(QLatin1StringView(what), QString::fromUtf8(gnutls_strerror(rc)));
        return false;
    }

    static ssize_t pullRecords(gnutls_transport_ptr_t self, void *data, size_t size)
    {
        auto *d = static_cast<Private *>(self);
        const qsizetype got = d->pull ? d->pull(static_cast<char *>(data), qsizetype(size)) : -1;
        if (got < 0) {
            gnutls_transport_set_errno(d->session, EIO);
            return -1;
        }
        return ssize_t(got);
    }

    static ssize_t pushRecords(gnutls_transport_ptr_t self, const void *data, size_t size)
    {
        auto *d = static_cast<Private *>(self);
        if (!d->push || !d->push(static_cast<const char *>(data), qsizetype(size))) {
            gnutls_transport_set_errno(d->session, EIO);
            return -1;
        }
        return ssize_t(size);
    }

    // The pull function blocks until bytes come (its own timeouts end a stalled peer); GnuTLS
    // asks this only where it would otherwise look at a descriptor of its own.
    static int pullReady(gnutls_transport_ptr_t, unsigned int) { return 1; }

    bool start(unsigned flags, const QList<QByteArray> &alpn)
    {
        if (!check(gnutls_certificate_allocate_credentials(&credentials), "credentials")
            || !check(gnutls_init(&session, flags), "session")
            || !check(gnutls_set_default_priority(session), "priorities"))
            return false;
        gnutls_transport_set_ptr(session, this);
        gnutls_transport_set_pull_function(session, pullRecords);
        gnutls_transport_set_push_function(session, pushRecords);
        gnutls_transport_set_pull_timeout_function(session, pullReady);
        gnutls_handshake_set_timeout(session, 0);
        if (!alpn.isEmpty()) {
            std::vector<gnutls_datum_t> protocols;
            for (const QByteArray &p : alpn)
                protocols.push_back({ reinterpret_cast<unsigned char *>(const_cast<char *>(p.constData())),
                    unsigned(p.size()) });
            if (!check(gnutls_alpn_set_protocols(session, protocols.data(), unsigned(protocols.size()), 0),
                    "ALPN"))
                return false;
        }
        return true;
    }
};

Session::Session()
    : d(std::make_unique<Private>())
{ }

Session::~Session() = default;

std::unique_ptr<Session> Session::server(
    const Identity &identity, const QList<QByteArray> &alpn, QString *why)
{
    std::unique_ptr<Session> s(new Session);
    Private &d = *s->d;
    const gnutls_datum_t certificate
        = { reinterpret_cast<unsigned char *>(const_cast<char *>(identity.certificatePem.constData())),
              unsigned(identity.certificatePem.size()) };
    const gnutls_datum_t key
        = { reinterpret_cast<unsigned char *>(const_cast<char *>(identity.keyPem.constData())),
              unsigned(identity.keyPem.size()) };
    // No session tickets: nothing is sent after the handshake that a TDS 7.x client, which has
    // left the pre-login packets by then, would not expect; SQL Server resumes no sessions either.
    const bool ok = !identity.isNull() && d.start(GNUTLS_SERVER | GNUTLS_NO_TICKETS, alpn)
        && d.check(
            gnutls_certificate_set_x509_key_mem(d.credentials, &certificate, &key, GNUTLS_X509_FMT_PEM),
            "certificate")
        && d.check(gnutls_credentials_set(d.session, GNUTLS_CRD_CERTIFICATE, d.credentials), "credentials");
    if (!ok) {
        if (why)
            *why = identity.isNull() ? QStringLiteral("no certificate") : d.error;
        return {};
    }
    gnutls_certificate_server_set_request(d.session, GNUTLS_CERT_IGNORE);
    return s;
}

std::unique_ptr<Session> Session::client(const QString &sni, const QList<QByteArray> &alpn, QString *why)
{
    std::unique_ptr<Session> s(new Session);
    Private &d = *s->d;
    bool ok = d.start(GNUTLS_CLIENT, alpn)
        && d.check(gnutls_credentials_set(d.session, GNUTLS_CRD_CERTIFICATE, d.credentials), "credentials");
    // Server name indication carries host names only.
    if (ok && !sni.isEmpty() && QHostAddress(sni).isNull()) {
        const QByteArray name = sni.toUtf8();
        ok = d.check(
            gnutls_server_name_set(d.session, GNUTLS_NAME_DNS, name.constData(), size_t(name.size())),
            "server name");
    }
    if (!ok) {
        if (why)
            *why = d.error;
        return {};
    }
    return s;
}

void Session::setTransport(Push push, Pull pull)
{
    d->push = std::move(push);
    d->pull = std::move(pull);
}

bool Session::limitToTls12()
{
    const char *at = nullptr;
    return d->check(gnutls_set_default_priority_append(d->session, "-VERS-TLS1.3", &at, 0), "priorities");
}

bool Session::handshake()
{
    int rc;
    do {
        rc = gnutls_handshake(d->session);
    } while (rc < 0 && gnutls_error_is_fatal(rc) == 0 && rc != GNUTLS_E_WARNING_ALERT_RECEIVED);
    if (!d->check(rc, "handshake"))
        return false;
    d->handshaken = true;
    return true;
}

bool Session::write(const QByteArray &data)
{
    return write(data.constData(), data.size());
}

bool Session::write(const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t sent = gnutls_record_send(d->session, data, size_t(size));
        if (sent == GNUTLS_E_AGAIN || sent == GNUTLS_E_INTERRUPTED)
            continue;
        if (!d->check(int(std::min<ssize_t>(sent, 0)), "sending"))
            return false;
        data += sent;
        size -= sent;
    }
    return true;
}

qsizetype Session::read(char *data, qsizetype size)
{
    for (;;) {
        const ssize_t got = gnutls_record_recv(d->session, data, size_t(size));
        if (got >= 0)
            return qsizetype(got);
        if (got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED || got == GNUTLS_E_REHANDSHAKE)
            continue;
        // A peer that closes its socket without close_notify has ended the stream all the same.
        if (got == GNUTLS_E_PREMATURE_TERMINATION)
            return 0;
        d->check(int(got), "receiving");
        return -1;
    }
}

qsizetype Session::pending() const
{
    return d->handshaken ? qsizetype(gnutls_record_check_pending(d->session)) : 0;
}

void Session::bye()
{
    if (d->handshaken)
        gnutls_bye(d->session, GNUTLS_SHUT_WR);
}

QList<QByteArray> Session::peerChain() const
{
    QList<QByteArray> chain;
    unsigned count = 0;
    const gnutls_datum_t *certificates = gnutls_certificate_get_peers(d->session, &count);
    for (unsigned i = 0; certificates && i < count; ++i)
        chain << QByteArray(
            reinterpret_cast<const char *>(certificates[i].data), qsizetype(certificates[i].size));
    return chain;
}

QByteArray Session::negotiatedAlpn() const
{
    gnutls_datum_t protocol {};
    if (gnutls_alpn_get_selected_protocol(d->session, &protocol) < 0)
        return {};
    return QByteArray(reinterpret_cast<const char *>(protocol.data), qsizetype(protocol.size));
}

QString Session::protocolName() const
{
    const char *name = gnutls_protocol_get_name(gnutls_protocol_get_version(d->session));
    return name ? QString::fromLatin1(name) : QString();
}

QString Session::errorText() const
{
    return d->error;
}

} // namespace zt::tls
