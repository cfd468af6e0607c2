#pragma once

// Runs ztwizard-tds for a test: started on a free loopback port, ended by its process id.

#include "testcertificates.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <csignal>

#include <sys/prctl.h>

namespace zt::test {

class TdsProcess final
{
public:
    // Serves the installation directory dir; extra arguments (--instance, --browser, --delay,
    // --encryption) are passed on. Unless they name a certificate or turn encryption off, the
    // server offers encryption with the tests' certificate for 127.0.0.1, issued by the authority
    // ZTWIZARD_CA_FILE names. port() is 0 when the server did not come up.
    explicit TdsProcess(const QString &dir, const QStringList &extra = {})
    {
        QStringList arguments { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
            QStringLiteral("--directory"), dir, QStringLiteral("--stats") };
        const bool ownCertificate = extra.contains(QStringLiteral("--certificate"))
            || extra.contains(QStringLiteral("--self-signed")) || extra.contains(QStringLiteral("off"));
        if (!ownCertificate) {
            const TestCertificates &certificates = testCertificates();
            arguments << QStringLiteral("--certificate") << certificates.certificateFile
                      << QStringLiteral("--key") << certificates.keyFile;
        }
        QStringList rest = extra;
        rest.removeAll(QStringLiteral("--self-signed"));
        m_process.setProgram(QStringLiteral(ZT_TDS_EXECUTABLE));
        m_process.setArguments(arguments + rest);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        // A test that dies takes its server with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start();
        static const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
        static const QRegularExpression browser(QStringLiteral("^browser on 127\\.0\\.0\\.1:(\\d+)$"));
        while (m_port == 0 && m_process.waitForReadyRead(10000)) {
            while (m_process.canReadLine()) {
                const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                if (line.startsWith(QLatin1StringView("certificate sha256 ")))
                    m_fingerprint = line.mid(19);
                if (const auto m = browser.match(line); m.hasMatch())
                    m_browserPort = m.captured(1).toInt();
                if (const auto m = listening.match(line); m.hasMatch())
                    m_port = m.captured(1).toInt();
            }
        }
    }

    ~TdsProcess() { stop(); }
    TdsProcess(const TdsProcess &) = delete;
    TdsProcess &operator=(const TdsProcess &) = delete;

    int port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }
    int browserPort() const { return m_browserPort; }
    // The SHA-256 fingerprint of the certificate it shows (empty with encryption off).
    QString fingerprint() const { return m_fingerprint; }
    // "127.0.0.1,PORT", as a user types it.
    QString serverName() const { return QStringLiteral("127.0.0.1,%1").arg(m_port); }

    // Ends the server with SIGTERM (SIGKILL if it does not end) and returns what it printed
    // when ending; exitedCleanly tells whether it ended by itself with status 0.
    QString stop(bool *exitedCleanly = nullptr)
    {
        if (m_process.state() == QProcess::NotRunning)
            return {};
        m_process.terminate();
        bool clean = m_process.waitForFinished(10000);
        if (!clean) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        clean = clean && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
        if (exitedCleanly)
            *exitedCleanly = clean;
        return QString::fromUtf8(m_process.readAllStandardOutput());
    }

private:
    QProcess m_process;
    int m_port = 0;
    int m_browserPort = 0;
    QString m_fingerprint;
};

} // namespace zt::test
