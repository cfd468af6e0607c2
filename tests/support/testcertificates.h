#pragma once

// The certificates of the tests' encrypted road: one test authority and a certificate it issued
// for 127.0.0.1, made once per test process, with ZTWIZARD_CA_FILE naming the authority so that
// the wizard trusts ztwizard-tds as it trusts a server with a certificate from a public CA.

#include "tls/certificate.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace zt::test {

struct TestCertificates
{
    QString authorityFile; // PEM of the test authority
    QString certificateFile; // the server's certificate for 127.0.0.1 and localhost
    QString keyFile;
    QString otherAuthorityFile; // an authority that issued nothing the servers show
    bool ok = false;
};

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Made on first use; also sets ZTWIZARD_CA_FILE for this process and the programs it starts.
inline const TestCertificates &testCertificates()
{
    static QTemporaryDir dir;
    static const TestCertificates made = [] {
        TestCertificates c;
        const tls::Identity authority = tls::makeAuthority(QStringLiteral("ztwizard test authority"), 30);
        const tls::Identity server = tls::issueCertificate(authority, QStringLiteral("127.0.0.1"),
            { QStringLiteral("127.0.0.1"), QStringLiteral("localhost") }, 30);
        const tls::Identity other = tls::makeAuthority(QStringLiteral("another test authority"), 30);
        c.authorityFile = dir.filePath(QStringLiteral("authority.pem"));
        c.certificateFile = dir.filePath(QStringLiteral("server.pem"));
        c.keyFile = dir.filePath(QStringLiteral("server.key"));
        c.otherAuthorityFile = dir.filePath(QStringLiteral("other.pem"));
        c.ok = dir.isValid() && !authority.isNull() && !server.isNull() && !other.isNull()
            && writeFile(c.authorityFile, authority.certificatePem)
            && writeFile(c.certificateFile, server.certificatePem) && writeFile(c.keyFile, server.keyPem)
            && writeFile(c.otherAuthorityFile, other.certificatePem);
        if (c.ok)
            qputenv("ZTWIZARD_CA_FILE", QFile::encodeName(c.authorityFile));
        return c;
    }();
    return made;
}

} // namespace zt::test
