// Tables created by a session: CREATE TABLE as SQLite takes it, with the triggers that give the
// table SQL Server's IDENTITY numbering, code pages of char/varchar columns and decimal scales.
#include "session.h"

#include "columnrules.h"
#include "data/sqlliteral.h"
#include "servererror.h"
#include "sqlitefile.h"
#include "tsqlstatement.h"

namespace zt::embedded {

namespace {

// The triggers that number an IDENTITY column: a row inserted without a value gets seed, then
// the last number + step; an explicit value is refused (544), as is changing a number (8102).
QString identitySql(const QString &table, const Identity &identity)
{
    const QString t = quoteName(table);
    const QString c = quoteName(identity.column);
    const QString key = data::plainLiteral(table);
    return QStringLiteral(
        "CREATE TABLE IF NOT EXISTS zt_identity (tbl TEXT PRIMARY KEY COLLATE NOCASE, "
        "seed INTEGER NOT NULL, step INTEGER NOT NULL, last INTEGER);"
        "INSERT OR REPLACE INTO zt_identity (tbl, seed, step, last) VALUES (%1, %2, %3, NULL);"
        "CREATE TRIGGER %4 BEFORE INSERT ON %5 WHEN NEW.%6 IS NOT NULL "
        "BEGIN SELECT RAISE(ABORT, %7); END;"
        "CREATE TRIGGER %8 AFTER INSERT ON %5 WHEN NEW.%6 IS NULL BEGIN "
        "UPDATE zt_identity SET last = CASE WHEN last IS NULL THEN seed ELSE last + step END WHERE tbl = %1;"
        "UPDATE %5 SET %6 = (SELECT last FROM zt_identity WHERE tbl = %1) WHERE rowid = NEW.rowid; END;"
        "CREATE TRIGGER %9 BEFORE UPDATE OF %6 ON %5 WHEN OLD.%6 IS NOT NULL AND NEW.%6 IS NOT OLD.%6 "
        "BEGIN SELECT RAISE(ABORT, %10); END;")
        .arg(key, QString::number(identity.seed), QString::number(identity.step),
            quoteName(QStringLiteral("zt_identity_%1_explicit").arg(table)), t, c,
            data::plainLiteral(QStringLiteral("zt:544:") + table),
            quoteName(QStringLiteral("zt_identity_%1_number").arg(table)),
            quoteName(QStringLiteral("zt_identity_%1_fixed").arg(table)),
            data::plainLiteral(QStringLiteral("zt:8102:") + identity.column));
}

// The triggers that keep a char/varchar column in its code page: a value it cannot hold is
// stored as SQL Server stores it, each character that does not fit as '?'.
QString codePageSql(const QString &table, const QString &column, int codePage)
{
    const QString t = quoteName(table);
    const QString c = quoteName(column);
    const QString fitted = QStringLiteral("%1(NEW.%2, %3)")
                               .arg(QLatin1StringView(CodePageFunction), c, QString::number(codePage));
    const QString trigger = QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 WHEN NEW.%4 IS NOT %5 BEGIN "
                                           "UPDATE %3 SET %4 = %5 WHERE rowid = NEW.rowid; END;");
    return trigger.arg(quoteName(QStringLiteral("zt_codepage_%1_%2_i").arg(table, column)),
               QStringLiteral("INSERT"), t, c, fitted)
        + trigger.arg(quoteName(QStringLiteral("zt_codepage_%1_%2_u").arg(table, column)),
            QStringLiteral("UPDATE OF ") + c, t, c, fitted);
}

// The triggers that round a value with more decimals than its column's scale, as SQL Server
// stores it (0.125 in a decimal(18, 2) is 0.13).
QString scaleSql(const QString &table, const QString &column, int scale)
{
    const QString t = quoteName(table);
    const QString c = quoteName(column);
    const QString rounded = QStringLiteral("zt_scaled(NEW.%1, %2)").arg(c, QString::number(scale));
    const QString trigger = QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 WHEN typeof(NEW.%4) IN ('real', "
                                           "'blob') AND NEW.%4 <> %5 BEGIN "
                                           "UPDATE %3 SET %4 = %5 WHERE rowid = NEW.rowid; END;");
    return trigger.arg(quoteName(QStringLiteral("zt_scale_%1_%2_i").arg(table, column)),
               QStringLiteral("INSERT"), t, c, rounded)
        + trigger.arg(quoteName(QStringLiteral("zt_scale_%1_%2_u").arg(table, column)),
            QStringLiteral("UPDATE OF ") + c, t, c, rounded);
}

} // namespace

void Session::createTable(const Statement &st)
{
    const QString &table = st.names[0];
    requireCreateRight(QStringLiteral("TABLE"));
    SqliteFile &file = *m_database.file;
    try {
        const bool exists = file.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN "
                                                      "('table', 'view') AND name = ? COLLATE NOCASE"),
                                    { table })
                                .toLongLong()
            > 0;
        if (exists)
            throw serverError(Msg::ObjectExists, { table });
        file.exec(QStringLiteral("SAVEPOINT zt_create_table"));
        try {
            file.exec(st.text);
            if (st.identity)
                file.exec(identitySql(table, *st.identity));
            for (const auto &[column, codePage] : st.codePageColumns)
                file.exec(codePageSql(table, column, codePage));
            for (const auto &[column, scale] : st.scaleColumns)
                file.exec(scaleSql(table, column, scale));
            file.exec(QStringLiteral("RELEASE zt_create_table"));
        } catch (const SqliteFile::Failure &) {
            file.exec(QStringLiteral("ROLLBACK TO zt_create_table; RELEASE zt_create_table"));
            throw;
        }
    } catch (const SqliteFile::Failure &failure) {
        throw fromSqlite(failure.message, st.verb, m_database.name, st.lastToken);
    }
}

} // namespace zt::embedded
