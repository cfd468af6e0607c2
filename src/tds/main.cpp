// ztwizard-tds: serves one instance of the embedded server over TDS, for tests and
// demonstrations of the SQL Server road (FreeTDS, unixODBC's isql, the wizard itself).

#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "embedded/instance.h"
#include "install/installation.h"
#include "install/sharedfiles.h"
#include "tds/server.h"
#include "tls/certificate.h"
#include "tls/session.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <limits>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace {

int g_stopPipe[2] = { -1, -1 };

void requestStop(int)
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(g_stopPipe[1], &byte, 1);
}

int fail(const QString &text, int status = 1)
{
    std::fprintf(stderr, "ztwizard-tds: %s\n", qPrintable(text));
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    zt::install::shareNewFilesWithGroup();
    zt::embedded::installBackend();
    // Few allocator arenas: each connection's thread would otherwise get one of its own, which
    // keeps its peak after the connection has gone.
    ::mallopt(M_ARENA_MAX, 2);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ztwizard-tds"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves an embedded-server instance over TDS."));
    parser.addHelpOption();
    const QCommandLineOption listenOption(QStringLiteral("listen"),
        QStringLiteral("Address to listen on (port 0: any free port)."), QStringLiteral("HOST:PORT"),
        QStringLiteral("127.0.0.1:1433"));
    const QCommandLineOption instanceOption(QStringLiteral("instance"),
        QStringLiteral("Instance to serve (default: the default instance)."), QStringLiteral("NAME"));
    const QCommandLineOption browserOption(QStringLiteral("browser"),
        QStringLiteral("Answer resolution-protocol requests on this UDP address."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
        QStringLiteral("Hold every packet, in each direction, this long."), QStringLiteral("MS"),
        QStringLiteral("0"));
    const QCommandLineOption remoteOption(
        QStringLiteral("allow-remote"), QStringLiteral("Allow addresses other than loopback."));
    const QCommandLineOption directoryOption(QStringLiteral("directory"),
        QStringLiteral("Installation directory whose instance is served (default: this program's)."),
        QStringLiteral("DIR"));
    const QCommandLineOption maxConnectionsOption(QStringLiteral("max-connections"),
        QStringLiteral("Connections served at once; more are closed at once (default 64)."),
        QStringLiteral("N"), QStringLiteral("64"));
    const QCommandLineOption idleOption(QStringLiteral("idle-timeout"),
        QStringLiteral("Close a logged-in connection idle this long (default 28800)."),
        QStringLiteral("SECONDS"), QStringLiteral("28800"));
    const QCommandLineOption requestTimeoutOption(QStringLiteral("request-timeout"),
        QStringLiteral("Close a connection whose login or request stalls this long (default 30)."),
        QStringLiteral("SECONDS"), QStringLiteral("30"));
    const QCommandLineOption maxRequestOption(QStringLiteral("max-request"),
        QStringLiteral("Largest request in bytes (default: 65,536 packets, at most 64 MiB)."),
        QStringLiteral("BYTES"), QStringLiteral("0"));
    const QCommandLineOption statsOption(
        QStringLiteral("stats"), QStringLiteral("Print the number of requests and packets when ending."));
    const QCommandLineOption collationOption(QStringLiteral("collation"),
        QStringLiteral("Default collation of the instance when it is made here (Chinese_PRC_CI_AS, "
                       "SQL_Latin1_General_CP1_CI_AS, Chinese_Taiwan_Stroke_CI_AS, ...); an existing "
                       "instance must have it."),
        QStringLiteral("NAME"));
    const QCommandLineOption encryptionOption(QStringLiteral("encryption"),
        QStringLiteral("off (no TLS), offered (the client chooses, as SQL Server does by default), forced "
                       "(every connection encrypted) or strict (TDS 8.0 only: TLS from the first byte)."),
        QStringLiteral("MODE"), QStringLiteral("offered"));
    const QCommandLineOption certificateOption(QStringLiteral("certificate"),
        QStringLiteral("The server's certificate (PEM, the chain after it); without it a self-signed one is "
                       "made at start."),
        QStringLiteral("PEM"));
    const QCommandLineOption keyOption(
        QStringLiteral("key"), QStringLiteral("The certificate's private key (PEM)."), QStringLiteral("PEM"));
    parser.addOptions({ listenOption, instanceOption, browserOption, delayOption, remoteOption,
        directoryOption, statsOption, maxConnectionsOption, idleOption, requestTimeoutOption,
        maxRequestOption, collationOption, encryptionOption, certificateOption, keyOption });
    parser.process(app);

    zt::tds::Endpoint listen;
    if (!zt::tds::parseEndpoint(parser.value(listenOption), listen))
        return fail(QStringLiteral("--listen takes HOST:PORT with an IPv4 address"), 2);
    zt::tds::Endpoint browser;
    const bool withBrowser = parser.isSet(browserOption);
    if (withBrowser && !zt::tds::parseEndpoint(parser.value(browserOption), browser))
        return fail(QStringLiteral("--browser takes HOST:PORT with an IPv4 address"), 2);
    bool delayOk = false;
    const int delayMs = parser.value(delayOption).toInt(&delayOk);
    if (!delayOk || delayMs < 0)
        return fail(QStringLiteral("--delay takes a number of milliseconds"), 2);
    if (!parser.isSet(remoteOption)
        && (!zt::tds::isLoopback(listen.host) || (withBrowser && !zt::tds::isLoopback(browser.host))))
        return fail(QStringLiteral("refusing an address outside loopback without --allow-remote"), 2);
    if (parser.isSet(directoryOption))
        zt::install::setDirectory(parser.value(directoryOption));
    zt::tds::EncryptionMode encryption = zt::tds::EncryptionMode::Offered;
    if (!zt::tds::parseEncryptionMode(parser.value(encryptionOption), encryption))
        return fail(QStringLiteral("--encryption takes off, offered, forced or strict"), 2);
    if (parser.isSet(certificateOption) != parser.isSet(keyOption))
        return fail(QStringLiteral("--certificate and --key go together"), 2);

    const QString instance = parser.value(instanceOption);
    zt::tds::ServerSettings settings;
    settings.root = zt::embedded::defaultRoot();
    settings.instance = instance.isEmpty() ? QStringLiteral("default") : instance;
    settings.serverName = QStringLiteral("ZTWIZARD");
    settings.delayMs = delayMs;
    settings.encryption = encryption;
    if (encryption != zt::tds::EncryptionMode::Off) {
        QString why;
        if (parser.isSet(certificateOption)) {
            QFile certificate(parser.value(certificateOption));
            QFile key(parser.value(keyOption));
            if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
                return fail(QStringLiteral("cannot read %1")
                                .arg(certificate.isOpen() ? key.fileName() : certificate.fileName()),
                    2);
            settings.identity = { certificate.readAll(), key.readAll() };
        } else {
            // As SQL Server does when no certificate is provisioned: one of its own, made now.
            settings.identity = zt::tls::makeSelfSigned(
                QStringLiteral("SSL_Self_Signed_Fallback"), { listen.host }, 3650, &why);
        }
        const QList<QByteArray> chain = zt::tls::derFromPem(settings.identity.certificatePem);
        if (chain.isEmpty())
            return fail(why.isEmpty()
                    ? QStringLiteral("no certificate in %1").arg(parser.value(certificateOption))
                    : why,
                2);
        // The key is proved by a session made with it.
        if (!zt::tls::Session::server(settings.identity, {}, &why))
            return fail(QStringLiteral("the certificate and key cannot serve: %1").arg(why), 2);
        std::printf("certificate sha256 %s\n", qPrintable(zt::tls::sha256Fingerprint(chain.first())));
    }
    bool numbersOk = true;
    auto number = [&](const QCommandLineOption &option) {
        bool ok = false;
        const qint64 value = parser.value(option).toLongLong(&ok);
        numbersOk = numbersOk && ok && value >= 0 && value <= std::numeric_limits<int>::max();
        return value;
    };
    settings.maxConnections = int(number(maxConnectionsOption));
    settings.limits.idleTimeoutMs
        = int(std::min<qint64>(number(idleOption) * 1000, std::numeric_limits<int>::max()));
    settings.limits.requestTimeoutMs
        = int(std::min<qint64>(number(requestTimeoutOption) * 1000, std::numeric_limits<int>::max()));
    settings.limits.maxRequestBytes = number(maxRequestOption);
    if (!numbersOk || settings.maxConnections < 1 || settings.limits.idleTimeoutMs < 1000
        || settings.limits.requestTimeoutMs < 1000)
        return fail(
            QStringLiteral("--max-connections, --idle-timeout and --request-timeout take positive numbers"),
            2);
    try {
        // Made now when new, so that its collation is the one asked for (without the option it is
        // made when a client first logs in, with the default collation).
        if (parser.isSet(collationOption)) {
            const zt::embedded::Instance served(
                settings.root, settings.instance, parser.value(collationOption));
            if (served.collation().name.compare(parser.value(collationOption), Qt::CaseInsensitive) != 0)
                return fail(QStringLiteral("the instance was made with collation %1; a server's collation is "
                                           "chosen when it is made")
                                .arg(served.collation().name),
                    2);
        }
    } catch (const zt::data::DataError &e) {
        return fail(e.message(), 2);
    }

    if (::pipe2(g_stopPipe, O_CLOEXEC) != 0)
        return fail(QStringLiteral("cannot create a pipe"));
    struct sigaction action
    {
    };
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    zt::tds::Server server(settings);
    const int port = server.listen(listen);
    if (port < 0)
        return fail(server.errorText());
    std::unique_ptr<zt::tds::Browser> responder;
    if (withBrowser) {
        responder = std::make_unique<zt::tds::Browser>(
            listen.host, instance.isEmpty() ? QStringLiteral("MSSQLSERVER") : instance, port);
        const int browserPort = responder->start(browser);
        if (browserPort < 0)
            return fail(responder->errorText());
        std::printf("browser on %s:%d\n", qPrintable(browser.host), browserPort);
    }
    std::printf("listening on %s:%d\n", qPrintable(listen.host), port);
    std::fflush(stdout);

    server.serve(g_stopPipe[0]);
    responder.reset();
    if (parser.isSet(statsOption)) {
        const zt::tds::Traffic &t = server.traffic();
        std::printf("connections %ld requests %ld packets-in %ld packets-out %ld\n", t.connections.load(),
            t.requests.load(), t.packetsIn.load(), t.packetsOut.load());
        std::printf("batches %ld sp_executesql %ld sp_prepare %ld sp_execute %ld sp_prepexec %ld "
                    "sp_unprepare %ld other-calls %ld\n",
            t.batches.load(), t.executeSql.load(), t.prepare.load(), t.execute.load(), t.prepExec.load(),
            t.unprepare.load(), t.otherCalls.load());
        std::printf("refused-connections %ld too-large %ld timed-out %ld\n", t.refusedConnections.load(),
            t.tooLarge.load(), t.timedOut.load());
        std::printf(
            "text-parameters varchar %ld nvarchar %ld\n", t.narrowTextParams.load(), t.wideTextParams.load());
        std::printf("encryption %s encrypted %ld login-only %ld clear %ld refused %ld\n",
            qPrintable(zt::tds::encryptionModeName(settings.encryption)), t.encryptedFully.load(),
            t.encryptedLogin.load(), t.inClear.load(), t.refusedEncryption.load());
        std::fflush(stdout);
    }
    return 0;
}
