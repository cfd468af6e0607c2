#pragma once

// The servers this installation has decided about: a certificate trusted for a server name (kept
// as its PEM, which FreeTDS then takes as the only authority for that server), or a server
// allowed to go unencrypted. Kept in data/servertrust/ beside the local configuration, shared by
// the group like it, and read by nothing but this program.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace zt::guard {

// A server name as the decisions are keyed: the host in lower case with its port ("host,1433")
// or its instance ("host\SQLEXPRESS"), however the user wrote it.
QString serverKey(const QString &serverName);

// The folder the decisions live in (with a trailing separator).
QString trustFolder();

// The certificate (DER) trusted for the server, if any, and the path of its PEM file.
std::optional<QByteArray> trustedCertificate(const QString &serverName);
QString trustedCertificateFile(const QString &serverName);
// Trusts what the server showed (DER, its certificate first), replacing what was trusted
// before: a certificate alone (self-signed) is trusted itself; of a chain, its last certificate,
// the authority that issued the server's, which FreeTDS then checks the server's name against
// (GnuTLS finds no pinned certificate below an intermediate). Throws data::DataError when it
// cannot be written.
void trustCertificate(const QString &serverName, const QList<QByteArray> &chain);
// Whether what is trusted for the server is an authority (its name is checked) rather than the
// server's own certificate.
bool trustsAuthority(const QString &serverName);
// Forgets the certificate trusted for the server (when its certificate now chains to an
// authority the system trusts, no pin is needed).
void forgetCertificate(const QString &serverName);

// Whether the user allowed the server to be reached without encryption, and the allowance.
bool unencryptedAllowed(const QString &serverName);
void allowUnencrypted(const QString &serverName);
// Withdraws the allowance: the server now offers encryption with a certificate that is trusted.
void forbidUnencrypted(const QString &serverName);

} // namespace zt::guard
