#include "columnrules.h"

#include "valuerules.h"

#include "text/gbk.h"

#include <sqlite3.h>

namespace zt::embedded {

namespace {

// The text of UTF-16 data without the trailing blanks SQL Server ignores when comparing.
QStringView withoutTrailingBlanks(const void *data, int bytes)
{
    QStringView text(static_cast<const char16_t *>(data), bytes / 2);
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

int compareCaseInsensitive(void *, int leftBytes, const void *left, int rightBytes, const void *right)
{
    const int result = withoutTrailingBlanks(left, leftBytes)
                           .compare(withoutTrailingBlanks(right, rightBytes), Qt::CaseInsensitive);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

int compareCaseSensitive(void *, int leftBytes, const void *left, int rightBytes, const void *right)
{
    const int result
        = withoutTrailingBlanks(left, leftBytes).compare(withoutTrailingBlanks(right, rightBytes));
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// Bytes of a text in code page 936: ASCII is one byte each; anything else is measured by
// encoding it (a character GBK cannot hold becomes one '?').
qsizetype gbkBytes(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return text::toGbk(text.toString()).size();
    }
    return text.size();
}

// zt_fits(value, unit, size): 'b' GBK bytes, 'u' UTF-16 units, 'x' bytes as stored. Trailing
// blanks of a text may be cut off without an error, as SQL Server cuts them.
void fits(sqlite3_context *context, int, sqlite3_value **args)
{
    sqlite3_value *value = args[0];
    const char *unit = reinterpret_cast<const char *>(sqlite3_value_text(args[1]));
    const qint64 size = sqlite3_value_int64(args[2]);
    if (sqlite3_value_type(value) == SQLITE_NULL || !unit) {
        sqlite3_result_int(context, 1);
        return;
    }
    qint64 length = 0;
    if (*unit == 'x') {
        length = sqlite3_value_bytes(value);
    } else {
        const void *data = sqlite3_value_text16(value);
        const QStringView text = withoutTrailingBlanks(data, sqlite3_value_bytes16(value));
        length = *unit == 'b' ? gbkBytes(text) : text.size();
    }
    sqlite3_result_int(context, length <= size ? 1 : 0);
}

bool isOneOf(const QString &type, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (type == QLatin1StringView(name))
            return true;
    }
    return false;
}

} // namespace

void installColumnRules(sqlite3 *db)
{
    sqlite3_create_collation_v2(
        db, CaseInsensitiveCollation, SQLITE_UTF16_ALIGNED, nullptr, compareCaseInsensitive, nullptr);
    sqlite3_create_collation_v2(
        db, CaseSensitiveCollation, SQLITE_UTF16_ALIGNED, nullptr, compareCaseSensitive, nullptr);
    sqlite3_create_function_v2(db, FitsFunction, 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
        nullptr, fits, nullptr, nullptr, nullptr);
    installValueRules(db);
}

QString collationFor(const QString &type, const QString &sqlServerCollation)
{
    if (!isOneOf(type,
            { "char", "varchar", "nchar", "nvarchar", "text", "ntext", "character", "char varying",
                "character varying", "sysname" }))
        return {};
    // _CS_ (case-sensitive) and binary collations tell letter case apart; all others do not.
    const QString name = sqlServerCollation.toUpper();
    const bool sensitive = name.contains(QLatin1StringView("_CS")) || name.endsWith(QLatin1StringView("_BIN"))
        || name.endsWith(QLatin1StringView("_BIN2"));
    return QString::fromLatin1(sensitive ? CaseSensitiveCollation : CaseInsensitiveCollation);
}

std::optional<QString> sizeCheck(
    const QString &quotedColumn, const QString &type, const QStringList &sizeArgs)
{
    char unit = 0;
    if (isOneOf(type, { "char", "varchar", "character", "char varying", "character varying" }))
        unit = 'b';
    else if (isOneOf(type, { "nchar", "nvarchar" }))
        unit = 'u';
    else if (isOneOf(type, { "binary", "varbinary" }))
        unit = 'x';
    if (!unit)
        return std::nullopt;
    qint64 size = 1; // "varchar" alone in a column definition is varchar(1)
    if (!sizeArgs.isEmpty()) {
        if (sizeArgs.first().compare(QLatin1StringView("max"), Qt::CaseInsensitive) == 0)
            return std::nullopt;
        bool ok = false;
        size = sizeArgs.first().toLongLong(&ok);
        if (!ok || size <= 0)
            return std::nullopt; // the size itself is checked by the caller
    }
    return QStringLiteral("CONSTRAINT %1 CHECK (%2(%3, '%4', %5))")
        .arg(QString::fromLatin1(SizeConstraint), QString::fromLatin1(FitsFunction), quotedColumn,
            QString(QLatin1Char(unit)), QString::number(size));
}

} // namespace zt::embedded
