#include "instance.h"

#include "data/sqlliteral.h"
#include "install/sharedfiles.h"
#include "servererror.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

namespace zt::embedded {

namespace {

const QString Master = QStringLiteral("master");
const QString Suffix = QStringLiteral(".db");

const QString LockFolder = QStringLiteral(".locks");

// Where a database file records what the server knows about it (its collation): a table of
// the server's own, as zt_logins and zt_identity.
const QString RecordCollation
    = QStringLiteral("CREATE TABLE IF NOT EXISTS zt_properties (name TEXT PRIMARY KEY, value TEXT);"
                     "INSERT OR REPLACE INTO zt_properties VALUES ('collation', %1);");

std::optional<text::Collation> chosenCollation(const QString &asked)
{
    const QString name = asked.isEmpty() ? qEnvironmentVariable("ZTWIZARD_EMBEDDED_COLLATION") : asked;
    if (name.isEmpty())
        return text::defaultCollation();
    return text::findCollation(name);
}
// How long drop and restore wait for a database that a closing session still holds.
constexpr int InUseGraceMs = 500;

QString passwordHash(const QString &salt, const QString &password)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((salt + password).toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString newSalt()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex());
}

} // namespace

bool Instance::isFileName(const QString &name)
{
    if (name.isEmpty() || name.size() > 128 || name == QLatin1StringView(".")
        || name == QLatin1StringView("..") || name.endsWith(u' ') || name.endsWith(u'.'))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 32 || QStringView(u"/\\:*?\"<>|").contains(c))
            return false;
    }
    return true;
}

namespace {

QString operatingSystemUser()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME");
    return user.isEmpty() ? QStringLiteral("user") : user;
}

} // namespace

void Instance::removeDatabaseFiles(const QString &path)
{
    for (const char *extra : { "", "-journal", "-wal", "-shm" })
        QFile::remove(path + QLatin1StringView(extra));
}

DatabaseUse::DatabaseUse(std::unique_ptr<FileLock> lock)
    : m_lock(std::move(lock))
{ }

DatabaseUse::~DatabaseUse() = default;

Instance::Instance(const QString &root, const QString &name, const QString &collationIfNew)
{
    if (!isFileName(name))
        throw serverError(Msg::Other, { QStringLiteral("The instance name '%1' is not valid.").arg(name) });
    m_root = QDir::cleanPath(QDir(root).absolutePath());
    m_folder = QDir::cleanPath(QDir(root).absoluteFilePath(name));

    // An unknown collation for a new instance is refused before anything of it is made.
    const std::optional<text::Collation> collation = chosenCollation(collationIfNew);
    if (!collation && !QFileInfo::exists(databasePath(Master)))
        throw serverError(Msg::Other,
            { QStringLiteral("Invalid collation '%1'.")
                    .arg(collationIfNew.isEmpty() ? qEnvironmentVariable("ZTWIZARD_EMBEDDED_COLLATION")
                                                  : collationIfNew) });
    if (!QDir().mkpath(m_folder + u'/' + LockFolder))
        throw serverError(Msg::FileActivation, { m_folder });
    const auto lock = lockInstance();
    try {
        SqliteFile master(databasePath(Master), true);
        const bool fresh
            = master.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'zt_logins'"))
                  .toLongLong()
            == 0;
        if (fresh) {
            const QString salt = newSalt();
            master.exec(
                QStringLiteral("BEGIN IMMEDIATE;"
                               "CREATE TABLE IF NOT EXISTS zt_logins (name TEXT PRIMARY KEY COLLATE NOCASE, "
                               "salt TEXT NOT NULL, hash TEXT NOT NULL, sysadmin INTEGER NOT NULL DEFAULT 0, "
                               "dbcreator INTEGER NOT NULL DEFAULT 0);"
                               "INSERT OR IGNORE INTO zt_logins VALUES ('sa', %1, %2, 1, 1);")
                    .arg(data::plainLiteral(salt), data::plainLiteral(passwordHash(salt, {})))
                + RecordCollation.arg(data::plainLiteral(collation.value_or(text::defaultCollation()).name))
                + QStringLiteral("COMMIT"));
        }
        m_collation = recordedCollation(master, text::defaultCollation());
    } catch (const SqliteFile::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
}

QString Instance::databasePath(const QString &storedName) const
{
    return m_folder + u'/' + storedName + Suffix;
}

QString Instance::lockPath(const QString &storedName) const
{
    return m_folder + u'/' + LockFolder + u'/' + storedName.toCaseFolded() + QStringLiteral(".lock");
}

std::unique_ptr<FileLock> Instance::lockInstance() const
{
    try {
        return FileLock::acquire(
            m_folder + u'/' + LockFolder + QStringLiteral("/instance.lock"), FileLock::Mode::Exclusive, true);
    } catch (const FileLock::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
}

std::unique_ptr<FileLock> Instance::lockDatabase(const QString &storedName, FileLock::Mode mode) const
{
    try {
        if (mode == FileLock::Mode::Shared)
            return FileLock::acquire(lockPath(storedName), mode, true);
        // A session that is just ending (a client gone, a connection being closed in another
        // thread or process) lets go of its database a moment later: exclusive use waits that
        // moment before it counts the database as in use.
        const QDeadlineTimer grace(InUseGraceMs);
        for (;;) {
            if (auto lock = FileLock::acquire(lockPath(storedName), mode, false))
                return lock;
            if (grace.hasExpired())
                return nullptr;
            QThread::msleep(20);
        }
    } catch (const FileLock::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
}

QString Instance::backupFolder() const
{
    return QDir::cleanPath(m_root + QStringLiteral("/../backup"));
}

std::unique_ptr<SqliteFile> Instance::openMaster() const
{
    try {
        return std::make_unique<SqliteFile>(databasePath(Master), false);
    } catch (const SqliteFile::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
}

QString Instance::findDatabase(const QString &name) const
{
    const QStringList files = QDir(m_folder).entryList({ u'*' + Suffix }, QDir::Files);
    for (const QString &file : files) {
        const QString stored = file.chopped(Suffix.size());
        if (stored.compare(name, Qt::CaseInsensitive) == 0)
            return stored;
    }
    return {};
}

Principal Instance::authenticate(const data::Credentials &login) const
{
    switch (login.kind) {
    case data::Credentials::Kind::None:
        throw serverError(Msg::LoginFailed, { QString() });
    case data::Credentials::Kind::Integrated:
        return { operatingSystemUser(), true };
    case data::Credentials::Kind::Sql:
        break;
    }
    try {
        auto master = openMaster();
        const QString salt
            = master->value(QStringLiteral("SELECT salt FROM zt_logins WHERE name = ?"), { login.user })
                  .toString();
        const QString hash
            = master->value(QStringLiteral("SELECT hash FROM zt_logins WHERE name = ?"), { login.user })
                  .toString();
        if (!hash.isEmpty() && hash == passwordHash(salt, login.password))
            return { login.user, false };
    } catch (const SqliteFile::Failure &) {
        // An unreadable login table refuses the login like a wrong password.
    }
    throw serverError(Msg::LoginFailed, { login.user });
}

bool Instance::isSysadmin(const Principal &principal) const
{
    if (principal.integrated)
        return true;
    try {
        return openMaster()
                   ->value(
                       QStringLiteral("SELECT sysadmin FROM zt_logins WHERE name = ?"), { principal.name })
                   .toLongLong()
            != 0;
    } catch (const SqliteFile::Failure &) {
        return false;
    }
}

bool Instance::canCreateDatabases(const Principal &principal) const
{
    if (principal.integrated)
        return true;
    try {
        return openMaster()
                   ->value(QStringLiteral("SELECT sysadmin OR dbcreator FROM zt_logins WHERE name = ?"),
                       { principal.name })
                   .toLongLong()
            != 0;
    } catch (const SqliteFile::Failure &) {
        return false;
    }
}

void Instance::requireSysadmin(const Principal &by) const
{
    if (!isSysadmin(by))
        throw serverError(Msg::NoPermission);
}

OpenDatabase Instance::open(const QString &database) const
{
    const auto lock = lockInstance();
    OpenDatabase db;
    db.name = findDatabase(database);
    if (db.name.isEmpty())
        throw serverError(Msg::CannotOpenDatabase, { database });
    // Marked before the file opens, so no drop can come between; a failed open drops the mark.
    db.use = std::make_unique<DatabaseUse>(lockDatabase(db.name, FileLock::Mode::Shared));
    try {
        db.file = std::make_unique<SqliteFile>(databasePath(db.name), false);
    } catch (const SqliteFile::Failure &) {
        throw serverError(Msg::CannotOpenDatabase, { database });
    }
    return db;
}

text::Collation Instance::recordedCollation(SqliteFile &file, const text::Collation &fallback)
{
    try {
        if (file.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'zt_properties'"))
                .toLongLong()
            == 0)
            return fallback;
        const QString name
            = file.value(QStringLiteral("SELECT value FROM zt_properties WHERE name = 'collation'"))
                  .toString();
        return name.isEmpty() ? fallback : text::collationOrLike(name, fallback);
    } catch (const SqliteFile::Failure &) {
        return fallback;
    }
}

std::optional<text::Collation> Instance::databaseCollation(const QString &name) const
{
    const QString stored = findDatabase(name);
    if (stored.isEmpty())
        return std::nullopt;
    try {
        SqliteFile file(databasePath(stored), false);
        return recordedCollation(file, text::defaultCollation());
    } catch (const SqliteFile::Failure &) {
        return std::nullopt;
    }
}

void Instance::createDatabase(const Principal &by, const QString &name, const QString &collationName) const
{
    const std::optional<text::Collation> collation
        = collationName.isEmpty() ? std::optional(m_collation) : text::findCollation(collationName);
    if (!collation)
        throw serverError(Msg::Other, { QStringLiteral("Invalid collation '%1'.").arg(collationName) });
    if (!canCreateDatabases(by))
        throw serverError(Msg::PermissionDenied, { QStringLiteral("CREATE DATABASE"), Master });
    const auto lock = lockInstance();
    if (!findDatabase(name).isEmpty())
        throw serverError(Msg::DatabaseExists, { name });
    if (!isFileName(name))
        throw serverError(Msg::FileActivation, { databasePath(name) });
    try {
        // Writing the application id gives the new file its header.
        SqliteFile(databasePath(name), true)
            .exec(QStringLiteral("PRAGMA application_id = 2054452068;")
                + RecordCollation.arg(data::plainLiteral(collation->name)));
    } catch (const SqliteFile::Failure &) {
        removeDatabaseFiles(databasePath(name));
        throw serverError(Msg::FileActivation, { databasePath(name) });
    }
}

void Instance::dropDatabase(const Principal &by, const QString &name) const
{
    const auto lock = lockInstance();
    const QString stored = findDatabase(name);
    if (stored.compare(Master, Qt::CaseInsensitive) == 0)
        throw serverError(Msg::SystemDatabase, { stored });
    if (stored.isEmpty() || !canCreateDatabases(by))
        throw serverError(Msg::DropDatabaseMissing, { name });
    const auto exclusive = lockDatabase(stored, FileLock::Mode::Exclusive);
    if (!exclusive)
        throw serverError(Msg::DatabaseInUse, { name });
    removeDatabaseFiles(databasePath(stored));
}

void Instance::createLogin(const Principal &by, const QString &name, const QString &password) const
{
    requireSysadmin(by);
    auto master = openMaster();
    try {
        if (master->value(QStringLiteral("SELECT count(*) FROM zt_logins WHERE name = ?"), { name })
                .toLongLong()
            > 0)
            throw serverError(Msg::LoginExists, { name });
        const QString salt = newSalt();
        master->value(QStringLiteral("INSERT INTO zt_logins (name, salt, hash) VALUES (?, ?, ?)"),
            { name, salt, passwordHash(salt, password) });
    } catch (const SqliteFile::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
}

void Instance::dropLogin(const Principal &by, const QString &name) const
{
    requireSysadmin(by);
    auto master = openMaster();
    try {
        if (name.compare(QLatin1StringView("sa"), Qt::CaseInsensitive) == 0
            || master->value(QStringLiteral("SELECT count(*) FROM zt_logins WHERE name = ?"), { name })
                    .toLongLong()
                == 0)
            throw serverError(Msg::LoginMissing, { name });
        master->value(QStringLiteral("DELETE FROM zt_logins WHERE name = ?"), { name });
    } catch (const SqliteFile::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
}

void Instance::alterServerRole(
    const Principal &by, const QString &role, const QString &member, bool add) const
{
    requireSysadmin(by);
    QString column;
    if (role.compare(QLatin1StringView("dbcreator"), Qt::CaseInsensitive) == 0)
        column = QStringLiteral("dbcreator");
    else if (role.compare(QLatin1StringView("sysadmin"), Qt::CaseInsensitive) == 0)
        column = QStringLiteral("sysadmin");
    else
        throw serverError(Msg::RoleMissing, { role });
    auto master = openMaster();
    try {
        if (master->value(QStringLiteral("SELECT count(*) FROM zt_logins WHERE name = ?"), { member })
                .toLongLong()
            == 0)
            throw serverError(Msg::PrincipalMissing, { member });
        master->value(QStringLiteral("UPDATE zt_logins SET %1 = ? WHERE name = ?").arg(column),
            { add ? 1 : 0, member });
    } catch (const SqliteFile::Failure &failure) {
        throw serverError(Msg::Other, { failure.message });
    }
}

} // namespace zt::embedded
