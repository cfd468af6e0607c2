#include "serverfunctions.h"

#include <QDir>

#include <functional>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

const ServerFunctionContext &contextOf(sqlite3_context *call)
{
    return *static_cast<const ServerFunctionContext *>(sqlite3_user_data(call));
}

QString textArgument(sqlite3_value *value)
{
    if (sqlite3_value_type(value) == SQLITE_NULL)
        return {};
    return QString::fromUtf8(
        reinterpret_cast<const char *>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
}

void resultText(sqlite3_context *call, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(call, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

// Rights are looked up in master; a failure there reads as "no right" (0), not as an error.
bool checkRight(const std::function<bool()> &check)
{
    try {
        return check();
    } catch (...) {
        return false;
    }
}

void serverProperty(sqlite3_context *call, int, sqlite3_value **args)
{
    const QString name = textArgument(args[0]);
    if (name.compare(QLatin1StringView("Collation"), Qt::CaseInsensitive) == 0)
        resultText(call, contextOf(call).instance->collation().name);
    else if (name.compare(QLatin1StringView("Edition"), Qt::CaseInsensitive) == 0)
        resultText(call, QStringLiteral("ztwizard embedded server"));
    else if (name.compare(QLatin1StringView("ProductVersion"), Qt::CaseInsensitive) == 0)
        resultText(call, QString::fromLatin1(ProductVersion)); // as the login acknowledgement says
    else if (name.compare(QLatin1StringView("InstanceDefaultDataPath"), Qt::CaseInsensitive) == 0)
        resultText(call, contextOf(call).instance->defaultDataPath());
    else if (name.compare(QLatin1StringView("InstanceDefaultLogPath"), Qt::CaseInsensitive) == 0)
        resultText(call, contextOf(call).instance->defaultLogPath());
    else if (name.compare(QLatin1StringView("InstanceDefaultBackupPath"), Qt::CaseInsensitive) == 0)
        resultText(call, contextOf(call).instance->backupFolder() + u'/');
    else
        sqlite3_result_null(call);
}

// DATABASEPROPERTYEX(database, 'Collation'): the database's default collation; NULL for a
// database that does not exist and for properties not known here.
void databaseProperty(sqlite3_context *call, int, sqlite3_value **args)
{
    const ServerFunctionContext &c = contextOf(call);
    const QString database = textArgument(args[0]);
    const QString property = textArgument(args[1]);
    if (property.compare(QLatin1StringView("Collation"), Qt::CaseInsensitive) != 0) {
        sqlite3_result_null(call);
        return;
    }
    std::optional<text::Collation> collation;
    checkRight([&] {
        collation = c.instance->databaseCollation(database);
        return true;
    });
    if (collation)
        resultText(call, collation->name);
    else
        sqlite3_result_null(call);
}

void isServerRoleMember(sqlite3_context *call, int, sqlite3_value **args)
{
    const ServerFunctionContext &c = contextOf(call);
    const QString role = textArgument(args[0]);
    if (role.compare(QLatin1StringView("sysadmin"), Qt::CaseInsensitive) == 0)
        sqlite3_result_int(call, checkRight([&] { return c.instance->isSysadmin(*c.principal); }));
    else if (role.compare(QLatin1StringView("dbcreator"), Qt::CaseInsensitive) == 0)
        sqlite3_result_int(call, checkRight([&] { return c.instance->canCreateDatabases(*c.principal); }));
    else
        sqlite3_result_null(call);
}

void hasPermsByName(sqlite3_context *call, int, sqlite3_value **args)
{
    const ServerFunctionContext &c = contextOf(call);
    const QString securable = textArgument(args[0]);
    const QString securableClass = textArgument(args[1]);
    const QString permission = textArgument(args[2]).simplified();
    if (permission.compare(QLatin1StringView("CREATE ANY DATABASE"), Qt::CaseInsensitive) == 0
        && (securableClass.isEmpty() || securableClass.compare(u"SERVER", Qt::CaseInsensitive) == 0)) {
        sqlite3_result_int(call, checkRight([&] { return c.instance->canCreateDatabases(*c.principal); }));
        return;
    }
    if (permission.compare(QLatin1StringView("CREATE TABLE"), Qt::CaseInsensitive) == 0
        && securableClass.compare(u"DATABASE", Qt::CaseInsensitive) == 0) {
        const QString database = securable.isEmpty() ? c.database : securable;
        if (checkRight([&] { return c.instance->findDatabase(database).isEmpty(); })) {
            sqlite3_result_null(call);
            return;
        }
        // Tables in master are for the server's administrators only; elsewhere any login may.
        const bool master = database.compare(QLatin1StringView("master"), Qt::CaseInsensitive) == 0;
        sqlite3_result_int(call, !master || checkRight([&] { return c.instance->isSysadmin(*c.principal); }));
        return;
    }
    sqlite3_result_null(call);
}

// OBJECT_ID('[dbo].[name]'): the object's row number in this database's schema, or NULL.
void objectId(sqlite3_context *call, int, sqlite3_value **args)
{
    QString name = textArgument(args[0]).section(u'.', -1).trimmed();
    if (name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2);
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(sqlite3_context_db_handle(call),
            "SELECT rowid FROM sqlite_master WHERE type IN ('table', 'view') AND name = ? COLLATE NOCASE", -1,
            &statement, nullptr)
        != SQLITE_OK) {
        sqlite3_result_null(call);
        return;
    }
    const QByteArray utf8 = name.toUtf8();
    sqlite3_bind_text(statement, 1, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(statement) == SQLITE_ROW)
        sqlite3_result_int64(call, sqlite3_column_int64(statement, 0));
    else
        sqlite3_result_null(call);
    sqlite3_finalize(statement);
}

void serverVariable(sqlite3_context *call, int, sqlite3_value **args)
{
    const ServerFunctionContext &c = contextOf(call);
    const QString name = textArgument(args[0]);
    if (name.compare(QLatin1StringView("version"), Qt::CaseInsensitive) == 0) {
        resultText(call, versionText());
    } else if (name.compare(QLatin1StringView("servername"), Qt::CaseInsensitive) == 0) {
        const QString instance = QDir(c.instance->folder()).dirName();
        resultText(call,
            instance == QLatin1StringView("default") ? QStringLiteral("(embedded)")
                                                     : QStringLiteral("(embedded)\\") + instance);
    } else if (name.compare(QLatin1StringView("spid"), Qt::CaseInsensitive) == 0) {
        sqlite3_result_int(call, c.spid);
    } else if (name.compare(QLatin1StringView("trancount"), Qt::CaseInsensitive) == 0) {
        sqlite3_result_int(call, c.tranCount);
    } else if (name.compare(QLatin1StringView("rowcount"), Qt::CaseInsensitive) == 0) {
        sqlite3_result_int64(call, c.rowCount);
    } else if (name.compare(QLatin1StringView("error"), Qt::CaseInsensitive) == 0) {
        sqlite3_result_int(call, c.error);
    } else {
        sqlite3_result_null(call);
    }
}

} // namespace

QString versionText()
{
    return QStringLiteral(
        "Microsoft SQL Server 2019 (RTM) - %1 (X64) \n\tztwizard embedded server (SQLite %2)")
        .arg(QString::fromLatin1(ProductVersion), QString::fromLatin1(sqlite3_libversion()));
}

void registerServerFunctions(sqlite3 *db, const ServerFunctionContext *context)
{
    void *data = const_cast<ServerFunctionContext *>(context);
    constexpr int flags = SQLITE_UTF8;
    sqlite3_create_function(
        db, "serverproperty", 1, flags | SQLITE_DETERMINISTIC, data, serverProperty, nullptr, nullptr);
    sqlite3_create_function(db, "databasepropertyex", 2, flags, data, databaseProperty, nullptr, nullptr);
    sqlite3_create_function(db, "is_srvrolemember", 1, flags, data, isServerRoleMember, nullptr, nullptr);
    sqlite3_create_function(db, "has_perms_by_name", 3, flags, data, hasPermsByName, nullptr, nullptr);
    sqlite3_create_function(db, "object_id", 1, flags, data, objectId, nullptr, nullptr);
    sqlite3_create_function(db, "zt_server_variable", 1, flags, data, serverVariable, nullptr, nullptr);
}

} // namespace zt::embedded
