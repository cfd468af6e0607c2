#pragma once

#include "data/connectionstring.h"
#include "encryption.h"
#include "rpc.h"
#include "tls/certificate.h"
#include "tokens.h"
#include "wire.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace zt::embedded {
class Session;
}
namespace zt::data {
class Backend;
}

namespace zt::tds {

// What every connection of one server shares.
struct ServerSettings
{
    QString root; // the embedded server's instance folder root
    QString instance; // the instance served
    QString serverName; // the name messages carry
    int delayMs = 0;
    ChannelLimits limits;
    int maxConnections = 64; // connections beyond this are closed as soon as they are accepted
    EncryptionMode encryption = EncryptionMode::Off;
    tls::Identity identity; // the certificate shown when encrypting
};

// Counters of a server's traffic.
struct Traffic
{
    std::atomic<long> requests { 0 };
    std::atomic<long> packetsIn { 0 };
    std::atomic<long> packetsOut { 0 };
    std::atomic<long> connections { 0 };
    // Requests by kind: SQL batches, and calls of each procedure the client calls by number.
    std::atomic<long> batches { 0 };
    std::atomic<long> executeSql { 0 };
    std::atomic<long> prepare { 0 };
    std::atomic<long> execute { 0 };
    std::atomic<long> prepExec { 0 };
    std::atomic<long> unprepare { 0 };
    std::atomic<long> otherCalls { 0 };
    // Connections ended by the server: refused beyond the bound, requests too large, clients
    // that kept it waiting too long.
    std::atomic<long> refusedConnections { 0 };
    std::atomic<long> tooLarge { 0 };
    std::atomic<long> timedOut { 0 };
    // Parameters of procedure calls sent as char/varchar/text (in the client's code page) and
    // as nchar/nvarchar/ntext (Unicode).
    std::atomic<long> narrowTextParams { 0 };
    std::atomic<long> wideTextParams { 0 };
    // Connections by what TLS covered: everything after the handshake, only the login, nothing;
    // and those ended over encryption (a client that would not encrypt as required, a failed
    // handshake).
    std::atomic<long> encryptedFully { 0 };
    std::atomic<long> encryptedLogin { 0 };
    std::atomic<long> inClear { 0 };
    std::atomic<long> refusedEncryption { 0 };
};

// One client connection: pre-login, login, then requests answered one at a time on a session
// of the embedded server, until the client leaves.
class Connection final
{
public:
    Connection(int fd, const ServerSettings &settings, Traffic &traffic);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void run();

private:
    struct Prepared
    {
        QString sql;
        QStringList names;
    };

    enum class Secured { Clear, LoginOnly, Full, Refused };

    void serve();
    void finish();
    // Answers a TDS 7.x pre-login and runs the TLS handshake it leads to; false when the
    // connection ends.
    bool prelogin(const QByteArray &message);
    bool startTls(bool inPrelogin);
    bool login(const QByteArray &message);
    QByteArray batch(const QByteArray &message);
    QByteArray rpc(const QByteArray &message);
    void call(TokenWriter &out, const RpcCall &call, bool last);
    // Runs one statement; writes its results, or its error, and a DONE of the given token kind.
    bool runStatement(
        TokenWriter &out, const QString &sql, const QList<QVariant> &params, bool inProc, std::uint16_t more);
    bool serverStatement(TokenWriter &out, QString &sql, bool inProc, std::uint16_t more);
    void useDatabase(TokenWriter &out, const QString &database);

    Channel m_channel;
    Secured m_secured = Secured::Clear;
    const ServerSettings &m_settings;
    Traffic &m_traffic;
    data::Credentials m_login;
    QString m_appName; // the LOGIN7's application name, APP_NAME() in every session of the client
    std::unique_ptr<data::Backend> m_backend;
    embedded::Session *m_session = nullptr;
    QHash<int, Prepared> m_prepared;
    int m_nextHandle = 1;
};

} // namespace zt::tds
