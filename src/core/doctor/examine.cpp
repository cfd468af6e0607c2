// The doctor's reading of the four places an account set lives in.

#include "backupplancheck.h"
#include "doctor.h"
#include "interruptedcopies.h"
#include "storesread.h"

#include "accountset/creation.h"
#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "install/installation.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <csignal>

namespace zt::doctor {

namespace {

QString folded(const QString &text)
{
    return accountset::trimmed(text).toCaseFolded();
}

// True while the process that named a temporary file "<...>.<pid>..." still runs.
bool writerAlive(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

// Temporary files of a restore (<db>.restoring-<pid>-<n>), a backup (<file>.partial-<pid>-<n>) and
// a per-set file copy (<file>.<pid>.part) whose process has gone.
void findLeftovers(const QString &folder, Examination &e)
{
    static const QRegularExpression pattern(
        QStringLiteral("^.+\\.(?:restoring|partial)-(\\d+)-\\d+(?:-journal)?$|^.+\\.(\\d+)\\.part$"));
    const QStringList files = QDir(folder).entryList(QDir::Files);
    for (const QString &file : files) {
        const auto match = pattern.match(file);
        if (!match.hasMatch())
            continue;
        const QString pid = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
        if (writerAlive(pid.toLongLong()))
            continue;
        Finding f { Finding::Kind::LeftoverTemporaryFile };
        f.path = QDir(folder).absoluteFilePath(file);
        e.findings.append(f);
    }
}

bool isSystemDatabase(const QString &name)
{
    static const QSet<QString> system { QStringLiteral("master"), QStringLiteral("model"),
        QStringLiteral("msdb"), QStringLiteral("tempdb") };
    return system.contains(name.toCaseFolded());
}

// Looks into a database nothing registers: an account set the creation left unfinished, one
// complete but unregistered, or a database that is no account set at all (nothing to say).
void inspectUnregistered(StoresReader &reader, const QString &database, Examination &e)
{
    QStringList tables;
    try {
        tables = reader.tables(database);
    } catch (const data::DataError &error) {
        e.problems << QStringLiteral("无法读取数据库 %1 的表：%2").arg(database, error.message());
        return;
    }
    QSet<QString> present;
    for (const QString &table : std::as_const(tables))
        present.insert(table.toCaseFolded());
    Finding f { Finding::Kind::UnfinishedCreation };
    f.number = database;
    if (tables.isEmpty()) {
        f.kind = Finding::Kind::EmptyDatabase;
        e.findings.append(f);
        return;
    }
    const QStringList expected = reader.scriptTables();
    bool ours = false;
    for (const QString &table : expected) {
        if (present.contains(table.toCaseFolded()))
            ours = true;
        else
            f.missingTables << table;
    }
    if (!ours)
        return; // another program's database
    for (const QString &table : accountset::baseDataTables()) {
        if (!present.contains(table.toCaseFolded()))
            continue; // counted as missing already
        try {
            if (reader.rowCount(database, table) < reader.shippedRowCount(table))
                f.partialTables << table;
        } catch (const data::DataError &error) {
            e.problems
                << QStringLiteral("无法清点数据库 %1 的表 %2：%3").arg(database, table, error.message());
        }
    }
    if (f.missingTables.isEmpty() && f.partialTables.isEmpty())
        f.kind = Finding::Kind::UnregisteredDatabase;
    e.findings.append(f);
}

} // namespace

Examination examine(accountset::AccountSetObjects &o, const QString &server)
{
    Examination e;
    e.server = accountset::trimmed(server);
    StoresReader reader(o, e.server);

    // The local list: every row (a per-set file is anyone's), this server's apart.
    QList<LocalRow> local;
    try {
        local = reader.localRows();
        e.login = reader.login();
    } catch (const data::DataError &error) {
        e.problems << QStringLiteral("无法读取本机账套列表：") + error.message();
        return e; // without the local file nothing can be told
    }
    QSet<QString> localAnyServer;
    QList<LocalRow> mine;
    for (const LocalRow &row : std::as_const(local)) {
        localAnyServer.insert(folded(row.number));
        if (folded(row.server) == folded(e.server))
            mine.append(row);
    }
    e.localRows = int(mine.size());

    std::optional<QSet<QString>> directory;
    try {
        const QStringList numbers = reader.directoryNumbers();
        directory = QSet<QString>();
        for (const QString &number : numbers)
            directory->insert(folded(number));
        e.directoryRows = int(numbers.size());
    } catch (const data::DataError &error) {
        e.problems << QStringLiteral("无法读取网络账套目录：") + error.message();
    }

    std::optional<QMap<QString, QString>> databases; // folded -> as stored
    try {
        databases = QMap<QString, QString>();
        for (const QString &name : reader.databases()) {
            if (!isSystemDatabase(name))
                databases->insert(name.toCaseFolded(), name);
        }
        e.databases = int(databases->size());
    } catch (const data::DataError &error) {
        databases.reset();
        e.problems << QStringLiteral("无法列出服务器上的数据库：") + error.message();
    }

    QSet<QString> mineNumbers;
    for (const LocalRow &row : std::as_const(mine))
        mineNumbers.insert(folded(row.number));

    if (databases) {
        for (auto it = databases->cbegin(); it != databases->cend(); ++it) {
            if (mineNumbers.contains(it.key()) || (directory && directory->contains(it.key())))
                continue;
            if (!directory)
                continue; // registration unknown: say nothing rather than something wrong
            inspectUnregistered(reader, it.value(), e);
        }
    }
    if (directory) {
        // One finding per number: a number listed twice is stale once, or else a duplicate.
        QMap<QString, int> listed;
        for (const QString &number : reader.directoryNumbers())
            ++listed[folded(number)];
        for (const QString &number : reader.directoryNumbers()) {
            const int rows = listed.take(folded(number));
            if (rows == 0)
                continue; // named already
            Finding f { Finding::Kind::StaleDirectoryRow };
            f.number = accountset::trimmed(number);
            f.rows = rows;
            if (databases && !databases->contains(folded(number))) {
                e.findings.append(f);
            } else if (rows > 1) {
                f.kind = Finding::Kind::DuplicateDirectoryRow;
                e.findings.append(f);
            }
        }
    }
    // A copy cut short: its note names the database better than the look into it does.
    if (databases && directory) {
        const QStringList keys = databases->keys();
        findInterruptedCopies(e, *directory + mineNumbers, QSet<QString>(keys.cbegin(), keys.cend()));
    }
    // One finding per number, however many local rows name it: each mend acts on the number.
    QSet<QString> named;
    for (const LocalRow &row : std::as_const(mine)) {
        if (named.contains(folded(row.number)))
            continue;
        named.insert(folded(row.number));
        Finding f { Finding::Kind::LocalRowWithoutDatabase };
        f.number = accountset::trimmed(row.number);
        f.name = row.name;
        f.password = row.password;
        f.date = row.date;
        if (databases && !databases->contains(folded(row.number))) {
            e.findings.append(f);
        } else if (databases && directory && row.net == QStringLiteral("是")
            && !directory->contains(folded(row.number))) {
            f.kind = Finding::Kind::LocalRowWithoutDirectoryRow;
            e.findings.append(f);
        }
    }

    // Per-set files: one belongs to a local row of any server, or to this server's directory row
    // or database; only what belongs to none of them is an orphan.
    const QString sysBase = QDir::cleanPath(install::directory() + QStringLiteral("/data/SysBase"));
    static const QString suffix = QStringLiteral("_S_SysBase.mdb");
    for (const QString &file : QDir(sysBase).entryList({ u'*' + suffix }, QDir::Files)) {
        ++e.perSetFiles;
        const QString number = file.chopped(suffix.size()).toCaseFolded();
        if (localAnyServer.contains(number) || !directory || !databases || directory->contains(number)
            || databases->contains(number))
            continue;
        Finding f { Finding::Kind::OrphanPerSetFile };
        f.number = file.chopped(suffix.size());
        f.path = sysBase + u'/' + file;
        e.findings.append(f);
    }

    findLeftovers(sysBase, e);
    if (embedded::isEmbeddedServerName(e.server)) {
        findLeftovers(embedded::defaultRoot() + u'/' + embedded::instanceOf(e.server), e);
        findLeftovers(QDir::cleanPath(embedded::defaultRoot() + QStringLiteral("/../backup")), e);
    }
    examineBackupPlan(e, QDateTime::currentDateTime());
    return e;
}

} // namespace zt::doctor
