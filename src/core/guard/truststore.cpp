#include "truststore.h"

#include "data/dataerror.h"
#include "data/odbcbackend.h"
#include "install/installation.h"
#include "tls/certificate.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QUrl>

namespace zt::guard {

namespace {

// The file name of a server's decision: its key with everything but letters, digits, '.', '-'
// and '_' percent-encoded, so no name reaches outside the folder.
QString fileStem(const QString &serverName)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(serverKey(serverName), QByteArrayLiteral(".-_")));
}

void writeWhole(const QString &path, const QByteArray &content)
{
    QDir().mkpath(trustFolder());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit()) {
        throw data::DataError(
            QStringLiteral("无法保存服务器的信任设置：文件“%1”不能写入（%2）。请检查这个文件夹的写入权限。")
                .arg(QDir::toNativeSeparators(path), out.errorString()));
    }
}

} // namespace

QString serverKey(const QString &serverName)
{
    const data::odbc::ServerAddress address = data::odbc::parseServerName(serverName.trimmed());
    const QString host = address.host.toLower();
    if (!address.instance.isEmpty())
        return host + u'\\' + address.instance.toUpper();
    return host + u',' + QString::number(address.port);
}

QString trustFolder()
{
    return install::directory() + QStringLiteral("data/servertrust/");
}

QString trustedCertificateFile(const QString &serverName)
{
    return trustFolder() + fileStem(serverName) + QStringLiteral(".pem");
}

std::optional<QByteArray> trustedCertificate(const QString &serverName)
{
    QFile file(trustedCertificateFile(serverName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> certificates = tls::derFromPem(file.readAll());
    if (certificates.isEmpty())
        return std::nullopt;
    return certificates.first();
}

namespace {

const QByteArray AuthorityMark = "# ztwizard: the authority trusted for SQL Server ";

} // namespace

void trustCertificate(const QString &serverName, const QList<QByteArray> &chain)
{
    if (chain.isEmpty())
        return;
    const bool authority = chain.size() > 1;
    const QByteArray &der = authority ? chain.constLast() : chain.constFirst();
    // The comment lines say what the file is to whoever opens it; FreeTDS reads the certificate.
    QByteArray content
        = (authority ? AuthorityMark : QByteArray("# ztwizard: the certificate trusted for SQL Server "))
        + serverKey(serverName).toUtf8() + "\n# SHA-256 " + tls::sha256Fingerprint(der).toLatin1()
        + ", trusted " + QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() + "\n";
    content += tls::pemFromDer(der);
    writeWhole(trustedCertificateFile(serverName), content);
}

bool trustsAuthority(const QString &serverName)
{
    QFile file(trustedCertificateFile(serverName));
    return file.open(QIODevice::ReadOnly) && file.readLine().startsWith(AuthorityMark);
}

void forgetCertificate(const QString &serverName)
{
    QFile::remove(trustedCertificateFile(serverName));
}

bool unencryptedAllowed(const QString &serverName)
{
    return QFile::exists(trustFolder() + fileStem(serverName) + QStringLiteral(".unencrypted"));
}

void forbidUnencrypted(const QString &serverName)
{
    QFile::remove(trustFolder() + fileStem(serverName) + QStringLiteral(".unencrypted"));
}

void allowUnencrypted(const QString &serverName)
{
    writeWhole(trustFolder() + fileStem(serverName) + QStringLiteral(".unencrypted"),
        "# ztwizard: SQL Server " + serverKey(serverName).toUtf8()
            + " may be reached without encryption, allowed "
            + QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() + "\n");
}

} // namespace zt::guard
