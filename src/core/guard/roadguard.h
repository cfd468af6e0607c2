#pragma once

// The guard on the road to a SQL Server: every connection through FreeTDS asks for encryption
// of the whole session, speaks TDS 7.4 only (never the Sybase TDS 5.0 retry, whose login carries
// the password as plain text), and has the server's certificate checked by FreeTDS before the
// login goes out: against the system's authorities and the server's name, or against the one
// certificate trusted for that server name. When a connection fails, a look at the road that
// sends no secret (roadprobe) says why, and a refusal is worded for the user; page 1 may then
// ask to trust a certificate or to allow an unencrypted server, the command line only on its
// options.

#include "tls/certificate.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace zt::guard {

// How FreeTDS takes the road to one server: the settings of its freetds.conf section.
struct RoadSettings
{
    QString encryption; // "require" (ENCRYPT_ON: the whole session) or "request" (allowed unencrypted)
    QString caFile; // the authorities, or the one certificate trusted for the server
    bool checkHostname = true; // off only for a certificate trusted for the server name itself
};

// The authorities a certificate must chain to: the file ZTWIZARD_CA_FILE names, else the
// system's bundle.
QString authorityBundle();

// The settings for a server from what this installation decided about it: always encryption
// first.
RoadSettings settingsFor(const QString &serverName);
// The settings for a server allowed unencrypted once it has answered that it offers no encryption.
RoadSettings unencryptedRoad();

// The freetds.conf section for host:port with these settings, written into this process's own
// configuration file (named to FreeTDS through FREETDSCONF) and returned by name. Throws
// data::DataError for a host name that cannot stand in the file or a certificates' file that
// cannot be read.
QString freeTdsSection(const QString &host, int port, const RoadSettings &settings);
// Makes that file and sets FREETDSCONF; each program calls it at start, before any thread
// (freeTdsSection does it too, for programs that did not).
void prepareConnections();
// The environment the process was started with, for the programs it starts: without the
// FREETDSCONF that names its own file.
QProcessEnvironment startingEnvironment();

// A connection the guard refused, and what the user may do about it.
struct Refusal
{
    enum class Kind {
        UnknownCertificate, // not from a trusted authority, or not naming the server; nothing trusted yet
        ChangedCertificate, // another certificate than the one trusted for the server name
        ExpiredCertificate, // the certificate (or the one trusted) is past its validity
        Unencrypted, // the server offers no encryption (or the way to it took it away)
        Strict, // the server speaks only TDS 8.0, which this FreeTDS cannot
        NoAnswer, // the server ended the connection before answering
        HandshakeFailed, // encryption offered but its handshake failed
    };

    Kind kind = Kind::NoAnswer;
    QString serverName;
    QByteArray certificate; // DER of the server's certificate, when it showed one
    QList<QByteArray> chain; // all it showed, its own certificate first
    tls::CertificateInfo info;
    QString trustedSha256; // ChangedCertificate: the fingerprint trusted before
    QString reason; // why the certificate is not trusted, in Chinese
    QString detail; // the TLS library's words, for HandshakeFailed

    // What happened and what the user can do, in Chinese; nothing was sent.
    QString message() const;
};

// Page 1's question about a refusal the user may accept (OK accepts, Cancel connects nowhere and
// stores nothing); an empty caption for one nobody can accept.
struct Question
{
    QString caption;
    QString text;
    // The answer is the new certificate's fingerprint, typed or pasted as the server's
    // administrator gave it, not a click: a changed certificate is trusted only deliberately.
    bool typedFingerprint = false;
};
Question questionFor(const Refusal &refusal);

// The certificate described for a person: subject, issuer, validity, SHA-256 and SHA-1
// fingerprints, and a word on SQL Server's own self-made certificate.
QString certificateText(const tls::CertificateInfo &info);

// What the data layer does after FreeTDS failed to connect to serverName at host:port.
enum class AfterFailure {
    RoadFine, // the road is as it should be: the failure is the server's or the login's
    TryAgain, // a stale decision was mended (a trusted pin replaced by an authority): connect once more
    TryUnencrypted, // the server offers no encryption and the user allowed that: unencryptedRoad()
    Refused, // the road is refused: refusal holds why
};
AfterFailure examineRoad(const QString &serverName, const QString &host, int port, Refusal &refusal);

// The last refusal for a server name in this process, taken once (page 1 and the command line
// ask or decide on it after a failed connection).
void rememberRefusal(const Refusal &refusal);
std::optional<Refusal> takeRefusal(const QString &serverName);

// Whether a fingerprint as a person gives it (any case, with or without ':' or blanks) is the
// SHA-256 fingerprint sha256.
bool fingerprintMatches(const QString &given, const QString &sha256);

// Acts on the user's yes to a refusal: trusts the certificate it showed, or allows the server
// unencrypted. False for a refusal nobody can accept (strict, no answer, a failed handshake).
bool acceptRefusal(const Refusal &refusal);

} // namespace zt::guard
