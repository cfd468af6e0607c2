#pragma once

// X.509 certificates as this system handles them: described for a person, fingerprinted, made
// for a server that has none (as SQL Server makes one at start), and checked against a bundle of
// trusted authorities and a host name. GnuTLS underneath; nothing here is cryptography of our own.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace zt::tls {

// What a person compares when deciding to trust a certificate.
struct CertificateInfo
{
    QString subject; // RFC 4514, as GnuTLS writes it ("CN=host,O=…")
    QString issuer;
    QDateTime notBefore; // UTC
    QDateTime notAfter; // UTC
    QString sha256; // fingerprint of the DER form: upper-case hex pairs joined by ':'
    QStringList names; // DNS and IP subject alternative names
    bool selfSigned = false; // subject and issuer alike and the signature its own
};

// A certificate (DER) described; false with *why when it cannot be read.
bool describe(const QByteArray &der, CertificateInfo &info, QString *why = nullptr);
QString sha256Fingerprint(const QByteArray &der);
// The SHA-1 fingerprint, which Windows' certificate manager shows as the "thumbprint".
QString sha1Fingerprint(const QByteArray &der);

// PEM and DER forms. derFromPem returns every certificate of a PEM text, in order.
QByteArray pemFromDer(const QByteArray &der);
QList<QByteArray> derFromPem(const QByteArray &pem);

// A certificate and its private key, both PEM.
struct Identity
{
    QByteArray certificatePem;
    QByteArray keyPem;
    bool isNull() const { return certificatePem.isEmpty() || keyPem.isEmpty(); }
};

// A new key and a self-signed certificate for a server: CN=commonName, the alternative names
// (an IPv4/IPv6 text becomes an IP name, anything else a DNS name), valid from an hour ago for
// `days` days. Empty Identity with *why on failure.
Identity makeSelfSigned(
    const QString &commonName, const QStringList &altNames, int days, QString *why = nullptr);
// A certificate authority (CA:TRUE, keyCertSign) and a server certificate issued by one; for
// tests and demonstrations of a provisioned private certificate.
Identity makeAuthority(const QString &commonName, int days, QString *why = nullptr);
Identity issueCertificate(const Identity &authority, const QString &commonName, const QStringList &altNames,
    int days, QString *why = nullptr);

// How a server's chain (DER, leaf first) stands against a bundle of trusted certificates (PEM
// file) and the name the user gave the server (a host name or an IP address text).
struct Verdict
{
    bool chainTrusted = false; // chains to the bundle, within its validity, signatures good
    bool nameMatches = false; // the leaf names hostName (SAN, or CN without SANs)
    QString why; // GnuTLS's description of what failed, empty when both hold
    bool ok() const { return chainTrusted && nameMatches; }
};
Verdict verifyChain(const QList<QByteArray> &chainDer, const QString &caFile, const QString &hostName);

} // namespace zt::tls
