#include "backupcheck.h"

#include <QFile>
#include <QRegularExpression>

#include <sqlite3.h>

namespace zt::embedded {

std::optional<int> damagedPage(const QString &path, CheckDepth depth)
{
    sqlite3 *db = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return 0;
    }
    const char *sql = depth == CheckDepth::Full ? "PRAGMA integrity_check(1)" : "PRAGMA quick_check(1)";
    sqlite3_stmt *statement = nullptr;
    std::optional<int> page = 0;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        if (sqlite3_step(statement) == SQLITE_ROW) {
            const QString answer
                = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
            if (answer == QLatin1StringView("ok")) {
                page = std::nullopt;
            } else {
                static const QRegularExpression named(QStringLiteral("[Pp]age (\\d+)"));
                const auto match = named.match(answer);
                if (match.hasMatch())
                    page = match.captured(1).toInt();
            }
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close_v2(db);
    return page;
}

std::optional<CheckDepth> restoreCheckDepth()
{
    const QByteArray setting = qgetenv("ZTWIZARD_BACKUP_CHECK").trimmed().toLower();
    if (setting == "off")
        return std::nullopt;
    if (setting == "full")
        return CheckDepth::Full;
    return CheckDepth::Quick;
}

} // namespace zt::embedded
