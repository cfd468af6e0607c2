// Page 2's operations from the command line: creation, the network directory, taking a set over,
// deleting it and the sample set. Each reads the server's stored login fragment as the page does.

#include "commands.h"
#include "secrets.h"

#include "accountset/creation.h"
#include "accountset/directory.h"
#include "accountset/networkset.h"
#include "data/dataerror.h"
#include "store/localstore.h"

#include <QJsonArray>

namespace zt::cli {

namespace {

using accountset::AccountSetObjects;
using accountset::CreationMode;

const QString DirectoryTable = QStringLiteral("PBTOVRASQLBASEDATA");

std::optional<CreationMode> modeFromOptions(const QCommandLineParser &options, Report &report)
{
    const QString mode = options.isSet(QStringLiteral("mode")) ? options.value(QStringLiteral("mode"))
                                                               : QStringLiteral("network");
    report.set(QStringLiteral("mode"), mode);
    if (mode == QLatin1StringView("network"))
        return CreationMode::Network;
    if (mode == QLatin1StringView("rented-build"))
        return CreationMode::RentedBuild;
    if (mode == QLatin1StringView("rented-register"))
        return CreationMode::RentedRegister;
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

// The page's show: the local configuration database on Conn_Ty / ADOTy.
void openPage(AccountSetObjects &o)
{
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
}

void reportLocalRow(Report &report, AccountSetObjects &o, const QString &number, const QString &server,
    const QString &action = QStringLiteral("stored"))
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
void reportDirectoryRow(Report &report, const QString &fragment, const QString &server, const QString &number)
{
    try {
        data::Connection connection(QStringLiteral("Conn_report"));
        connection.setConnectionString(
            data::ConnectionString::master(data::LoginFragment::fromText(fragment), server));
        data::Query query(QStringLiteral("ADOreport"));
        query.setConnection(&connection);
        data::reopen(query,
            QStringLiteral("select * from ") + DirectoryTable + QStringLiteral(" where ztbh=")
                + store::sqlLiteral(accountset::trimmed(number)));
        for (; !query.isEof(); query.next())
            report.addRow(
                DirectoryTable, QStringLiteral("master"), rowObject(query, { QStringLiteral("kl") }));
    } catch (const data::DataError &) {
        // No directory table (a rented set) or no access: there is no directory row to show.
    }
}

// Lists the directory and makes the row of the number the current one. False (with the message
// given) when the listing fails or the number is not in it.
bool findDirectoryRow(
    AccountSetObjects &o, const QString &server, const QString &number, QString &fragment, Report &report)
{
    if (!accountset::listDirectory(o, server, fragment) || !accountset::hasDirectoryRows(o.ADOztgl)) {
        report.message(QStringLiteral("服务器上没有网络账套目录，或无法列出：") + server);
        return false;
    }
    for (int exact = 1; exact >= 0; --exact) {
        for (int row = 0; row < o.ADOztgl.rowCount(); ++row) {
            o.ADOztgl.setCurrentRow(row);
            const QString stored = o.ADOztgl.fieldAsText(QStringLiteral("ztbh"));
            if (exact ? stored == number
                      : accountset::trimmed(stored).compare(number, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    report.message(QStringLiteral("网络账套目录中没有此账套：") + number);
    return false;
}

QJsonObject directoryRowObject(const accountset::DirectoryRow &row)
{
    return { { QStringLiteral("ztbh"), row.number }, { QStringLiteral("ztmc"), row.name },
        { QStringLiteral("zjmc"), row.server } };
}

// The per-set file copy shown on the bar and timed.
class TimedCopy final : public accountset::CopyProgress
{
public:
    explicit TimedCopy(TerminalProgress &bar)
        : m_bar(bar)
    { }
    void start() override
    {
        m_clock.start();
        m_bar.start();
    }
    void setRange(qint64 maximum) override
    {
        m_maximum = maximum;
        m_bar.setRange(maximum);
    }
    void setPosition(qint64 position) override
    {
        m_bar.setPosition(position);
        if (position >= m_maximum)
            m_elapsed = m_clock.elapsed();
    }
    qint64 elapsedMs() const { return m_elapsed; }

private:
    TerminalProgress &m_bar;
    QElapsedTimer m_clock;
    qint64 m_maximum = 0;
    qint64 m_elapsed = -1;
};

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

} // namespace

int runCreate(const QCommandLineParser &options, Report &report)
{
    const auto mode = modeFromOptions(options, report);
    if (!mode)
        return report.finish(ExitUsage);
    const auto password = setPassword(options, report, true);
    if (!password)
        return report.finish(ExitUsage);
    const accountset::AccountSetFields fields { options.value(QStringLiteral("server")),
        options.value(QStringLiteral("db")), options.value(QStringLiteral("name")), password->text };
    report.set(QStringLiteral("server"), fields.server);
    report.set(QStringLiteral("db"), accountset::trimmed(fields.database));
    if (const auto problem = accountset::checkCreationInput(fields, password->again)) {
        report.message(problem->message);
        return report.finish(ExitFailed);
    }

    AccountSetObjects o;
    TerminalProgress progress;
    TimedCopy copy(progress);
    QString fragment;
    accountset::CreationContext context = commandContext(report, progress);
    context.progress = &copy;
    // The transfer is timed from its first report to its last.
    QElapsedTimer transferClock;
    qint64 transferMs = -1;
    context.transferProgress = [&](const QString &table, int index, int count, int row, int rows) {
        if (!transferClock.isValid())
            transferClock.start();
        progress.transfer(table, index, count, row, rows);
        transferMs = transferClock.elapsed();
    };
    try {
        StepTimer timer(report, QStringLiteral("create"));
        openPage(o);
        accountset::createAccountSet(o, fields, *mode, fragment, context);
    } catch (const data::DataError &e) {
        report.message(QStringLiteral("新增账套出错！") + e.message());
        return report.finish(ExitFailed);
    }
    if (copy.elapsedMs() >= 0)
        report.addTiming(QStringLiteral("per_set_file_copy"), copy.elapsedMs());
    if (transferMs >= 0)
        report.addTiming(QStringLiteral("base_data_transfer"), transferMs);
    reportLocalRow(report, o, fields.database, fields.server);
    if (*mode == CreationMode::Network)
        reportDirectoryRow(report, fragment, fields.server, fields.database);
    report.message(QStringLiteral("账套创建成功"));
    return report.finish(ExitOk);
}

int runList(const QCommandLineParser &options, Report &report)
{
    const QString server = options.value(QStringLiteral("server"));
    report.set(QStringLiteral("server"), server);
    AccountSetObjects o;
    QString fragment;
    bool listed = false;
    {
        StepTimer timer(report, QStringLiteral("list"));
        try {
            openPage(o);
            listed = accountset::listDirectory(o, server, fragment);
        } catch (const data::DataError &e) {
            report.message(e.message());
        }
    }
    if (!listed) {
        report.message(QStringLiteral("服务器上没有网络账套目录，或无法列出：") + server);
        return report.finish(ExitFailed);
    }
    QJsonArray directory;
    for (int row = 0; row < o.ADOztgl.rowCount(); ++row) {
        o.ADOztgl.setCurrentRow(row);
        const accountset::DirectoryRow entry = accountset::currentDirectoryRow(o.ADOztgl);
        directory.append(directoryRowObject(entry));
        report.print(QStringLiteral("%1\t%2\t%3").arg(entry.number, entry.name, entry.server));
    }
    report.set(QStringLiteral("directory"), directory);
    return report.finish(ExitOk);
}

int runTakeOver(const QCommandLineParser &options, Report &report)
{
    const QString server = options.value(QStringLiteral("server"));
    const QString number = options.value(QStringLiteral("db"));
    report.set(QStringLiteral("server"), server);
    report.set(QStringLiteral("db"), number);
    AccountSetObjects o;
    QString fragment;
    try {
        openPage(o);
        if (!findDirectoryRow(o, server, number, fragment, report))
            return report.finish(ExitFailed);
    } catch (const data::DataError &e) {
        report.message(e.message());
        return report.finish(ExitFailed);
    }
    const accountset::DirectoryRow row = accountset::currentDirectoryRow(o.ADOztgl);
    TerminalProgress progress;
    try {
        if (accountset::isListedLocally(o, row)) {
            report.message(QStringLiteral("已经存在服务器名称和账套名称相同的账套！"));
            return report.finish(ExitFailed);
        }
        StepTimer timer(report, QStringLiteral("take_over"));
        accountset::selectNetworkAccountSet(o, row, server, &progress);
    } catch (const data::DataError &e) {
        report.message(QStringLiteral("选择网络账套出错！") + e.message());
        return report.finish(ExitFailed);
    }
    reportLocalRow(report, o, row.number, server);
    report.message(QStringLiteral("网络账套选择引入成功"));
    return report.finish(ExitOk);
}

int runDelete(const QCommandLineParser &options, Report &report)
{
    const QString server = options.value(QStringLiteral("server"));
    const QString number = options.value(QStringLiteral("db"));
    report.set(QStringLiteral("server"), server);
    report.set(QStringLiteral("db"), number);
    const auto password = setPassword(options, report, false);
    if (!password)
        return report.finish(ExitUsage);
    AccountSetObjects o;
    QString fragment;
    try {
        openPage(o);
        if (!findDirectoryRow(o, server, number, fragment, report))
            return report.finish(ExitFailed);
    } catch (const data::DataError &e) {
        report.message(e.message());
        return report.finish(ExitFailed);
    }
    const accountset::DirectoryRow row = accountset::currentDirectoryRow(o.ADOztgl);
    if (!accountset::deletionPasswordMatches(row, password->text)) {
        report.message(QStringLiteral("账套口令错误！"));
        return report.finish(ExitFailed);
    }
    report.set(QStringLiteral("backup"), QJsonValue::Null);
    try {
        StepTimer timer(report, QStringLiteral("drop_database"));
        accountset::dropAccountSetDatabase(o, fragment, server, row);
    } catch (const data::DataError &e) {
        // The page then offers to remove the directory row alone; here the set is left as it is.
        report.message(QStringLiteral("账套删除错误!") + e.message());
        return report.finish(ExitFailed);
    }
    try {
        StepTimer timer(report, QStringLiteral("directory_row"));
        accountset::deleteCurrentDirectoryRow(o);
    } catch (const data::DataError &e) {
        report.message(e.message());
        return report.finish(ExitFailed);
    }
    report.addRow(
        DirectoryTable, QStringLiteral("master"), directoryRowObject(row), QStringLiteral("removed"));
    report.message(QStringLiteral("此账套已成功删除！"));
    return report.finish(ExitOk);
}

int runSample(const QCommandLineParser &options, Report &report)
{
    const auto mode = modeFromOptions(options, report);
    if (!mode)
        return report.finish(ExitUsage);
    const QString server = options.value(QStringLiteral("server"));
    report.set(QStringLiteral("server"), server);
    if (server.isEmpty()) {
        report.message(QStringLiteral("服务器名称不可为空！"));
        return report.finish(ExitUsage);
    }
    AccountSetObjects o;
    TerminalProgress progress;
    QString fragment;
    const accountset::AccountSetFields fields { server, accountset::SampleNumber, accountset::SampleName,
        {} };
    try {
        StepTimer timer(report, QStringLiteral("sample"));
        openPage(o);
        accountset::restoreSampleAccountSet(o, server, fragment);
        accountset::registerAccountSet(o, fields, *mode, fragment, commandContext(report, progress));
    } catch (const data::DataError &e) {
        // On the page this error goes to the standard error box: its text alone.
        report.message(e.message());
        return report.finish(ExitFailed);
    }
    reportLocalRow(report, o, fields.database, server);
    if (*mode == CreationMode::Network)
        reportDirectoryRow(report, fragment, server, fields.database);
    report.message(QStringLiteral("『TOVRA例子账套』创建成功！"));
    return report.finish(ExitOk);
}

} // namespace zt::cli
