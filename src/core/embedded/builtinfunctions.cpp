// The built-in T-SQL functions SQLite lacks, and the value checks of the server's columns.
#include "catalog.h"
#include "serverfunctions.h"

#include <sqlite3.h>

namespace zt::embedded {

namespace {

const ServerFunctionContext &contextOf(sqlite3_context *call)
{
    return *static_cast<const ServerFunctionContext *>(sqlite3_user_data(call));
}

QString textOf(sqlite3_value *value)
{
    return QString::fromUtf8(
        reinterpret_cast<const char *>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
}

void resultText(sqlite3_context *call, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(call, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void dbName(sqlite3_context *call, int argc, sqlite3_value **args)
{
    const ServerFunctionContext &c = contextOf(call);
    if (argc == 0 || sqlite3_value_type(args[0]) == SQLITE_NULL) {
        resultText(call, c.database);
        return;
    }
    const int id = sqlite3_value_int(args[0]);
    for (const DatabaseEntry &db : databases(*c.instance)) {
        if (db.id == id) {
            resultText(call, db.name);
            return;
        }
    }
    sqlite3_result_null(call);
}

void dbId(sqlite3_context *call, int argc, sqlite3_value **args)
{
    const ServerFunctionContext &c = contextOf(call);
    const QString name = argc == 0 ? c.database : textOf(args[0]);
    for (const DatabaseEntry &db : databases(*c.instance)) {
        if (db.name.compare(name, Qt::CaseInsensitive) == 0) {
            sqlite3_result_int(call, db.id);
            return;
        }
    }
    sqlite3_result_null(call);
}

void loginName(sqlite3_context *call, int, sqlite3_value **)
{
    resultText(call, contextOf(call).principal->name);
}

void appName(sqlite3_context *call, int, sqlite3_value **)
{
    resultText(call, contextOf(call).appName);
}

// Every login is the owner of the database it uses, as a sysadmin or creator is.
void userName(sqlite3_context *call, int, sqlite3_value **)
{
    resultText(call, QStringLiteral("dbo"));
}

void schemaName(sqlite3_context *call, int argc, sqlite3_value **args)
{
    const int id = argc == 0 ? 1 : sqlite3_value_int(args[0]);
    static const char *const names[] = { "dbo", "guest", "INFORMATION_SCHEMA", "sys" };
    if (id >= 1 && id <= 4)
        resultText(call, QString::fromLatin1(names[id - 1]));
    else
        sqlite3_result_null(call);
}

// Text counts as nvarchar (two bytes a character), the type the server's text mostly has.
void dataLength(sqlite3_context *call, int, sqlite3_value **args)
{
    switch (sqlite3_value_type(args[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(call);
        return;
    case SQLITE_INTEGER: {
        const qint64 n = sqlite3_value_int64(args[0]);
        sqlite3_result_int(call, n >= INT32_MIN && n <= INT32_MAX ? 4 : 8);
        return;
    }
    case SQLITE_FLOAT:
        sqlite3_result_int(call, 8);
        return;
    case SQLITE_BLOB:
        sqlite3_result_int(call, sqlite3_value_bytes(args[0]));
        return;
    default:
        sqlite3_result_int(call, sqlite3_value_bytes16(args[0]));
    }
}

void replicate(sqlite3_context *call, int, sqlite3_value **args)
{
    if (sqlite3_value_type(args[0]) == SQLITE_NULL || sqlite3_value_type(args[1]) == SQLITE_NULL) {
        sqlite3_result_null(call);
        return;
    }
    const qint64 times = sqlite3_value_int64(args[1]);
    const QString text = textOf(args[0]);
    if (times < 0 || text.size() * times > 8000) {
        sqlite3_result_null(call);
        return;
    }
    resultText(call, text.repeated(times));
}

void space(sqlite3_context *call, int, sqlite3_value **args)
{
    const qint64 n = sqlite3_value_int64(args[0]);
    if (n < 0 || n > 8000)
        sqlite3_result_null(call);
    else
        resultText(call, QString(n, u' '));
}

void divisor(sqlite3_context *call, int, sqlite3_value **args)
{
    const int storage = sqlite3_value_type(args[0]);
    if ((storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) && sqlite3_value_double(args[0]) == 0) {
        static const char message[] = "zt:8134:Divide by zero error encountered.";
        sqlite3_result_error(call, message, sizeof message - 1);
        return;
    }
    sqlite3_result_value(call, args[0]);
}

} // namespace

void registerBuiltinFunctions(sqlite3 *db, const ServerFunctionContext *context)
{
    void *data = const_cast<ServerFunctionContext *>(context);
    constexpr int flags = SQLITE_UTF8;
    constexpr int pure = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    for (int argc : { 0, 1 }) {
        sqlite3_create_function(db, "db_name", argc, flags, data, dbName, nullptr, nullptr);
        sqlite3_create_function(db, "db_id", argc, flags, data, dbId, nullptr, nullptr);
        sqlite3_create_function(db, "schema_name", argc, flags, data, schemaName, nullptr, nullptr);
        sqlite3_create_function(db, "suser_sname", argc, flags, data, loginName, nullptr, nullptr);
        sqlite3_create_function(db, "suser_name", argc, flags, data, loginName, nullptr, nullptr);
        sqlite3_create_function(db, "user_name", argc, flags, data, userName, nullptr, nullptr);
    }
    sqlite3_create_function(db, "app_name", 0, flags, data, appName, nullptr, nullptr);
    sqlite3_create_function(db, "datalength", 1, pure, nullptr, dataLength, nullptr, nullptr);
    sqlite3_create_function(db, "replicate", 2, pure, nullptr, replicate, nullptr, nullptr);
    sqlite3_create_function(db, "space", 1, pure, nullptr, space, nullptr, nullptr);
    sqlite3_create_function(db, "zt_divisor", 1, pure, nullptr, divisor, nullptr, nullptr);
}

} // namespace zt::embedded
