#include "roadguard.h"

#include "data/dataerror.h"
#include "roadprobe.h"
#include "truststore.h"

#include <QHash>

#include <mutex>

namespace zt::guard {

namespace {

constexpr auto SystemBundle = "/etc/ssl/certs/ca-certificates.crt";

std::mutex &guardMutex()
{
    static std::mutex mutex;
    return mutex;
}

QHash<QString, Refusal> &refusals()
{
    static QHash<QString, Refusal> held;
    return held;
}

bool expired(const tls::CertificateInfo &info)
{
    return info.notAfter.isValid() && info.notAfter < QDateTime::currentDateTimeUtc();
}

} // namespace

QString authorityBundle()
{
    const QString named = qEnvironmentVariable("ZTWIZARD_CA_FILE");
    return named.isEmpty() ? QString::fromLatin1(SystemBundle) : named;
}

RoadSettings settingsFor(const QString &serverName)
{
    // A server's own certificate trusted for its name stands for itself; a trusted authority
    // still has to name the server. Even a server allowed unencrypted is asked for encryption
    // first: only when it offers none does the connection go in clear (unencryptedRoad).
    if (trustedCertificate(serverName))
        return { QStringLiteral("require"), trustedCertificateFile(serverName), trustsAuthority(serverName) };
    return { QStringLiteral("require"), authorityBundle(), true };
}

RoadSettings unencryptedRoad()
{
    return { QStringLiteral("request"), authorityBundle(), true };
}

AfterFailure examineRoad(const QString &serverName, const QString &host, int port, Refusal &refusal)
{
    const RoadProbe probe = probeRoad(host, port);
    refusal = Refusal();
    refusal.serverName = serverName;
    switch (probe.outcome) {
    case RoadProbe::Outcome::Unreachable:
        return AfterFailure::RoadFine;
    case RoadProbe::Outcome::NoAnswer:
        refusal.kind = Refusal::Kind::NoAnswer;
        return AfterFailure::Refused;
    case RoadProbe::Outcome::HandshakeFailed:
        refusal.kind = Refusal::Kind::HandshakeFailed;
        refusal.detail = probe.detail;
        return AfterFailure::Refused;
    case RoadProbe::Outcome::NotSupported:
        if (unencryptedAllowed(serverName))
            return AfterFailure::TryUnencrypted;
        refusal.kind = Refusal::Kind::Unencrypted;
        return AfterFailure::Refused;
    case RoadProbe::Outcome::Strict:
        refusal.kind = Refusal::Kind::Strict;
        if (!probe.chain.isEmpty()) {
            refusal.certificate = probe.chain.first();
            tls::describe(refusal.certificate, refusal.info);
        }
        return AfterFailure::Refused;
    case RoadProbe::Outcome::Encrypted:
        break;
    }

    if (probe.chain.isEmpty()) {
        refusal.kind = Refusal::Kind::HandshakeFailed;
        refusal.detail = QStringLiteral("no certificate");
        return AfterFailure::Refused;
    }
    refusal.chain = probe.chain;
    refusal.certificate = probe.chain.first();
    tls::describe(refusal.certificate, refusal.info);
    const std::optional<QByteArray> trusted = trustedCertificate(serverName);
    // What FreeTDS would accept now: an authority the system trusts, or what the user trusted.
    const tls::Verdict bySystem = tls::verifyChain(probe.chain, authorityBundle(), host);
    bool accepted = bySystem.ok();
    if (accepted && trusted) {
        forgetCertificate(serverName); // an authority's certificate replaces one trusted by hand
    } else if (trusted && trustsAuthority(serverName)) {
        accepted = tls::verifyChain(probe.chain, trustedCertificateFile(serverName), host).ok();
    } else if (trusted) {
        accepted = *trusted == refusal.certificate && !expired(refusal.info);
    }
    if (accepted) {
        // A server that encrypts with a trusted certificate is not let off again.
        forbidUnencrypted(serverName);
        return trusted && !trustedCertificate(serverName) ? AfterFailure::TryAgain : AfterFailure::RoadFine;
    }
    if (expired(refusal.info)) {
        refusal.kind = Refusal::Kind::ExpiredCertificate;
        return AfterFailure::Refused;
    }
    if (trusted) {
        refusal.kind = Refusal::Kind::ChangedCertificate;
        refusal.trustedSha256 = tls::sha256Fingerprint(*trusted);
        return AfterFailure::Refused;
    }
    refusal.kind = Refusal::Kind::UnknownCertificate;
    if (!bySystem.chainTrusted) {
        refusal.reason = refusal.info.selfSigned ? QStringLiteral("它是服务器自己签发的证书（自签名）")
                                                 : QStringLiteral("它不是由本机信任的证书颁发机构签发的");
    } else {
        refusal.reason = QStringLiteral("证书上的名称与“%1”不符").arg(host);
    }
    return AfterFailure::Refused;
}

void rememberRefusal(const Refusal &refusal)
{
    std::lock_guard lock(guardMutex());
    refusals().insert(serverKey(refusal.serverName), refusal);
}

std::optional<Refusal> takeRefusal(const QString &serverName)
{
    std::lock_guard lock(guardMutex());
    const QString key = serverKey(serverName);
    if (!refusals().contains(key))
        return std::nullopt;
    return refusals().take(key);
}

bool fingerprintMatches(const QString &given, const QString &sha256)
{
    QString plain;
    for (const QChar c : given) {
        if (c != u':' && !c.isSpace())
            plain += c.toUpper();
    }
    return plain.size() == 64 && plain == QString(sha256).remove(u':');
}

bool acceptRefusal(const Refusal &refusal)
{
    switch (refusal.kind) {
    case Refusal::Kind::UnknownCertificate:
    case Refusal::Kind::ChangedCertificate:
        trustCertificate(refusal.serverName, refusal.chain);
        return true;
    case Refusal::Kind::Unencrypted:
        allowUnencrypted(refusal.serverName);
        return true;
    case Refusal::Kind::ExpiredCertificate:
    case Refusal::Kind::Strict:
    case Refusal::Kind::NoAnswer:
    case Refusal::Kind::HandshakeFailed:
        break;
    }
    return false;
}

} // namespace zt::guard
