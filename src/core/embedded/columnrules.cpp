#include "columnrules.h"

#include "exact/exactlayer.h"
#include "valuerules.h"

#include "text/codepage.h"

#include <sqlite3.h>

#include <cstdlib>

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

// zt_fits(value, unit, size): 'b' bytes of code page 936 ('b1252', 'b950': of that code page),
// 'u' UTF-16 units, 'x' bytes as stored. A character the code page cannot hold counts as its
// one '?'. Trailing blanks of a text may be cut off without an error, as SQL Server cuts them.
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
        const int codePage = unit[1] ? atoi(unit + 1) : 936;
        length = *unit == 'b' ? text::codePageBytes(text, codePage) : text.size();
    }
    sqlite3_result_int(context, length <= size ? 1 : 0);
}

void codePage(sqlite3_context *context, int, sqlite3_value **args)
{
    sqlite3_value *value = args[0];
    if (sqlite3_value_type(value) != SQLITE_TEXT) {
        sqlite3_result_value(context, value);
        return;
    }
    const QString text = QString::fromUtf8(
        reinterpret_cast<const char *>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
    const QByteArray fitted = text::fitCodePage(text, sqlite3_value_int(args[1])).toUtf8();
    sqlite3_result_text(context, fitted.constData(), int(fitted.size()), SQLITE_TRANSIENT);
}

bool isOneOf(const QString &type, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (type == QLatin1StringView(name))
            return true;
    }
    return false;
}

// The code pages other than 936 that a column's collation may name.
constexpr int OtherCodePages[] = { 1252, 950 };

} // namespace

void installColumnRules(sqlite3 *db)
{
    sqlite3_create_collation_v2(
        db, CaseInsensitiveCollation, SQLITE_UTF16_ALIGNED, nullptr, compareCaseInsensitive, nullptr);
    sqlite3_create_collation_v2(
        db, CaseSensitiveCollation, SQLITE_UTF16_ALIGNED, nullptr, compareCaseSensitive, nullptr);
    for (const int page : OtherCodePages) {
        const QByteArray suffix = '_' + QByteArray::number(page);
        sqlite3_create_collation_v2(db, (CaseInsensitiveCollation + suffix).constData(), SQLITE_UTF16_ALIGNED,
            nullptr, compareCaseInsensitive, nullptr);
        sqlite3_create_collation_v2(db, (CaseSensitiveCollation + suffix).constData(), SQLITE_UTF16_ALIGNED,
            nullptr, compareCaseSensitive, nullptr);
    }
    sqlite3_create_function_v2(db, FitsFunction, 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
        nullptr, fits, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, CodePageFunction, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
        nullptr, codePage, nullptr, nullptr, nullptr);
    installValueRules(db);
    installExactNumbers(db);
}

bool isNarrowText(const QString &type)
{
    return isOneOf(type, { "char", "varchar", "text", "character", "char varying", "character varying" });
}

QString collationFor(
    const QString &type, const QString &sqlServerCollation, const text::Collation &databaseDefault)
{
    if (!isOneOf(type,
            { "char", "varchar", "nchar", "nvarchar", "text", "ntext", "character", "char varying",
                "character varying", "sysname" }))
        return {};
    // _CS_ (case-sensitive) and binary collations tell letter case apart; all others do not.
    const text::Collation collation = text::collationOrLike(sqlServerCollation, databaseDefault);
    QString name
        = QString::fromLatin1(collation.caseSensitive ? CaseSensitiveCollation : CaseInsensitiveCollation);
    if (isNarrowText(type) && collation.codePage != 936)
        name += u'_' + QString::number(collation.codePage);
    return name;
}

int codePageOfSqliteCollation(const QString &sqliteCollation)
{
    if (!sqliteCollation.startsWith(QLatin1StringView("zt_c")))
        return 0;
    const qsizetype underscore = sqliteCollation.indexOf(u'_', 3);
    return underscore < 0 ? 936 : sqliteCollation.mid(underscore + 1).toInt();
}

std::optional<QString> sizeCheck(
    const QString &quotedColumn, const QString &type, const QStringList &sizeArgs, int codePage)
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
    QString unitText { QLatin1Char(unit) };
    if (unit == 'b' && codePage != 936)
        unitText += QString::number(codePage);
    return QStringLiteral("CONSTRAINT %1 CHECK (%2(%3, '%4', %5))")
        .arg(QString::fromLatin1(SizeConstraint), QString::fromLatin1(FitsFunction), quotedColumn, unitText,
            QString::number(size));
}

} // namespace zt::embedded
