#include "certificate.h"

#include <QFile>
#include <QHostAddress>
#include <QTimeZone>

#include <gnutls/abstract.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <ctime>
#include <memory>
#include <vector>

namespace zt::tls {

namespace {

// GnuTLS objects released with their owners.
struct CrtDeleter
{
    void operator()(gnutls_x509_crt_int *c) const { gnutls_x509_crt_deinit(c); }
};
struct KeyDeleter
{
    void operator()(gnutls_x509_privkey_int *k) const { gnutls_x509_privkey_deinit(k); }
};
struct PrivkeyDeleter
{
    void operator()(gnutls_privkey_st *k) const { gnutls_privkey_deinit(k); }
};
struct TrustDeleter
{
    void operator()(gnutls_x509_trust_list_st *t) const { gnutls_x509_trust_list_deinit(t, 1); }
};
using Crt = std::unique_ptr<gnutls_x509_crt_int, CrtDeleter>;
using Key = std::unique_ptr<gnutls_x509_privkey_int, KeyDeleter>;

gnutls_datum_t datum(const QByteArray &bytes)
{
    return { reinterpret_cast<unsigned char *>(const_cast<char *>(bytes.constData())),
        unsigned(bytes.size()) };
}

// Takes a datum GnuTLS allocated.
QByteArray taken(gnutls_datum_t &d)
{
    QByteArray out(reinterpret_cast<const char *>(d.data), qsizetype(d.size));
    gnutls_free(d.data);
    d.data = nullptr;
    return out;
}

bool failed(int rc, QString *why, const char *what)
{
    if (rc >= 0)
        return false;
    if (why)
        *why = QStringLiteral("%1: %2").arg(QLatin1StringView(what), QString::fromUtf8(gnutls_strerror(rc)));
    return true;
}

Crt importCrt(const QByteArray &data, gnutls_x509_crt_fmt_t format, QString *why)
{
    gnutls_x509_crt_t raw = nullptr;
    if (failed(gnutls_x509_crt_init(&raw), why, "certificate"))
        return {};
    Crt crt(raw);
    const gnutls_datum_t d = datum(data);
    if (failed(gnutls_x509_crt_import(raw, &d, format), why, "certificate"))
        return {};
    return crt;
}

Key importKey(const QByteArray &pem, QString *why)
{
    gnutls_x509_privkey_t raw = nullptr;
    if (failed(gnutls_x509_privkey_init(&raw), why, "private key"))
        return {};
    Key key(raw);
    const gnutls_datum_t d = datum(pem);
    if (failed(gnutls_x509_privkey_import(raw, &d, GNUTLS_X509_FMT_PEM), why, "private key"))
        return {};
    return key;
}

QByteArray exportCrt(gnutls_x509_crt_t crt, gnutls_x509_crt_fmt_t format)
{
    gnutls_datum_t out {};
    if (gnutls_x509_crt_export2(crt, format, &out) < 0)
        return {};
    return taken(out);
}

QDateTime utc(time_t t)
{
    return QDateTime::fromSecsSinceEpoch(qint64(t), QTimeZone::utc());
}

// What a certificate being made carries, and how it is signed.
struct Template
{
    QString commonName;
    QStringList altNames;
    int days = 0;
    bool authority = false;
};

// Makes a key and a certificate after t, signed by issuer (itself when issuerCrt is null).
Identity make(const Template &t, gnutls_x509_crt_t issuerCrt, gnutls_x509_privkey_t issuerKey, QString *why)
{
    gnutls_x509_privkey_t rawKey = nullptr;
    gnutls_x509_crt_t rawCrt = nullptr;
    if (failed(gnutls_x509_privkey_init(&rawKey), why, "private key"))
        return {};
    Key key(rawKey);
    if (failed(gnutls_x509_crt_init(&rawCrt), why, "certificate"))
        return {};
    Crt crt(rawCrt);
    // P-256: made in an instant at every start, and read by every client of SQL Server.
    int rc = gnutls_x509_privkey_generate(
        rawKey, GNUTLS_PK_ECDSA, GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0);
    if (failed(rc, why, "key generation"))
        return {};

    unsigned char serial[16];
    gnutls_rnd(GNUTLS_RND_NONCE, serial, sizeof serial);
    serial[0] &= 0x7f; // a positive number
    const QByteArray cn = t.commonName.toUtf8();
    const time_t now = std::time(nullptr);
    rc = gnutls_x509_crt_set_version(rawCrt, 3);
    if (rc >= 0)
        rc = gnutls_x509_crt_set_serial(rawCrt, serial, sizeof serial);
    if (rc >= 0)
        rc = gnutls_x509_crt_set_activation_time(rawCrt, now - 3600);
    if (rc >= 0)
        rc = gnutls_x509_crt_set_expiration_time(rawCrt, now + time_t(t.days) * 24 * 3600);
    if (rc >= 0)
        rc = gnutls_x509_crt_set_dn_by_oid(
            rawCrt, GNUTLS_OID_X520_COMMON_NAME, 0, cn.constData(), unsigned(cn.size()));
    if (rc >= 0)
        rc = gnutls_x509_crt_set_key(rawCrt, rawKey);
    if (rc >= 0)
        rc = gnutls_x509_crt_set_basic_constraints(rawCrt, t.authority ? 1 : 0, -1);
    if (rc >= 0)
        rc = gnutls_x509_crt_set_key_usage(rawCrt,
            t.authority ? GNUTLS_KEY_KEY_CERT_SIGN | GNUTLS_KEY_CRL_SIGN | GNUTLS_KEY_DIGITAL_SIGNATURE
                        : GNUTLS_KEY_DIGITAL_SIGNATURE);
    if (rc >= 0 && !t.authority)
        rc = gnutls_x509_crt_set_key_purpose_oid(rawCrt, GNUTLS_KP_TLS_WWW_SERVER, 0);
    for (const QString &name : t.altNames) {
        if (rc < 0)
            break;
        const QHostAddress address(name);
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            const quint32 v4 = address.toIPv4Address();
            const unsigned char ip[4] = { uchar(v4 >> 24), uchar(v4 >> 16), uchar(v4 >> 8), uchar(v4) };
            rc = gnutls_x509_crt_set_subject_alt_name(
                rawCrt, GNUTLS_SAN_IPADDRESS, ip, 4, GNUTLS_FSAN_APPEND);
        } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            const Q_IPV6ADDR v6 = address.toIPv6Address();
            rc = gnutls_x509_crt_set_subject_alt_name(
                rawCrt, GNUTLS_SAN_IPADDRESS, v6.c, 16, GNUTLS_FSAN_APPEND);
        } else {
            const QByteArray dns = name.toUtf8();
            rc = gnutls_x509_crt_set_subject_alt_name(
                rawCrt, GNUTLS_SAN_DNSNAME, dns.constData(), unsigned(dns.size()), GNUTLS_FSAN_APPEND);
        }
    }
    unsigned char keyId[64];
    size_t keyIdSize = sizeof keyId;
    if (rc >= 0)
        rc = gnutls_x509_crt_get_key_id(rawCrt, GNUTLS_KEYID_USE_SHA1, keyId, &keyIdSize);
    if (rc >= 0)
        rc = gnutls_x509_crt_set_subject_key_id(rawCrt, keyId, keyIdSize);
    if (rc >= 0 && issuerCrt) {
        unsigned char authorityId[64];
        size_t authoritySize = sizeof authorityId;
        unsigned critical = 0;
        if (gnutls_x509_crt_get_subject_key_id(issuerCrt, authorityId, &authoritySize, &critical) >= 0)
            rc = gnutls_x509_crt_set_authority_key_id(rawCrt, authorityId, authoritySize);
    }
    if (failed(rc, why, "certificate"))
        return {};

    gnutls_privkey_t rawSigner = nullptr;
    if (failed(gnutls_privkey_init(&rawSigner), why, "signing key"))
        return {};
    const std::unique_ptr<gnutls_privkey_st, PrivkeyDeleter> signer(rawSigner);
    rc = gnutls_privkey_import_x509(rawSigner, issuerKey ? issuerKey : rawKey, 0);
    if (rc >= 0)
        rc = gnutls_x509_crt_privkey_sign(
            rawCrt, issuerCrt ? issuerCrt : rawCrt, rawSigner, GNUTLS_DIG_SHA256, 0);
    if (failed(rc, why, "signing"))
        return {};

    Identity identity;
    identity.certificatePem = exportCrt(rawCrt, GNUTLS_X509_FMT_PEM);
    gnutls_datum_t keyPem {};
    if (failed(gnutls_x509_privkey_export2_pkcs8(
                   rawKey, GNUTLS_X509_FMT_PEM, nullptr, GNUTLS_PKCS_PLAIN, &keyPem),
            why, "private key"))
        return {};
    identity.keyPem = taken(keyPem);
    return identity;
}

QString addressText(const char *data, size_t size)
{
    if (size == 4)
        return QHostAddress(
            quint32((uchar(data[0]) << 24) | (uchar(data[1]) << 16) | (uchar(data[2]) << 8) | uchar(data[3])))
            .toString();
    if (size == 16)
        return QHostAddress(reinterpret_cast<const quint8 *>(data)).toString();
    return {};
}

} // namespace

bool describe(const QByteArray &der, CertificateInfo &info, QString *why)
{
    const Crt crt = importCrt(der, GNUTLS_X509_FMT_DER, why);
    if (!crt)
        return false;
    info = {};
    gnutls_datum_t dn {};
    if (gnutls_x509_crt_get_dn3(crt.get(), &dn, 0) >= 0)
        info.subject = QString::fromUtf8(taken(dn));
    if (gnutls_x509_crt_get_issuer_dn3(crt.get(), &dn, 0) >= 0)
        info.issuer = QString::fromUtf8(taken(dn));
    info.notBefore = utc(gnutls_x509_crt_get_activation_time(crt.get()));
    info.notAfter = utc(gnutls_x509_crt_get_expiration_time(crt.get()));
    info.sha256 = sha256Fingerprint(der);
    for (unsigned i = 0;; ++i) {
        char name[1024];
        size_t size = sizeof name;
        const int type = gnutls_x509_crt_get_subject_alt_name(crt.get(), i, name, &size, nullptr);
        if (type == GNUTLS_E_SHORT_MEMORY_BUFFER)
            continue;
        if (type < 0)
            break;
        if (type == GNUTLS_SAN_DNSNAME)
            info.names << QString::fromUtf8(name, qsizetype(size));
        else if (type == GNUTLS_SAN_IPADDRESS)
            info.names << addressText(name, size);
    }
    // The signature checked with the certificate's own key; whether it may sign is not asked.
    gnutls_x509_crt_t self = crt.get();
    unsigned status = 0;
    info.selfSigned = gnutls_x509_crt_check_issuer(self, self) == 1
        && gnutls_x509_crt_verify(self, &self, 1,
               GNUTLS_VERIFY_DO_NOT_ALLOW_SAME | GNUTLS_VERIFY_DISABLE_CA_SIGN
                   | GNUTLS_VERIFY_DISABLE_TIME_CHECKS | GNUTLS_VERIFY_DISABLE_TRUSTED_TIME_CHECKS,
               &status)
            >= 0
        && !(status & (GNUTLS_CERT_SIGNATURE_FAILURE | GNUTLS_CERT_SIGNER_NOT_FOUND));
    return true;
}

namespace {

// A digest of the DER form as people compare it: upper-case hex pairs joined by ':'.
QString fingerprint(gnutls_digest_algorithm_t algorithm, const QByteArray &der)
{
    unsigned char digest[64];
    if (gnutls_hash_get_len(algorithm) > sizeof digest
        || gnutls_hash_fast(algorithm, der.constData(), size_t(der.size()), digest) < 0)
        return {};
    QStringList pairs;
    for (unsigned i = 0; i < gnutls_hash_get_len(algorithm); ++i)
        pairs << QStringLiteral("%1").arg(uint(digest[i]), 2, 16, QChar(u'0')).toUpper();
    return pairs.join(u':');
}

} // namespace

QString sha256Fingerprint(const QByteArray &der)
{
    return fingerprint(GNUTLS_DIG_SHA256, der);
}

QString sha1Fingerprint(const QByteArray &der)
{
    return fingerprint(GNUTLS_DIG_SHA1, der);
}

QByteArray pemFromDer(const QByteArray &der)
{
    gnutls_datum_t out {};
    const gnutls_datum_t in = datum(der);
    if (gnutls_pem_base64_encode2("CERTIFICATE", &in, &out) < 0)
        return {};
    return taken(out);
}

QList<QByteArray> derFromPem(const QByteArray &pem)
{
    gnutls_x509_crt_t *list = nullptr;
    unsigned count = 0;
    const gnutls_datum_t in = datum(pem);
    if (pem.isEmpty() || gnutls_x509_crt_list_import2(&list, &count, &in, GNUTLS_X509_FMT_PEM, 0) < 0)
        return {};
    QList<QByteArray> out;
    for (unsigned i = 0; i < count; ++i) {
        out << exportCrt(list[i], GNUTLS_X509_FMT_DER);
        gnutls_x509_crt_deinit(list[i]);
    }
    gnutls_free(list);
    return out;
}

Identity makeSelfSigned(const QString &commonName, const QStringList &altNames, int days, QString *why)
{
    return make({ commonName, altNames, days, false }, nullptr, nullptr, why);
}

Identity makeAuthority(const QString &commonName, int days, QString *why)
{
    return make({ commonName, {}, days, true }, nullptr, nullptr, why);
}

Identity issueCertificate(
    const Identity &authority, const QString &commonName, const QStringList &altNames, int days, QString *why)
{
    const Crt issuer = importCrt(authority.certificatePem, GNUTLS_X509_FMT_PEM, why);
    const Key issuerKey = issuer ? importKey(authority.keyPem, why) : Key();
    if (!issuer || !issuerKey)
        return {};
    return make({ commonName, altNames, days, false }, issuer.get(), issuerKey.get(), why);
}

Verdict verifyChain(const QList<QByteArray> &chainDer, const QString &caFile, const QString &hostName)
{
    Verdict verdict;
    std::vector<Crt> owned;
    std::vector<gnutls_x509_crt_t> chain;
    for (const QByteArray &der : chainDer) {
        Crt crt = importCrt(der, GNUTLS_X509_FMT_DER, &verdict.why);
        if (!crt)
            return verdict;
        chain.push_back(crt.get());
        owned.push_back(std::move(crt));
    }
    if (chain.empty()) {
        verdict.why = QStringLiteral("the server presented no certificate");
        return verdict;
    }

    QFile file(caFile);
    const QByteArray bundle = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    gnutls_x509_trust_list_t rawList = nullptr;
    if (failed(gnutls_x509_trust_list_init(&rawList, 0), &verdict.why, "trust list"))
        return verdict;
    const std::unique_ptr<gnutls_x509_trust_list_st, TrustDeleter> list(rawList);
    const gnutls_datum_t bundleDatum = datum(bundle);
    const int added = bundle.isEmpty()
        ? 0
        : gnutls_x509_trust_list_add_trust_mem(rawList, &bundleDatum, nullptr, GNUTLS_X509_FMT_PEM, 0, 0);
    if (added <= 0) {
        verdict.why = QStringLiteral("no trusted certificates in %1").arg(caFile);
        return verdict;
    }

    unsigned status = 0;
    const int rc = gnutls_x509_trust_list_verify_crt2(
        rawList, chain.data(), unsigned(chain.size()), nullptr, 0, 0, &status, nullptr);
    if (rc < 0) {
        verdict.why = QString::fromUtf8(gnutls_strerror(rc));
    } else if (status != 0) {
        // A certificate the bundle holds itself is trusted as it stands (a pinned certificate),
        // within its validity.
        const QList<QByteArray> trusted = derFromPem(bundle);
        const time_t now = std::time(nullptr);
        const bool pinned = trusted.contains(chainDer.first())
            && gnutls_x509_crt_get_activation_time(chain.front()) <= now
            && now <= gnutls_x509_crt_get_expiration_time(chain.front());
        if (pinned) {
            verdict.chainTrusted = true;
        } else {
            gnutls_datum_t text {};
            if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) >= 0)
                verdict.why = QString::fromUtf8(taken(text));
        }
    } else {
        verdict.chainTrusted = true;
    }

    // An IP address text is matched against the IP alternative names, anything else as a DNS name.
    const QByteArray host = hostName.toUtf8();
    verdict.nameMatches
        = !host.isEmpty() && gnutls_x509_crt_check_hostname2(chain.front(), host.constData(), 0) != 0;
    if (!verdict.nameMatches) {
        const QString mismatch = QStringLiteral("The certificate does not name %1.").arg(hostName);
        verdict.why = verdict.why.isEmpty() ? mismatch : verdict.why + u' ' + mismatch;
    }
    return verdict;
}

} // namespace zt::tls
