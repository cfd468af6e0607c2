#include "connection.h"

#include "batchreply.h"
#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "embedded/session.h"
#include "loginpackets.h"
#include "results.h"
#include "sqltext.h"

#include <QRegularExpression>

#include <malloc.h>
#include <unistd.h>

namespace zt::tds {

namespace {

constexpr int LoginFailed = 18456;
constexpr int UntrustedDomain = 18452;
constexpr int CannotOpenDatabase = 4060;
constexpr int NoSuchDatabase = 911;

ServerMessage info(int number, const QString &text)
{
    ServerMessage m = serverMessage(number, text);
    m.severity = 0;
    return m;
}

// Names of procedures the client may call by name, as the numbers it may call them by.
ProcId procedureId(const RpcCall &call)
{
    if (call.id != ProcId::None)
        return call.id;
    QString name = call.name.toLower();
    name = name.section(u'.', -1);
    if (name == QLatin1StringView("sp_executesql"))
        return ProcId::ExecuteSql;
    if (name == QLatin1StringView("sp_prepare"))
        return ProcId::Prepare;
    if (name == QLatin1StringView("sp_execute"))
        return ProcId::Execute;
    if (name == QLatin1StringView("sp_prepexec"))
        return ProcId::PrepExec;
    if (name == QLatin1StringView("sp_unprepare"))
        return ProcId::Unprepare;
    return ProcId::None;
}

// Unnamed values take the declared names in order.
QList<RpcParam> named(QList<RpcParam> values, const QStringList &names)
{
    for (qsizetype i = 0; i < values.size() && i < names.size(); ++i) {
        if (values[i].name.isEmpty())
            values[i].name = names.at(i);
    }
    return values;
}

QString unquoted(QString name)
{
    name = name.trimmed();
    if (name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2).replace(QLatin1StringView("]]"), QLatin1StringView("]"));
    return name;
}

} // namespace

Connection::Connection(int fd, const ServerSettings &settings, Traffic &traffic)
    : m_channel(fd, settings.delayMs, settings.limits)
    , m_settings(settings)
    , m_traffic(traffic)
{ }

Connection::~Connection() = default;

void Connection::serve()
{
    if (m_settings.encryption != EncryptionMode::Off) {
        // A TLS handshake record first: TDS 8.0, which SQL Server accepts whatever else it is
        // set to. Under strict encryption nothing else is answered.
        constexpr int TlsHandshakeRecord = 0x16;
        const int first = m_channel.peekFirstByte();
        if (first < 0) {
            finish();
            return;
        }
        if (first == TlsHandshakeRecord) {
            if (!startTls(false))
                return;
        } else if (m_settings.encryption == EncryptionMode::Strict) {
            m_secured = Secured::Refused;
            return;
        }
    }

    Message message;
    bool loggedIn = false;
    while (m_channel.read(message)) {
        ++m_traffic.requests;
        const bool large = message.payload.size() > (1 << 20);
        QByteArray reply;
        try {
            switch (message.type) {
            case PacketType::Prelogin:
                if (loggedIn || !prelogin(message.payload))
                    return;
                continue;
            case PacketType::Login7:
                // Where encryption is required a login in clear is not read.
                if (loggedIn || (m_settings.encryption >= EncryptionMode::Forced && !m_channel.encrypted())) {
                    if (!loggedIn)
                        m_secured = Secured::Refused;
                    return;
                }
                loggedIn = login(message.payload);
                if (!loggedIn)
                    return;
                m_channel.setLoggedIn();
                continue;
            case PacketType::SqlBatch:
                if (!loggedIn)
                    return;
                ++m_traffic.batches;
                reply = batch(message.payload);
                break;
            case PacketType::Rpc:
                if (!loggedIn)
                    return;
                reply = rpc(message.payload);
                break;
            case PacketType::Attention: {
                // Every request is answered whole before the next is read, so a cancel always
                // comes after the work it meant: it is acknowledged.
                TokenWriter out(m_settings.serverName);
                out.done(DoneAttention);
                reply = out.take();
                break;
            }
            default:
                return;
            }
        } catch (const Reader::Malformed &) {
            return;
        }
        if (!m_channel.write(PacketType::Reply, reply))
            break;
        if (large) {
            message.payload = QByteArray();
            reply = QByteArray();
            ::malloc_trim(0);
        }
    }
    finish();
}

void Connection::finish()
{
    // As SQL Server does, a request beyond the bound or a client that stalls loses its
    // connection without a reply.
    if (m_channel.ended() == Channel::End::TooLarge)
        ++m_traffic.tooLarge;
    else if (m_channel.ended() == Channel::End::TimedOut)
        ++m_traffic.timedOut;
    m_traffic.packetsIn += m_channel.packetsIn();
    m_traffic.packetsOut += m_channel.packetsOut();
}

bool Connection::login(const QByteArray &message)
{
    const LoginRequest request = parseLogin7(message);
    TokenWriter out(m_settings.serverName);
    auto refuse = [&](const QList<ServerMessage> &messages) {
        for (const ServerMessage &m : messages)
            out.error(m);
        out.done(DoneError);
        m_channel.write(PacketType::Reply, out.take());
        m_traffic.packetsIn += m_channel.packetsIn();
        m_traffic.packetsOut += m_channel.packetsOut();
        return false;
    };
    if (request.integrated) {
        return refuse({ serverMessage(UntrustedDomain,
            QStringLiteral("Login failed. The login is from an untrusted domain and cannot be used with "
                           "Integrated authentication.")) });
    }
    m_login = data::Credentials::sql(request.userName, request.password);
    try {
        m_backend = embedded::connect(m_settings.root, m_settings.instance, m_login, request.database);
    } catch (const data::DataError &e) {
        QList<ServerMessage> messages = messagesOf(e);
        // A server names the login that failed after the database it could not open.
        if (!messages.isEmpty() && messages.first().number == CannotOpenDatabase) {
            messages.append(serverMessage(
                LoginFailed, QStringLiteral("Login failed for user '%1'.").arg(request.userName)));
        }
        return refuse(messages);
    }
    m_session = dynamic_cast<embedded::Session *>(m_backend.get());
    if (!m_session)
        return false;
    m_appName = request.appName;
    m_session->setApplicationName(m_appName);

    const int packetSize = request.packetSize == 0 ? 4096 : std::clamp(int(request.packetSize), 512, 32767);
    const QString database = m_session->databaseName();
    out.envChange(EnvDatabase, database, QStringLiteral("master"));
    out.info(info(5701, QStringLiteral("Changed database context to '%1'.").arg(database)));
    out.envChangeCollation(m_session->collation().tdsBytes());
    out.envChange(EnvLanguage, QStringLiteral("us_english"), QString());
    out.info(info(5703, QStringLiteral("Changed language setting to us_english.")));
    out.loginAck(answeredVersion(request.tdsVersion), QStringLiteral("Microsoft SQL Server"));
    out.envChange(EnvPacketSize, QString::number(packetSize), QString::number(packetSize));
    out.done(DoneFinal);
    const bool sent = m_channel.write(PacketType::Reply, out.take());
    m_channel.setPacketSize(packetSize);
    return sent;
}

QByteArray Connection::batch(const QByteArray &message)
{
    const qsizetype start = bodyStart(message);
    const QString sql = Reader(message, start).utf16((message.size() - start) / 2);
    TokenWriter out(m_settings.serverName);
    runStatement(out, sql, {}, false, 0);
    return out.take();
}

QByteArray Connection::rpc(const QByteArray &message)
{
    TokenWriter out(m_settings.serverName);
    QList<RpcCall> calls;
    try {
        calls = parseRpc(message);
    } catch (const Unsupported &unsupported) {
        out.error(serverMessage(8009,
            QStringLiteral("The incoming tabular data stream (TDS) remote procedure call (RPC) protocol "
                           "stream is incorrect. Parameter type 0x%1 is unknown.")
                .arg(unsupported.type, 2, 16, QChar(u'0'))));
        out.done(DoneError);
        return out.take();
    }
    for (qsizetype i = 0; i < calls.size(); ++i)
        call(out, calls.at(i), i + 1 == calls.size());
    return out.take();
}

void Connection::call(TokenWriter &out, const RpcCall &call, bool last)
{
    const std::uint16_t more = last ? 0 : DoneMore;
    const QList<RpcParam> &p = call.params;
    auto text = [&](qsizetype i) { return i < p.size() ? p.at(i).value.toString() : QString(); };
    auto finish = [&](bool ok) {
        if (ok)
            out.returnStatus(0);
        out.doneProc(std::uint16_t((ok ? 0 : DoneError) | more));
    };

    for (const RpcParam &param : p) {
        if (param.narrowText())
            ++m_traffic.narrowTextParams;
        else if (param.type == 0xe7 || param.type == 0xef || param.type == 0x63)
            ++m_traffic.wideTextParams;
    }
    switch (procedureId(call)) {
    case ProcId::ExecuteSql:
        ++m_traffic.executeSql;
        break;
    case ProcId::Prepare:
        ++m_traffic.prepare;
        break;
    case ProcId::Execute:
        ++m_traffic.execute;
        break;
    case ProcId::PrepExec:
        ++m_traffic.prepExec;
        break;
    case ProcId::Unprepare:
        ++m_traffic.unprepare;
        break;
    case ProcId::CursorOpen:
    case ProcId::None:
        ++m_traffic.otherCalls;
        break;
    }

    switch (procedureId(call)) {
    case ProcId::ExecuteSql: {
        const QList<RpcParam> values = named(p.mid(2), declaredNames(text(1)));
        const BoundStatement bound = bindNamed(text(0), values);
        finish(runStatement(out, bound.sql, bound.params, true, DoneMore));
        return;
    }
    case ProcId::Prepare:
    case ProcId::PrepExec: {
        const int handle = m_nextHandle++;
        m_prepared.insert(handle, { text(2), declaredNames(text(1)) });
        bool ok = true;
        if (procedureId(call) == ProcId::PrepExec) {
            const BoundStatement bound = bindNamed(text(2), named(p.mid(3), declaredNames(text(1))));
            ok = runStatement(out, bound.sql, bound.params, true, DoneMore);
        }
        out.returnStatus(0);
        out.returnValueInt(0, p.isEmpty() ? QString() : p.first().name, handle);
        out.doneProc(std::uint16_t((ok ? 0 : DoneError) | more));
        return;
    }
    case ProcId::Execute: {
        const int handle = p.isEmpty() ? 0 : p.first().value.toInt();
        const auto prepared = m_prepared.constFind(handle);
        if (prepared == m_prepared.cend()) {
            out.error(serverMessage(
                8179, QStringLiteral("Could not find prepared statement with handle %1.").arg(handle)));
            finish(false);
            return;
        }
        const BoundStatement bound = bindNamed(prepared->sql, named(p.mid(1), prepared->names));
        finish(runStatement(out, bound.sql, bound.params, true, DoneMore));
        return;
    }
    case ProcId::CursorOpen: {
        // The server offers no cursors: as SQL Server does for a statement that cannot have
        // one (FreeTDS opens one for SET QUOTED_IDENTIFIER ON), it runs the statement directly.
        ServerMessage direct = serverMessage(16954, QStringLiteral("Executing SQL directly; no cursor."));
        direct.severity = 10;
        out.info(direct);
        // What it answers goes with the procedure's own DONE: FreeTDS reads a cursor's answer up
        // to the first DONE and would cancel the rest.
        bool ok = true;
        try {
            data::ResultSet ignored;
            m_session->run(text(1), {}, &ignored);
        } catch (const data::DataError &e) {
            for (const ServerMessage &m : messagesOf(e))
                m.severity == 0 ? out.info(m) : out.error(m);
            ok = false;
        }
        out.returnStatus(0);
        for (qsizetype i = 0; i < p.size(); ++i) {
            if (p.at(i).output)
                out.returnValueInt(std::uint16_t(i), p.at(i).name, i == 0 ? 0 : p.at(i).value.toInt());
        }
        out.doneProc(std::uint16_t((ok ? 0 : DoneError) | more));
        return;
    }
    case ProcId::Unprepare:
        if (!p.isEmpty())
            m_prepared.remove(p.first().value.toInt());
        finish(true);
        return;
    case ProcId::None:
        break;
    }
    // The catalogue procedures the embedded server offers (sp_tables, sp_columns, ...), called by name.
    QList<QVariant> args;
    for (const RpcParam &param : p)
        args << param.value;
    BatchReply reply(out, true, DoneMore, m_session->collation());
    try {
        m_session->callProcedure(call.name.section(u'.', -1), args, reply);
        reply.finish();
        finish(true);
    } catch (const data::DataError &e) {
        reply.fail(e);
        finish(false);
    }
}

bool Connection::serverStatement(TokenWriter &out, QString &sql, bool inProc, std::uint16_t more)
{
    // USE db, alone or first in a batch: the connection opens a session on that database and
    // runs the rest of the batch there.
    static const QRegularExpression use(
        QStringLiteral("^\\s*use\\s+(\\[(?:[^\\]]|\\]\\])+\\]|[^\\s;]+)\\s*(?:;|\\s|$)(.*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    auto done = [&](std::uint16_t status) {
        if (inProc)
            out.doneInProc(std::uint16_t(status | more));
        else
            out.done(std::uint16_t(status | more));
    };
    const QRegularExpressionMatch m = use.match(sql);
    if (!m.hasMatch())
        return false;
    const QString database = unquoted(m.captured(1));
    const QString rest = m.captured(2).trimmed();
    try {
        useDatabase(out, database);
    } catch (const data::DataError &) {
        out.error(serverMessage(NoSuchDatabase,
            QStringLiteral("Database '%1' does not exist. Make sure that the name is entered correctly.")
                .arg(database)));
        done(DoneError);
        return true;
    }
    if (rest.isEmpty() || rest == QLatin1StringView(";")) {
        done(0);
        return true;
    }
    if (inProc)
        out.doneInProc(DoneMore);
    else
        out.done(DoneMore);
    sql = rest;
    return false;
}

void Connection::useDatabase(TokenWriter &out, const QString &database)
{
    const QString before = m_session->databaseName();
    std::unique_ptr<data::Backend> backend
        = embedded::connect(m_settings.root, m_settings.instance, m_login, database);
    auto *session = dynamic_cast<embedded::Session *>(backend.get());
    if (!session)
        return;
    m_session = session;
    m_session->setApplicationName(m_appName);
    m_backend = std::move(backend);
    out.envChange(EnvDatabase, m_session->databaseName(), before);
    out.envChangeCollation(m_session->collation().tdsBytes());
    out.info(info(5701, QStringLiteral("Changed database context to '%1'.").arg(m_session->databaseName())));
}

bool Connection::runStatement(
    TokenWriter &out, const QString &sql, const QList<QVariant> &params, bool inProc, std::uint16_t more)
{
    QString statements = sql;
    if (serverStatement(out, statements, inProc, more))
        return true;
    BatchReply reply(out, inProc, more, m_session->collation());
    try {
        m_session->run(rewriteTopOne(statements), params, reply);
        reply.finish();
        return true;
    } catch (const data::DataError &e) {
        reply.fail(e);
        return false;
    }
}

} // namespace zt::tds
