#include "roadguard.h"

#include "data/dataerror.h"
#include "roadprobe.h"
#include "truststore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QSaveFile>
#include <QTemporaryDir>

#include <mutex>

namespace zt::guard {

namespace {

constexpr auto SystemBundle = "/etc/ssl/certs/ca-certificates.crt";
// The only protocol spoken: TDS 7.4. With "auto" FreeTDS retries a failed first connection as
// TDS 5.0, whose login carries the password as plain text.
constexpr auto TdsVersion = "7.4";

std::mutex &guardMutex()
{
    static std::mutex mutex;
    return mutex;
}

// This process's freetds.conf: a private folder of its own, removed at exit.
struct ConfFile
{
    QTemporaryDir dir { QDir::tempPath() + QStringLiteral("/ztwizard-freetds-XXXXXX") };
    QMap<QString, QByteArray> sections;
    bool named = false;
};

ConfFile &confFile()
{
    static ConfFile file;
    return file;
}

QHash<QString, Refusal> &refusals()
{
    static QHash<QString, Refusal> held;
    return held;
}

// A host as it may stand in the file: letters, digits and the punctuation of names and IPv4
// and IPv6 addresses. Anything else could start a line or a setting of its own.
bool plainHost(const QString &host)
{
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'.' && c != u'-' && c != u'_' && c != u':')
            return false;
    }
    return true;
}

bool plainPath(const QString &path)
{
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c == u'\x7f')
            return false;
    }
    return !path.isEmpty() && path.trimmed() == path;
}

} // namespace

QString authorityBundle()
{
    const QString named = qEnvironmentVariable("ZTWIZARD_CA_FILE");
    return named.isEmpty() ? QString::fromLatin1(SystemBundle) : named;
}

RoadSettings settingsFor(const QString &serverName)
{
    if (trustedCertificate(serverName))
        return { QStringLiteral("require"), trustedCertificateFile(serverName), false };
    // An allowed server still gets its certificate checked whenever it offers encryption.
    const QString encryption
        = unencryptedAllowed(serverName) ? QStringLiteral("request") : QStringLiteral("require");
    return { encryption, authorityBundle(), true };
}

QString freeTdsSection(const QString &host, int port, const RoadSettings &settings)
{
    if (!plainHost(host))
        throw data::DataError(QStringLiteral("服务器名称“%1”中有不能用于连接的字符。").arg(host));
    if (!plainPath(settings.caFile))
        throw data::DataError(QStringLiteral("证书文件的路径“%1”不能使用。").arg(settings.caFile));

    const QByteArray body = "\thost = " + host.toUtf8() + "\n\tport = " + QByteArray::number(port)
        + "\n\ttds version = " + TdsVersion + "\n\tencryption = " + settings.encryption.toUtf8()
        + "\n\tca file = " + settings.caFile.toUtf8()
        + "\n\tcheck certificate hostname = " + (settings.checkHostname ? "yes" : "no") + "\n";
    const QString name = QStringLiteral("ztwizard_")
        + QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().left(16));

    std::lock_guard lock(guardMutex());
    ConfFile &conf = confFile();
    if (conf.sections.contains(name))
        return name;
    if (!conf.dir.isValid())
        throw data::DataError(
            QStringLiteral("无法建立连接设置文件：临时文件夹“%1”不能写入。").arg(QDir::tempPath()));
    conf.sections.insert(name, body);
    QByteArray text = "# Written by ztwizard for its own connections; removed when it ends.\n";
    for (auto it = conf.sections.cbegin(); it != conf.sections.cend(); ++it)
        text += '[' + it.key().toLatin1() + "]\n" + it.value();
    const QString path = conf.dir.filePath(QStringLiteral("freetds.conf"));
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        throw data::DataError(
            QStringLiteral("无法写入连接设置文件“%1”（%2）。").arg(path, out.errorString()));
    if (!conf.named) {
        // FreeTDS reads the file at every connection, from this variable only.
        qputenv("FREETDSCONF", QFile::encodeName(path));
        conf.named = true;
    }
    return name;
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
            return AfterFailure::RoadFine;
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
    refusal.certificate = probe.chain.first();
    tls::describe(refusal.certificate, refusal.info);
    const tls::Verdict verdict = tls::verifyChain(probe.chain, authorityBundle(), host);
    const std::optional<QByteArray> trusted = trustedCertificate(serverName);
    if (verdict.ok()) {
        if (!trusted)
            return AfterFailure::RoadFine;
        // A certificate from an authority replaces the one trusted by hand.
        forgetCertificate(serverName);
        return AfterFailure::TryAgain;
    }
    if (trusted) {
        if (*trusted == refusal.certificate)
            return AfterFailure::RoadFine;
        refusal.kind = Refusal::Kind::ChangedCertificate;
        refusal.trustedSha256 = tls::sha256Fingerprint(*trusted);
        return AfterFailure::Refused;
    }
    refusal.kind = Refusal::Kind::UnknownCertificate;
    if (!verdict.chainTrusted) {
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
        trustCertificate(refusal.serverName, refusal.certificate);
        return true;
    case Refusal::Kind::Unencrypted:
        allowUnencrypted(refusal.serverName);
        return true;
    case Refusal::Kind::Strict:
    case Refusal::Kind::NoAnswer:
    case Refusal::Kind::HandshakeFailed:
        break;
    }
    return false;
}

} // namespace zt::guard
