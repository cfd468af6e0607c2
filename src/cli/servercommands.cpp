// Server setup from the command line: the server box's search, a read-only check of a server, and
// page 1's proof of a login with its stored server connection record.

#include "commands.h"
#include "explain.h"
#include "secrets.h"

#include "accountset/outcometext.h"

#include "data/connection.h"
#include "data/dataerror.h"
#include "discovery/browse.h"
#include "discovery/serverssearcher.h"
#include "embedded/embeddedserver.h"
#include "guard/roadguard.h"
#include "servercheck/loginprobe.h"
#include "servercheck/preflight.h"
#include "store/localstore.h"
#include "store/storedservers.h"

#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>

namespace zt::cli {

namespace {

// The login of --user (a SQL login, its password from a file, the environment or the terminal),
// or the integrated login.
std::optional<data::Credentials> loginFromOptions(const QCommandLineParser &options, Report &report)
{
    if (!options.isSet(QStringLiteral("user"))) {
        report.set(QStringLiteral("login"), QStringLiteral("integrated"));
        return data::Credentials::integrated();
    }
    QString problem;
    const auto secret
        = readSecret({ options.value(QStringLiteral("password-file")),
                         QStringLiteral("ZTWIZARD_LOGIN_PASSWORD"), QStringLiteral("登录口令："), {} },
            problem);
    if (!secret) {
        report.message(problem);
        return std::nullopt;
    }
    report.set(QStringLiteral("login"), QStringLiteral("sql"));
    report.set(QStringLiteral("password_from"), secret->from);
    return data::Credentials::sql(options.value(QStringLiteral("user")), secret->text);
}

QString targetText(const discovery::BrowseTarget &target)
{
    switch (target.kind) {
    case discovery::BrowseTarget::Kind::Off:
        return QStringLiteral("off");
    case discovery::BrowseTarget::Kind::Broadcast:
        return QStringLiteral("255.255.255.255:%1").arg(target.port);
    case discovery::BrowseTarget::Kind::Host:
        return QStringLiteral("%1:%2").arg(target.host).arg(target.port);
    }
    return {};
}

// The servers this workstation has stored a login for, as page 1's box offers them again; none
// when the installation has no local configuration database.
QList<store::StoredServer> storedServers(Report &report)
{
    const data::ConnectionString local = store::localAccessString(QStringLiteral("MORVEK.mdb"));
    if (!QFileInfo::exists(local.catalogName()))
        return {};
    data::Connection connection(QStringLiteral("Conn_S"));
    data::Query query(QStringLiteral("ADOQuery2"));
    try {
        store::openLocalConfiguration(connection, query);
        return store::storedServers(query);
    } catch (const data::DataError &e) {
        report.message(QStringLiteral("无法读取本机保存的服务器：") + e.message());
        return {};
    }
}

QString loginText(const store::StoredServer &server)
{
    switch (server.login) {
    case data::Credentials::Kind::Integrated:
        return QStringLiteral("集成登录");
    case data::Credentials::Kind::Sql:
        return QStringLiteral("SQL 登录 ") + server.user;
    case data::Credentials::Kind::None:
        break;
    }
    return QStringLiteral("登录未知");
}

QString loginKey(data::Credentials::Kind kind)
{
    switch (kind) {
    case data::Credentials::Kind::Integrated:
        return QStringLiteral("integrated");
    case data::Credentials::Kind::Sql:
        return QStringLiteral("sql");
    case data::Credentials::Kind::None:
        break;
    }
    return QStringLiteral("unknown");
}

} // namespace

int runServers(const QCommandLineParser &options, Report &report)
{
    const bool explain = options.isSet(QStringLiteral("explain"));
    const discovery::BrowseTarget target = discovery::BrowseTarget::fromEnvironment();
    report.set(QStringLiteral("target"), targetText(target));

    SearchExplainer explainer;
    QStringList embedded;
    std::optional<QString> text;
    {
        StepTimer timer(report, QStringLiteral("search"));
        embedded = zt::embedded::localServerNames();
        text = discovery::TServersSearcher::browse(target, embedded, {}, {}, &explainer);
    }
    // Without a network answer the server box keeps its list; here the embedded instances still
    // stand, as they do with the network search off.
    const QStringList names = text ? discovery::parseBrowseResult(*text) : embedded;
    const bool networkAsked = target.kind != discovery::BrowseTarget::Kind::Off;

    if (explain) {
        report.message(QStringLiteral("内置服务器实例：") + embedded.join(QStringLiteral(", ")));
        if (!networkAsked) {
            report.message(qEnvironmentVariableIsSet("ZTWIZARD_BROWSE_TARGET")
                    ? QStringLiteral("ZTWIZARD_BROWSE_TARGET=%1：不搜索网络。")
                          .arg(qEnvironmentVariable("ZTWIZARD_BROWSE_TARGET"))
                    : QStringLiteral("不搜索网络。"));
        } else {
            report.message(QStringLiteral("网络搜索：ZTWIZARD_BROWSE_TARGET=%1")
                               .arg(qEnvironmentVariableIsSet("ZTWIZARD_BROWSE_TARGET")
                                       ? qEnvironmentVariable("ZTWIZARD_BROWSE_TARGET")
                                       : QStringLiteral("（未设置：广播）")));
            for (const QString &line : explainer.lines())
                report.message(line);
            if (explainer.answers() == 0 && explainer.sentOk()) {
                for (const QString &hint :
                    nothingAnsweredHints(target.kind == discovery::BrowseTarget::Kind::Broadcast))
                    report.message(hint);
            }
        }
        report.set(QStringLiteral("explain"), QJsonArray::fromStringList(explainer.lines()));
    }

    for (const QString &name : names)
        report.print(name);
    report.set(QStringLiteral("servers"), QJsonArray::fromStringList(names));
    // Then the stored servers the search did not list, marked as stored.
    const QList<store::StoredServer> stored = store::storedServersBeyond(storedServers(report), {});
    QJsonArray storedArray;
    for (const store::StoredServer &server : stored) {
        const bool found = std::any_of(names.cbegin(), names.cend(),
            [&](const QString &name) { return store::sameServerName(name, server.name); });
        if (!found)
            report.print(QStringLiteral("%1\t已保存\t%2").arg(server.name, loginText(server)));
        QJsonObject entry { { QStringLiteral("name"), server.name },
            { QStringLiteral("login"), loginKey(server.login) }, { QStringLiteral("found"), found } };
        if (server.login == data::Credentials::Kind::Sql)
            entry.insert(QStringLiteral("user"), server.user);
        storedArray.append(entry);
    }
    report.set(QStringLiteral("stored"), storedArray);
    report.set(QStringLiteral("embedded"), QJsonArray::fromStringList(embedded));
    // A search nobody answered still lists the embedded instances, but found no server.
    const bool answered = text.has_value() && explainer.answers() > 0;
    report.set(QStringLiteral("network_answered"), networkAsked && answered);
    return report.finish(networkAsked && !answered ? ExitFailed : ExitOk);
}

int runCheck(const QCommandLineParser &options, Report &report)
{
    const QString serverName = options.value(QStringLiteral("server"));
    report.set(QStringLiteral("server"), serverName);
    if (serverName.isEmpty()) {
        report.message(accountset::outcome::chooseServerName());
        return report.finish(ExitUsage);
    }
    const auto login = loginFromOptions(options, report);
    if (!login)
        return report.finish(ExitUsage);

    servercheck::PreflightReport result;
    {
        StepTimer timer(report, QStringLiteral("check"));
        result = servercheck::checkServer(serverName, *login);
    }
    QJsonArray checks;
    for (const servercheck::CheckLine &line : result.lines) {
        report.print(
            QStringLiteral("%1  %2：%3")
                .arg(line.ok ? QStringLiteral("通过  ") : QStringLiteral("不通过"), line.label, line.detail));
        QJsonObject check {
            { QStringLiteral("check"), line.key },
            { QStringLiteral("label"), line.label },
            { QStringLiteral("ok"), line.ok },
            { QStringLiteral("detail"), line.detail },
            { QStringLiteral("value"), QJsonValue::fromVariant(line.value) },
        };
        if (!line.warning.isEmpty()) {
            check.insert(QStringLiteral("warning"), line.warning);
            report.print(QStringLiteral("注意  ") + line.label + QStringLiteral("：") + line.warning);
        }
        checks.append(check);
        if (!line.ok)
            report.message(line.label + QStringLiteral("：") + line.detail);
    }
    report.set(QStringLiteral("checks"), checks);
    return report.finish(result.ok() ? ExitOk : ExitFailed);
}

namespace {

// Whether --accept-new-certificate, --trust-certificate or --allow-unencrypted accepts the
// refusal; when one does, the decision is stored and said.
bool acceptedByOptions(const QCommandLineParser &options, const guard::Refusal &refusal, Report &report)
{
    using Kind = guard::Refusal::Kind;
    const QString fingerprint = options.value(QStringLiteral("trust-certificate"));
    bool accept = false;
    switch (refusal.kind) {
    case Kind::UnknownCertificate:
        accept = options.isSet(QStringLiteral("accept-new-certificate"))
            || guard::fingerprintMatches(fingerprint, refusal.info.sha256);
        break;
    case Kind::ChangedCertificate:
        // Only the fingerprint checked with the server's administrator replaces a trusted certificate.
        accept = guard::fingerprintMatches(fingerprint, refusal.info.sha256);
        break;
    case Kind::Unencrypted:
        accept = options.isSet(QStringLiteral("allow-unencrypted"));
        break;
    default:
        break;
    }
    if (!accept)
        return false;
    try {
        guard::acceptRefusal(refusal);
    } catch (const data::DataError &e) {
        report.message(e.message());
        return false;
    }
    if (refusal.kind == Kind::Unencrypted) {
        report.message(QStringLiteral("已允许不加密地连接服务器“%1”。").arg(refusal.serverName));
    } else {
        report.message(QStringLiteral("已信任服务器“%1”的证书，SHA-256 指纹：%2")
                           .arg(refusal.serverName, refusal.info.sha256));
    }
    return true;
}

} // namespace

int runLogin(const QCommandLineParser &options, Report &report)
{
    const QString serverName = options.value(QStringLiteral("server"));
    report.set(QStringLiteral("server"), serverName);
    if (serverName.isEmpty()) {
        report.message(accountset::outcome::chooseServerName());
        return report.finish(ExitUsage);
    }
    const bool rented = options.isSet(QStringLiteral("rented"));
    if (rented && !options.isSet(QStringLiteral("user"))) {
        // The rented-database option always goes with a SQL login on page 1.
        report.message(QStringLiteral("创建或引入租用的远程ＳＱＬ数据库需要 SQL 登录（--user）。"));
        return report.finish(ExitUsage);
    }
    const auto login = loginFromOptions(options, report);
    if (!login)
        return report.finish(ExitUsage);
    report.set(QStringLiteral("rented"), rented);

    data::Connection connS(QStringLiteral("Conn_S"));
    data::Query adoQuery2(QStringLiteral("ADOQuery2"));
    data::Connection conn1(QStringLiteral("Conn1"));
    data::Query adoQuery1(QStringLiteral("ADOQuery1"));
    for (bool decided = false;;) {
        try {
            StepTimer timer(report, QStringLiteral("probe_and_store"));
            store::openLocalConfiguration(connS, adoQuery2);
            servercheck::confirmServerLogin(conn1, adoQuery1, adoQuery2, serverName, *login, rented);
            break;
        } catch (const data::DataError &e) {
            servercheck::dropProbeDatabase(adoQuery1);
            // The command never asks: a refused road is accepted only as its options say.
            const std::optional<guard::Refusal> refusal = guard::takeRefusal(serverName);
            if (!decided && refusal && acceptedByOptions(options, *refusal, report)) {
                decided = true;
                continue;
            }
            report.message(servercheck::LoginFailed + e.message());
            return report.finish(ExitFailed);
        }
    }
    report.set(QStringLiteral("probed"), !rented);
    try {
        if (store::findServerRecord(adoQuery2, serverName)) {
            QJsonObject fields = rowObject(adoQuery2);
            // Field 2 holds the SQL login's password: only its user stays readable.
            if (login->kind == data::Credentials::Kind::Sql)
                fields.insert(QStringLiteral("2"),
                    QStringLiteral("password=***;persist security info=true;user id=%1;").arg(login->user));
            report.addRow(QStringLiteral("xtljb"), QStringLiteral("local"), fields);
        }
    } catch (const data::DataError &e) {
        report.message(e.message());
    }
    report.message(QStringLiteral("服务器连接记录已保存：") + serverName);
    return report.finish(ExitOk);
}

} // namespace zt::cli
