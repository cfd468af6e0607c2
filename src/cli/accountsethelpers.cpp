#include "accountsethelpers.h"

#include "accountset/directory.h"
#include "accountset/outcometext.h"
#include "data/connection.h"
#include "data/dataerror.h"
#include "data/unicodetext.h"
#include "store/localstore.h"

namespace zt::cli {

bool serverNamed(const QCommandLineParser &options, Report &report)
{
    if (!options.value(QStringLiteral("server")).isEmpty())
        return true;
    report.set(QStringLiteral("server"), QString());
    report.message(accountset::outcome::serverNameEmpty());
    return false;
}

bool loginStored(const QString &server, Report &report)
{
    data::Connection connection(QStringLiteral("Conn_S"));
    data::Query query(QStringLiteral("ADOQuery2"));
    try {
        store::openLocalConfiguration(connection, query);
        if (store::findServerRecord(query, server))
            return true;
    } catch (const data::DataError &e) {
        report.message(e.message());
        return false;
    }
    // Without one the server would only answer "Login failed for user ''".
    report.set(QStringLiteral("server"), server);
    report.message(
        QStringLiteral("本机还没有保存服务器“%1”的登录。请先运行：ztaccountset login --server \"%1\" "
                       "--user 登录名（集成登录不加 --user）。")
            .arg(server));
    return false;
}

std::optional<accountset::CreationMode> modeFromOptions(const QCommandLineParser &options, Report &report)
{
    const QString mode = options.isSet(QStringLiteral("mode")) ? options.value(QStringLiteral("mode"))
                                                               : QStringLiteral("network");
    report.set(QStringLiteral("mode"), mode);
    if (mode == QLatin1StringView("network"))
        return accountset::CreationMode::Network;
    if (mode == QLatin1StringView("rented-build"))
        return accountset::CreationMode::RentedBuild;
    if (mode == QLatin1StringView("rented-register"))
        return accountset::CreationMode::RentedRegister;
    report.message(QStringLiteral("未知的创建方式：") + mode);
    return std::nullopt;
}

std::optional<Secret> setPassword(const QCommandLineParser &options, Report &report, bool confirm)
{
    QString problem;
    auto secret = readSecret(
        { options.value(QStringLiteral("set-password-file")), QStringLiteral("ZTWIZARD_SET_PASSWORD"),
            QStringLiteral("账套口令："), confirm ? QStringLiteral("再次录入账套口令：") : QString() },
        problem);
    if (!secret)
        report.message(problem);
    else
        report.set(QStringLiteral("set_password_from"), secret->from);
    return secret;
}

std::optional<Secret> currentSetPassword(const QCommandLineParser &options, Report &report)
{
    QString problem;
    auto secret = readSecret(
        { options.value(QStringLiteral("current-password-file")),
            QStringLiteral("ZTWIZARD_CURRENT_SET_PASSWORD"), QStringLiteral("账套现在的口令："), {} },
        problem);
    if (!secret)
        report.message(problem);
    else
        report.set(QStringLiteral("current_password_from"), secret->from);
    return secret;
}

// The page's show: the local configuration database on Conn_Ty / ADOTy.
void openPage(accountset::AccountSetObjects &o)
{
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
}

bool opensPage(accountset::AccountSetObjects &o, Report &report, QString (*failed)(const QString &error))
{
    try {
        openPage(o);
        return true;
    } catch (const data::DataError &e) {
        report.message(failed ? failed(e.message()) : e.message());
        return false;
    }
}

void reportLocalRow(Report &report, accountset::AccountSetObjects &o, const QString &number,
    const QString &server, const QString &action)
{
    try {
        if (store::findAccountSetRow(o.ADOTy, accountset::trimmed(number), accountset::trimmed(server)))
            report.addRow(QStringLiteral("ztxxb"), QStringLiteral("local"),
                rowObject(o.ADOTy, { QStringLiteral("kl") }), action);
    } catch (const data::DataError &e) {
        report.message(e.message());
    }
}

// The directory row of the number on the server, read on a connection of its own.
void reportDirectoryRow(Report &report, const data::ServerLogin &login, const QString &number)
{
    try {
        data::Connection connection(QStringLiteral("Conn_report"));
        data::Query query(QStringLiteral("ADOreport"));
        data::pointAt(connection, query, data::ConnectionString::master(login));
        data::reopen(query,
            QStringLiteral("select * from ") + DirectoryTable + QStringLiteral(" where ztbh=")
                + data::nationalLiteral(accountset::trimmed(number)));
        for (; !query.isEof(); query.next())
            report.addRow(
                DirectoryTable, QStringLiteral("master"), rowObject(query, { QStringLiteral("kl") }));
    } catch (const data::DataError &) {
        // No directory table (a rented set) or no access: there is no directory row to show.
    }
}

QString unlistedText(const QString &server, const accountset::DirectoryListing &listing)
{
    if (listing.noTable)
        return QStringLiteral("服务器上还没有网络账套目录（还没有登记过网络账套）：") + server;
    return QStringLiteral("服务器上没有网络账套目录，或无法列出：") + server
        + (listing.error.isEmpty() ? QString() : u'\n' + listing.error);
}

std::optional<ListedSet> findListedSet(
    accountset::AccountSetObjects &o, const QString &server, const QString &number, Report &report)
{
    if (!loginStored(server, report))
        return std::nullopt;
    ListedSet set;
    try {
        openPage(o);
        const accountset::DirectoryListing listing = accountset::listDirectory(o, server, set.login);
        if (!listing || !accountset::hasDirectoryRows(o.ADOztgl)) {
            report.message(unlistedText(server, listing));
            return std::nullopt;
        }
    } catch (const data::DataError &e) {
        report.message(e.message());
        return std::nullopt;
    }
    for (int exact = 1; exact >= 0; --exact) {
        for (int row = 0; row < o.ADOztgl.rowCount(); ++row) {
            o.ADOztgl.setCurrentRow(row);
            const QString stored = o.ADOztgl.fieldAsText(QStringLiteral("ztbh"));
            if (exact ? stored == number
                      : accountset::trimmed(stored).compare(number, Qt::CaseInsensitive) == 0) {
                set.row = accountset::currentDirectoryRow(o.ADOztgl);
                return set;
            }
        }
    }
    report.message(QStringLiteral("网络账套目录中没有此账套：") + number);
    return std::nullopt;
}

QJsonObject directoryRowObject(const accountset::DirectoryRow &row)
{
    return { { QStringLiteral("ztbh"), row.number }, { QStringLiteral("ztmc"), row.name },
        { QStringLiteral("zjmc"), row.server } };
}

accountset::CreationContext commandContext(Report &report, TerminalProgress &progress)
{
    accountset::CreationContext context;
    context.progress = &progress;
    context.reportDirectoryError = [&report](const QString &message) { report.message(message); };
    context.transferProgress = [&progress](const QString &table, int index, int count, int row, int rows) {
        progress.transfer(table, index, count, row, rows);
    };
    return context;
}

} // namespace zt::cli
