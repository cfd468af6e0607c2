#include "copying.h"

#include "backup.h"
#include "copyjournal.h"
#include "data/dataerror.h"
#include "data/sessionreuse.h"
#include "data/sqlliteral.h"
#include "deletion.h"
#include "store/localstore.h"

#include <QCoreApplication>

namespace zt::accountset {

using data::ConnectionString;
using data::ServerLogin;

namespace {

const QString Doctor
    = QStringLiteral("“检查账套”（网络账套列表的右键菜单，或 ztaccountset doctor --repair）");

bool sameNumber(const QString &a, const QString &b)
{
    return trimmed(a).compare(trimmed(b), Qt::CaseInsensitive) == 0;
}

void useMaster(AccountSetObjects &o, const ServerLogin &login)
{
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::master(login));
}

// The directory as it is now (not as the page listed it): the source's row, read again, and
// whether the new number is listed.
struct DirectoryNow
{
    std::optional<DirectoryRow> source;
    bool targetListed = false;
};

DirectoryNow readDirectory(AccountSetObjects &o, const ServerLogin &login, const CopyRequest &request)
{
    DirectoryNow now;
    useMaster(o, login);
    try {
        data::reopen(o.ADOTy1, QStringLiteral("select ztbh, ztmc, zjmc, kl from PBTOVRASQLBASEDATA"));
    } catch (const data::DataError &e) {
        if (e.hasNumber(data::servermessage::InvalidObject))
            return now; // no directory table: nothing is listed
        throw;
    }
    std::optional<DirectoryRow> loose;
    for (o.ADOTy1.first(); !o.ADOTy1.isEof(); o.ADOTy1.next()) {
        const DirectoryRow row = currentDirectoryRow(o.ADOTy1);
        if (row.number == request.source.number && !now.source)
            now.source = row;
        else if (sameNumber(row.number, request.source.number) && !loose)
            loose = row;
        if (sameNumber(row.number, request.target.database))
            now.targetListed = true;
    }
    o.ADOTy1.close();
    if (!now.source)
        now.source = loose;
    return now;
}

// Whether the server has a database of the number; nothing when it does not say.
std::optional<bool> databaseOnServer(AccountSetObjects &o, const ServerLogin &login, const QString &number)
{
    try {
        useMaster(o, login);
        data::reopen(o.ADOTy1, QStringLiteral("select name from sys.databases"));
        bool found = false;
        for (o.ADOTy1.first(); !o.ADOTy1.isEof() && !found; o.ADOTy1.next())
            found = sameNumber(o.ADOTy1.fieldAsText(QStringLiteral("name")), number);
        o.ADOTy1.close();
        return found;
    } catch (const data::DataError &) {
        return std::nullopt;
    }
}

// The checks that need the server: the source listed, the new number neither listed nor a
// database. Throws data::DataError with the message for the user.
void checkOnServer(AccountSetObjects &o, const ServerLogin &login, const CopyRequest &request,
    std::optional<DirectoryRow> &source)
{
    const QString target = trimmed(request.target.database);
    const DirectoryNow now = readDirectory(o, login, request);
    if (!now.source)
        throw data::DataError(
            QStringLiteral("网络账套目录中没有账套“%1”：请重新列出网络账套，再选择要复制的账套。")
                .arg(request.source.number));
    if (now.targetListed)
        throw data::DataError(
            QStringLiteral("网络账套目录中已有账套“%1”：请给新账套换一个数据库名称。").arg(target));
    if (databaseOnServer(o, login, target).value_or(false))
        throw data::DataError(QStringLiteral("服务器上已有数据库“%1”（网络账套目录中没有它）："
                                             "请给新账套换一个数据库名称，或先用%2清理它。")
                                  .arg(target, Doctor));
    source = now.source;
}

} // namespace

QString copyBackupFileName(const QString &source, const QString &target, const QDateTime &when)
{
    return source + QStringLiteral("_copy_") + target + u'_'
        + when.toString(QStringLiteral("yyyyMMdd_HHmmss")) + QStringLiteral(".bak");
}

std::optional<InputProblem> checkCopyInput(const CopyRequest &request, const QString &passwordAgain)
{
    RestoreRequest restore;
    restore.fields = request.target;
    restore.backupFile = copyBackupFileName(request.source.number, trimmed(request.target.database));
    if (auto problem = checkRestoreInput(restore, passwordAgain))
        return problem;
    if (sameNumber(request.target.database, request.source.number))
        return InputProblem { QStringLiteral("新账套的数据库名称不能与原账套相同！"),
            InputProblem::Focus::Database };
    return std::nullopt;
}

CopyResult copyAccountSet(AccountSetObjects &o, const CopyRequest &input, ServerLogin &login,
    const CreationContext &context, const QDateTime &when)
{
    // Sessions kept between the steps, as for a creation: over FreeTDS a copy logs in 3 times
    // instead of 5 (bench_setcopy counts them).
    const data::odbc::ConnectionReuse reuse;
    CopyResult result;
    CopyRequest request = input;
    request.target.database = trimmed(input.target.database);
    const QString &target = request.target.database;
    const QString &server = request.target.server;

    std::optional<DirectoryRow> source;
    const bool checked = result.run(CopyStep::Checks, [&] {
        if (const auto problem = checkCopyInput(request, request.target.password))
            throw data::DataError(problem->message);
        login = store::readServerLogin(o.ADOTy, server);
        checkOnServer(o, login, request, source);
    });
    if (!checked)
        return result;
    if (!result.check(CopyStep::Password, deletionPasswordMatches(*source, request.sourcePassword)))
        return result;

    result.backupFile = copyBackupFileName(source->number, target, when);
    CopyJournal journal { server, source->number, target, trimmed(request.target.name), result.backupFile, {},
        when, QCoreApplication::applicationPid(), {} };
    if (!result.run(CopyStep::Journal, [&] { writeCopyJournal(journal); }))
        return result;
    // Nothing of the copy is on the server: the note has nothing left to tell.
    const auto nothingLeft = [&] {
        if (!removeCopyJournal(target))
            result.journal = copyJournalPath(target);
    };

    if (!result.run(CopyStep::Backup,
            [&] { result.backup = backupDatabase(o, login, source->number, result.backupFile); })) {
        nothingLeft();
        return result;
    }
    journal.backup = result.backup;
    try {
        writeCopyJournal(journal);
    } catch (const data::DataError &) {
        // the note written first names the file already
    }

    RestoreRequest restore;
    restore.fields = request.target;
    restore.backupFile = result.backupFile;
    if (!result.run(CopyStep::Restore, [&] { restoreBackupAsDatabase(o, restore, login); })) {
        // The server refuses a restore before it makes anything; a database there now is the copy's.
        result.databaseMade = databaseOnServer(o, login, target).value_or(true);
        if (result.databaseMade)
            result.journal = copyJournalPath(target);
        else
            nothingLeft();
        return result;
    }
    result.databaseMade = true;

    QString directoryError;
    CreationContext registration = context;
    registration.reportDirectoryError = [&](const QString &message) { directoryError = message; };
    if (!result.run(CopyStep::Register, [&] {
            ensurePerSetFile(target, context.progress);
            registerAccountSet(o, request.target, CreationMode::Network, login, registration);
        })) {
        result.journal = copyJournalPath(target);
        return result;
    }
    result.registered = true;
    // A local row without its directory row is the doctor's own finding; the note adds nothing.
    nothingLeft();
    if (!directoryError.isEmpty()) {
        result.directoryRowMissing = true;
        result.failLastStep(directoryError);
    }
    return result;
}

QString copyOutcomeText(const CopyRequest &request, const CopyResult &result)
{
    const QString server = request.target.server;
    const QString target = trimmed(request.target.database);
    const QString backup
        = result.backup.isEmpty() ? QString() : u'\n' + backupFileText(server, result.backup);
    if (result.succeeded())
        return QStringLiteral("账套复制成功！\n原账套：【%1(%2)】\n新账套：【%3(%4)】")
                   .arg(request.source.name, request.source.number, trimmed(request.target.name), target)
            + backup;
    const QString failed = QStringLiteral("复制账套出错！");
    switch (*result.failedStep) {
    case CopyStep::Checks:
        return result.error;
    case CopyStep::Password:
        return QStringLiteral("原账套的口令错误！没有复制。");
    case CopyStep::Journal:
        return failed + result.error
            + QStringLiteral("\n没有复制：请确认安装目录下的 data/copies 文件夹可以写入，再复制。");
    case CopyStep::Backup:
        return failed + QStringLiteral("备份原账套失败：") + result.error
            + QStringLiteral("\n没有复制，原账套未受影响。排除原因后再复制。");
    case CopyStep::Restore:
        return failed + QStringLiteral("恢复为新账套失败：") + result.error + backup
            + (result.databaseMade
                    ? QStringLiteral("\n原账套未受影响。服务器上留下了数据库“%1”：请用%2清理后再复制。")
                          .arg(target, Doctor)
                    : QStringLiteral("\n没有复制，原账套未受影响。排除原因后再复制。"));
    case CopyStep::Register:
        if (result.directoryRowMissing)
            return failed + result.error
                + QStringLiteral("\n新账套“%1”已复制并登记在本机，但服务器的网络账套目录中没有它，"
                                 "其他电脑不能选择引入：请用%2重新登记。")
                      .arg(target, Doctor)
                + backup;
        return failed + QStringLiteral("登记新账套失败：") + result.error
            + QStringLiteral("\n数据库“%1”已恢复，但没有登记：请用%2清理（先备份再删除），"
                             "或用 ztaccountset doctor --repair --finish 按复制时的名称补齐登记。")
                  .arg(target, Doctor)
            + backup;
    }
    return failed + result.error;
}

} // namespace zt::accountset
