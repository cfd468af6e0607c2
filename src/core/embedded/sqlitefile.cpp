#include "sqlitefile.h"

#include "columnrules.h"
#include "exact/exactlayer.h"
#include "install/sharedfiles.h"

#include <QDateTime>
#include <QFile>

#include <sqlite3.h>

namespace zt::embedded {

namespace {

constexpr int BusyTimeoutMs = 5000;

} // namespace

SqliteFile::SqliteFile(const QString &path, bool create)
{
    if (create)
        install::createSharedFile(path); // writable by the group too, like the wizard's other files
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = m_db ? lastError() : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Failure { message };
    }
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 0);
    installColumnRules(m_db);
    exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    // Write-ahead logging without a sync at every commit: each posted row is its own
    // transaction, and a crash may lose the last ones but never corrupts the file.
    exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
}

SqliteFile::~SqliteFile()
{
    sqlite3_close_v2(m_db);
}

QString SqliteFile::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

void SqliteFile::exec(const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        throw Failure { message };
    }
}

QVariant SqliteFile::value(const QString &sql, const QVariantList &params)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &raw, nullptr) != SQLITE_OK)
        throw Failure { lastError() };
    SqliteStatement statement(raw);
    for (int i = 0; i < params.size(); ++i)
        bindValue(raw, i + 1, params[i]);
    const int rc = sqlite3_step(raw);
    if (rc == SQLITE_DONE)
        return {};
    if (rc != SQLITE_ROW)
        throw Failure { lastError() };
    switch (sqlite3_column_type(raw, 0)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant::fromValue<qlonglong>(sqlite3_column_int64(raw, 0));
    case SQLITE_FLOAT:
        return sqlite3_column_double(raw, 0);
    default:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

int bindValue(sqlite3_stmt *statement, int index, const QVariant &value)
{
    if (value.isNull())
        return sqlite3_bind_null(statement, index);
    auto bindText = [&](const QString &text) {
        const QByteArray utf8 = text.toUtf8();
        return sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    };
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return bindText(value.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")));
    case QMetaType::QDate:
        return bindText(value.toDate().toString(QStringLiteral("yyyy-MM-dd")));
    case QMetaType::QTime:
        return bindText(value.toTime().toString(QStringLiteral("hh:mm:ss.zzz")));
    case QMetaType::Bool:
        return sqlite3_bind_int(statement, index, value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
            return sqlite3_bind_int64(statement, index, value.toLongLong());
        return sqlite3_bind_double(statement, index, value.toDouble());
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(statement, index, value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    default:
        if (value.typeId() == qMetaTypeId<ExactNumber>()) {
            // An exact number read back is bound as it is held, its shortest text (exact/exactlayer.h).
            const QByteArray latin = value.value<ExactNumber>().text.toLatin1();
            const std::optional<Decimal> d
                = parseDecimal(std::string_view(latin.constData(), std::size_t(latin.size())));
            const std::string digits = d ? decimalText(normalized(*d)) : std::string();
            if (isExactBlob(digits.data(), int(digits.size())))
                return sqlite3_bind_blob(
                    statement, index, digits.data(), int(digits.size()), SQLITE_TRANSIENT);
        }
        return bindText(value.toString());
    }
}

bool isSqliteDatabase(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(16) != QByteArray("SQLite format 3", 16))
        return false;
    file.close();
    sqlite3 *db = nullptr;
    const QByteArray name = QFile::encodeName(path);
    bool ok = sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    return ok;
}

} // namespace zt::embedded
