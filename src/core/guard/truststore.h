#pragma once

// The servers this installation has decided about: a certificate trusted for a server name (kept
// as its PEM, which FreeTDS then takes as the only authority for that server), or a server
// allowed to go unencrypted. Kept in data/servertrust/ beside the local configuration, shared by
// the group like it, and read by nothing but this program.

#include <QByteArray>
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
// Trusts the certificate (DER) for the server, replacing one trusted before. Throws
// data::DataError when it cannot be written.
void trustCertificate(const QString &serverName, const QByteArray &der);
// Forgets the certificate trusted for the server (when its certificate now chains to an
// authority the system trusts, no pin is needed).
void forgetCertificate(const QString &serverName);

// Whether the user allowed the server to be reached without encryption, and the allowance.
bool unencryptedAllowed(const QString &serverName);
void allowUnencrypted(const QString &serverName);

} // namespace zt::guard
