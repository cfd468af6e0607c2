#include "results.h"

#include "embedded/exact/exactlayer.h"
#include "text/codepage.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cmath>
#include <cstring>
#include <optional>

namespace zt::tds {

namespace {

using embedded::Decimal;

const int ExactNumberType = qMetaTypeId<embedded::ExactNumber>();

// A value of a decimal or money column: exact numbers and text by their digits, doubles by
// the 15 significant digits they keep.
std::optional<Decimal> decimalOf(const QVariant &v)
{
    const int id = v.metaType().id();
    if (id == ExactNumberType)
        return embedded::parseDecimal(v.value<embedded::ExactNumber>().text.toStdString());
    if (id == QMetaType::QString)
        return embedded::parseDecimal(v.toString().toStdString());
    if (id == QMetaType::LongLong || id == QMetaType::Int || id == QMetaType::Bool)
        return Decimal { v.toLongLong(), 0 };
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? embedded::decimalOf(d) : std::nullopt;
}

enum class Kind {
    Int,
    Bit,
    Decimal,
    Float,
    Money,
    DateTime,
    SmallDateTime,
    VarChar,
    Char,
    NVarChar,
    NChar,
    Binary
};

struct ColumnType
{
    Kind kind = Kind::NVarChar;
    int size = 0; // bytes of a fixed-size number; characters of a text; 0 = max
    int precision = 18;
    int scale = 0;
    text::Collation collation = {}; // of a text column
};

constexpr int MaxBytes = 8000;
const QDate Epoch1900(1900, 1, 1);

bool isMax(const ColumnType &t)
{
    return t.size == 0;
}

ColumnType declared(const QString &declaration)
{
    static const QRegularExpression form(QStringLiteral(
        "^\\s*\\[?([a-z0-9 ]+?)\\]?\\s*(?:\\(\\s*(max|-1|\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\))?\\s*$"));
    const QRegularExpressionMatch m = form.match(declaration.toLower());
    if (!m.hasMatch())
        return { Kind::NVarChar, 4000 };
    const QString name = m.captured(1);
    const QString size = m.captured(2);
    const int n = size == QLatin1StringView("max") || size == QLatin1StringView("-1")
        ? 0
        : (size.isEmpty() ? -1 : size.toInt());
    // A variable-length type stored without its size ("max" cannot be kept) carries any length.
    auto text = [&](Kind kind, int byDefault, int limit) {
        return ColumnType { kind, n < 0 ? byDefault : (n > limit ? 0 : n) };
    };
    if (name == QLatin1StringView("int") || name == QLatin1StringView("integer"))
        return { Kind::Int, 4 };
    if (name == QLatin1StringView("bigint"))
        return { Kind::Int, 8 };
    if (name == QLatin1StringView("smallint"))
        return { Kind::Int, 2 };
    if (name == QLatin1StringView("tinyint"))
        return { Kind::Int, 1 };
    if (name == QLatin1StringView("bit"))
        return { Kind::Bit, 1 };
    if (name == QLatin1StringView("decimal") || name == QLatin1StringView("numeric")) {
        const int precision = n > 0 && n <= 38 ? n : 18;
        return { Kind::Decimal, 0, precision, std::min(m.captured(3).toInt(), precision) };
    }
    if (name == QLatin1StringView("float") || name == QLatin1StringView("double precision"))
        return { Kind::Float, n > 0 && n <= 24 ? 4 : 8 };
    if (name == QLatin1StringView("real"))
        return { Kind::Float, 4 };
    if (name == QLatin1StringView("money"))
        return { Kind::Money, 8 };
    if (name == QLatin1StringView("smallmoney"))
        return { Kind::Money, 4 };
    if (name == QLatin1StringView("datetime") || name == QLatin1StringView("datetime2")
        || name == QLatin1StringView("date"))
        return { Kind::DateTime, 8 };
    if (name == QLatin1StringView("smalldatetime"))
        return { Kind::SmallDateTime, 4 };
    if (name == QLatin1StringView("varchar"))
        return text(Kind::VarChar, 0, MaxBytes);
    if (name == QLatin1StringView("char"))
        return n < 0 ? ColumnType { Kind::VarChar, 0 } : text(Kind::Char, 0, MaxBytes);
    if (name == QLatin1StringView("text"))
        return { Kind::VarChar, 0 };
    if (name == QLatin1StringView("nvarchar"))
        return text(Kind::NVarChar, 0, MaxBytes / 2);
    if (name == QLatin1StringView("nchar"))
        return n < 0 ? ColumnType { Kind::NVarChar, 0 } : text(Kind::NChar, 0, MaxBytes / 2);
    if (name == QLatin1StringView("ntext"))
        return { Kind::NVarChar, 0 };
    if (name == QLatin1StringView("varbinary") || name == QLatin1StringView("binary")
        || name == QLatin1StringView("image"))
        return text(Kind::Binary, 0, MaxBytes);
    return { Kind::NVarChar, 4000 };
}

// The type of a column no declaration explains, from its values.
ColumnType inferred(const data::ResultSet &rows, int column)
{
    int metaType = QMetaType::UnknownType;
    qsizetype longest = 1;
    for (const QList<QVariant> &row : rows.rows) {
        const QVariant &v = row.at(column);
        if (v.isNull())
            continue;
        int id = v.metaType().id();
        if (id == ExactNumberType)
            id = QMetaType::Double; // read with the doubles, by their digits
        if (metaType == QMetaType::UnknownType)
            metaType = id;
        else if (metaType != id)
            metaType = QMetaType::QString;
        longest = std::max(longest, v.toString().size());
    }
    switch (metaType) {
    case QMetaType::Int:
    case QMetaType::LongLong: {
        // count(*), @@ROWCOUNT and the like are int on SQL Server; bigint only where needed.
        for (const QList<QVariant> &row : rows.rows) {
            const QVariant &v = row.at(column);
            if (!v.isNull() && (v.toLongLong() > INT32_MAX || v.toLongLong() < INT32_MIN))
                return { Kind::Int, 8 };
        }
        return { Kind::Int, 4 };
    }
    case QMetaType::Double: {
        // Doubles of an expression are mostly sums and products of decimal columns, which SQL
        // Server answers as decimal: exact to the 15 significant digits a double keeps, or whole
        // where the value is an exact number.
        int scale = 0;
        for (const QList<QVariant> &row : rows.rows) {
            const QVariant &v = row.at(column);
            if (v.isNull())
                continue;
            const bool exactValue = v.metaType().id() == ExactNumberType;
            const double d = v.toDouble();
            if (!exactValue && (!std::isfinite(d) || std::fabs(d) >= 1e15))
                return { Kind::Float, 8 };
            const std::optional<Decimal> value = decimalOf(v);
            if (!value)
                return { Kind::Float, 8 };
            scale = std::max(scale, value->scale);
        }
        return { Kind::Decimal, 0, 38, scale };
    }
    case QMetaType::Bool:
        return { Kind::Bit, 1 };
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return { Kind::DateTime, 8 };
    case QMetaType::QByteArray:
        return { Kind::Binary, 0 };
    default:
        return { Kind::NVarChar, longest > 4000 ? 0 : 4000 };
    }
}

void writeTypeInfo(Writer &out, const ColumnType &t)
{
    switch (t.kind) {
    case Kind::Int:
        out.u8(0x26);
        out.u8(std::uint8_t(t.size));
        return;
    case Kind::Bit:
        out.u8(0x68);
        out.u8(1);
        return;
    case Kind::Decimal:
        out.u8(0x6a);
        out.u8(t.precision <= 9 ? 5 : t.precision <= 19 ? 9 : t.precision <= 28 ? 13 : 17);
        out.u8(std::uint8_t(t.precision));
        out.u8(std::uint8_t(t.scale));
        return;
    case Kind::Float:
        out.u8(0x6d);
        out.u8(std::uint8_t(t.size));
        return;
    case Kind::Money:
        out.u8(0x6e);
        out.u8(std::uint8_t(t.size));
        return;
    case Kind::DateTime:
    case Kind::SmallDateTime:
        out.u8(0x6f);
        out.u8(t.kind == Kind::DateTime ? 8 : 4);
        return;
    case Kind::VarChar:
    case Kind::Char:
        out.u8(t.kind == Kind::VarChar ? 0xa7 : 0xaf);
        out.u16(isMax(t) ? 0xffff : std::uint16_t(t.size));
        out.bytes(t.collation.tdsBytes());
        return;
    case Kind::NVarChar:
    case Kind::NChar:
        out.u8(t.kind == Kind::NVarChar ? 0xe7 : 0xef);
        out.u16(isMax(t) ? 0xffff : std::uint16_t(t.size * 2));
        out.bytes(t.collation.tdsBytes());
        return;
    case Kind::Binary:
        out.u8(0xa5);
        out.u16(isMax(t) ? 0xffff : std::uint16_t(t.size));
        return;
    }
}

// A variable-length value: two-byte length, or partly-length-prefixed for the max types.
void writeBytes(Writer &out, const ColumnType &t, const QByteArray *bytes)
{
    if (!isMax(t)) {
        if (!bytes) {
            out.u16(0xffff);
            return;
        }
        const QByteArray b = bytes->left(0xfffe);
        out.u16(std::uint16_t(b.size()));
        out.bytes(b);
        return;
    }
    if (!bytes) {
        out.u64(~std::uint64_t(0));
        return;
    }
    out.u64(std::uint64_t(bytes->size()));
    if (!bytes->isEmpty()) {
        out.u32(std::uint32_t(bytes->size()));
        out.bytes(*bytes);
    }
    out.u32(0);
}

QByteArray utf16Bytes(const QString &s)
{
    Writer w;
    w.utf16(s);
    return w.take();
}

void writeDecimal(Writer &out, const ColumnType &t, const QVariant &v)
{
    const std::optional<Decimal> d = decimalOf(v);
    const std::optional<Decimal> scaled = d ? embedded::withScale(*d, t.scale) : std::nullopt;
    if (!scaled) {
        out.u8(0);
        return;
    }
    const int bytes = t.precision <= 9 ? 4 : t.precision <= 19 ? 8 : t.precision <= 28 ? 12 : 16;
    auto magnitude = static_cast<unsigned __int128>(scaled->digits < 0 ? -scaled->digits : scaled->digits);
    out.u8(std::uint8_t(bytes + 1));
    out.u8(scaled->digits < 0 ? 0 : 1);
    for (int i = 0; i < bytes; ++i) {
        out.u8(std::uint8_t(magnitude & 0xff));
        magnitude >>= 8;
    }
}

void writeValue(Writer &out, const ColumnType &t, const QVariant &v)
{
    const bool null = v.isNull();
    switch (t.kind) {
    case Kind::Int:
    case Kind::Bit: {
        bool ok = !null;
        const qlonglong n
            = null ? 0 : (v.metaType().id() == QMetaType::Bool ? v.toBool() : v.toLongLong(&ok));
        if (!ok) {
            out.u8(0);
            return;
        }
        out.u8(std::uint8_t(t.size));
        for (int i = 0; i < t.size; ++i)
            out.u8(std::uint8_t((std::uint64_t(n) >> (8 * i)) & 0xff));
        return;
    }
    case Kind::Decimal:
        if (null)
            out.u8(0);
        else
            writeDecimal(out, t, v);
        return;
    case Kind::Float: {
        bool ok = !null;
        const double d = null ? 0 : v.toDouble(&ok);
        if (!ok) {
            out.u8(0);
        } else if (t.size == 4) {
            const float f = float(d);
            std::uint32_t bits;
            std::memcpy(&bits, &f, 4);
            out.u8(4);
            out.u32(bits);
        } else {
            std::uint64_t bits;
            std::memcpy(&bits, &d, 8);
            out.u8(8);
            out.u64(bits);
        }
        return;
    }
    case Kind::Money: {
        const std::optional<Decimal> d = null ? std::nullopt : decimalOf(v);
        const std::optional<Decimal> units = d ? embedded::withScale(*d, 4) : std::nullopt;
        if (!units || units->digits < INT64_MIN || units->digits > INT64_MAX) {
            out.u8(0);
            return;
        }
        const auto whole = std::uint64_t(qint64(units->digits));
        out.u8(std::uint8_t(t.size));
        if (t.size == 8) {
            out.u32(std::uint32_t(whole >> 32));
            out.u32(std::uint32_t(whole & 0xffffffffu));
        } else {
            out.u32(std::uint32_t(whole));
        }
        return;
    }
    case Kind::DateTime:
    case Kind::SmallDateTime: {
        QDateTime when = v.metaType().id() == QMetaType::QDate ? v.toDate().startOfDay() : v.toDateTime();
        if (!when.isValid() && v.metaType().id() == QMetaType::QString)
            when = QDateTime::fromString(v.toString().replace(u' ', u'T'), Qt::ISODateWithMs);
        if (null || !when.isValid()) {
            out.u8(0);
            return;
        }
        const qint64 days = Epoch1900.daysTo(when.date());
        const int ms = when.time().msecsSinceStartOfDay();
        if (t.kind == Kind::SmallDateTime) {
            out.u8(4);
            out.u16(std::uint16_t(days));
            out.u16(std::uint16_t(ms / 60000));
        } else {
            out.u8(8);
            out.u32(std::uint32_t(std::int32_t(days)));
            out.u32(std::uint32_t((qint64(ms) * 300 + 500) / 1000));
        }
        return;
    }
    case Kind::VarChar:
    case Kind::Char: {
        QByteArray b = text::toCodePage(v.toString(), t.collation.codePage);
        if (t.kind == Kind::Char && b.size() < t.size)
            b.append(QByteArray(t.size - b.size(), ' ')); // char(n) is padded, as stored by a server
        writeBytes(out, t, null ? nullptr : &b);
        return;
    }
    case Kind::NVarChar:
    case Kind::NChar: {
        QString s = v.toString();
        if (t.kind == Kind::NChar && s.size() < t.size)
            s = s.leftJustified(t.size, u' ');
        const QByteArray b = utf16Bytes(s);
        writeBytes(out, t, null ? nullptr : &b);
        return;
    }
    case Kind::Binary: {
        const QByteArray b = v.toByteArray();
        writeBytes(out, t, null ? nullptr : &b);
        return;
    }
    }
}

} // namespace

void writeResultSet(Writer &out, const data::ResultSet &rows, const text::Collation &database)
{
    QList<ColumnType> types;
    out.u8(0x81);
    out.u16(std::uint16_t(rows.columns.size()));
    for (int i = 0; i < rows.columns.size(); ++i) {
        const data::Column &c = rows.columns.at(i);
        const QString declaration = c.declaredType.isEmpty() ? c.declType : c.declaredType;
        types.append(declaration.isEmpty() ? inferred(rows, i) : declared(declaration));
        types.last().collation = text::collationOfCodePage(c.codePage, database);
        out.u32(0); // user type
        out.u16(0x0001 | 0x0008); // nullable, updatable
        writeTypeInfo(out, types.last());
        out.bVarchar(c.name);
    }
    for (const QList<QVariant> &row : rows.rows) {
        out.u8(0xd1);
        for (int i = 0; i < types.size(); ++i)
            writeValue(out, types.at(i), row.at(i));
    }
}

} // namespace zt::tds
