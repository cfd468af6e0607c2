#include "rpc.h"

#include "text/codepage.h"
#include "text/collation.h"
#include "wire.h"

#include <QDateTime>

#include <cstring>

namespace zt::tds {

namespace {

const QDate Epoch1900(1900, 1, 1);
const QDate Epoch0001(1, 1, 1);

QVariant integer(Reader &in, int size)
{
    switch (size) {
    case 1:
        return qlonglong(in.u8());
    case 2:
        return qlonglong(std::int16_t(in.u16()));
    case 4:
        return qlonglong(std::int32_t(in.u32()));
    case 8:
        return qlonglong(in.u64());
    default:
        throw Reader::Malformed {};
    }
}

QVariant floating(Reader &in, int size)
{
    if (size == 4) {
        const std::uint32_t bits = in.u32();
        float f;
        std::memcpy(&f, &bits, 4);
        return double(f);
    }
    if (size != 8)
        throw Reader::Malformed {};
    const std::uint64_t bits = in.u64();
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

QVariant dateTime(Reader &in, int size)
{
    if (size == 4) {
        const int days = in.u16();
        const int minutes = in.u16();
        return QDateTime(Epoch1900.addDays(days), QTime(0, 0).addSecs(minutes * 60));
    }
    if (size != 8)
        throw Reader::Malformed {};
    const auto days = std::int32_t(in.u32());
    const std::uint32_t ticks = in.u32();
    return QDateTime(Epoch1900.addDays(days), QTime(0, 0).addMSecs(int((qint64(ticks) * 1000 + 150) / 300)));
}

QVariant money(Reader &in, int size)
{
    qint64 units;
    if (size == 4) {
        units = std::int32_t(in.u32());
    } else if (size == 8) {
        const std::uint64_t high = in.u32();
        units = qint64((high << 32) | in.u32());
    } else {
        throw Reader::Malformed {};
    }
    return double(units) / 10000.0;
}

QVariant decimal(Reader &in, int size, int scale)
{
    const bool positive = in.u8() != 0;
    unsigned __int128 magnitude = 0;
    const QByteArray bytes = in.bytes(size - 1);
    for (qsizetype i = bytes.size() - 1; i >= 0; --i)
        magnitude = (magnitude << 8) | std::uint8_t(bytes[i]);
    QString digits;
    do {
        digits.prepend(QChar(u'0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    while (digits.size() <= scale)
        digits.prepend(u'0');
    if (scale > 0)
        digits.insert(digits.size() - scale, u'.');
    return (positive ? QString() : QStringLiteral("-")) + digits;
}

// Time of day in units of 10^-scale seconds, in 3 to 5 bytes.
QTime timeOfDay(Reader &in, int scale)
{
    const int bytes = scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
    std::uint64_t units = 0;
    for (int i = 0; i < bytes; ++i)
        units |= std::uint64_t(in.u8()) << (8 * i);
    for (int i = scale; i < 7; ++i)
        units *= 10;
    return QTime(0, 0).addMSecs(int(units / 10000));
}

QDate date3(Reader &in)
{
    const std::uint32_t days = in.u8() | (in.u8() << 8) | (in.u8() << 16);
    return Epoch0001.addDays(days);
}

// Partly-length-prefixed bytes (the max types); nullopt for NULL.
std::optional<QByteArray> plp(Reader &in)
{
    const std::uint64_t total = in.u64();
    if (total == ~std::uint64_t(0))
        return std::nullopt;
    QByteArray out;
    for (;;) {
        const std::uint32_t chunk = in.u32();
        if (chunk == 0)
            return out;
        out += in.bytes(chunk);
    }
}

// A text value: UTF-16, or bytes in the code page of the collation the client sent with it.
QVariant text(const QByteArray &bytes, bool wide, const QByteArray &collation)
{
    return wide ? Reader(bytes).utf16(bytes.size() / 2)
                : text::fromCodePage(bytes, text::codePageOfTds(collation, 936));
}

// A value after its TYPE_INFO.
QVariant value(Reader &in)
{
    const std::uint8_t type = in.u8();
    switch (type) {
    case 0x1f: // NULL
        return {};
    case 0x30: // tinyint
        return integer(in, 1);
    case 0x32: // bit
        return in.u8() != 0;
    case 0x34:
        return integer(in, 2);
    case 0x38:
        return integer(in, 4);
    case 0x7f:
        return integer(in, 8);
    case 0x3b:
        return floating(in, 4);
    case 0x3e:
        return floating(in, 8);
    case 0x3a:
        return dateTime(in, 4);
    case 0x3d:
        return dateTime(in, 8);
    case 0x7a:
        return money(in, 4);
    case 0x3c:
        return money(in, 8);
    case 0x26: // INTN, BITN, FLTN, MONEYN, DATETIMN
    case 0x68:
    case 0x6d:
    case 0x6e:
    case 0x6f: {
        in.u8(); // maximum length
        const int size = in.u8();
        if (size == 0)
            return {};
        switch (type) {
        case 0x26:
            return integer(in, size);
        case 0x68:
            return in.u8() != 0;
        case 0x6d:
            return floating(in, size);
        case 0x6e:
            return money(in, size);
        default:
            return dateTime(in, size);
        }
    }
    case 0x6a: // DECIMALN, NUMERICN
    case 0x6c: {
        in.skip(2); // length, precision
        const int scale = in.u8();
        const int size = in.u8();
        return size == 0 ? QVariant() : decimal(in, size, scale);
    }
    case 0x28: { // DATEN
        const int size = in.u8();
        return size == 0 ? QVariant() : QVariant(date3(in));
    }
    case 0x29: { // TIMEN
        const int scale = in.u8();
        const int size = in.u8();
        return size == 0 ? QVariant() : QVariant(timeOfDay(in, scale));
    }
    case 0x2a: // DATETIME2N, DATETIMEOFFSETN
    case 0x2b: {
        const int scale = in.u8();
        const int size = in.u8();
        if (size == 0)
            return {};
        const QTime time = timeOfDay(in, scale);
        const QDate date = date3(in);
        if (type == 0x2b)
            in.skip(2); // offset in minutes; the value is kept as the local time it names
        return QDateTime(date, time);
    }
    case 0xa7: // BIGVARCHAR, BIGCHAR, NVARCHAR, NCHAR, BIGVARBINARY, BIGBINARY
    case 0xaf:
    case 0xe7:
    case 0xef:
    case 0xa5:
    case 0xad: {
        const std::uint16_t maxLength = in.u16();
        const bool binary = type == 0xa5 || type == 0xad;
        const QByteArray collation = binary ? QByteArray() : in.bytes(5);
        const bool wide = type == 0xe7 || type == 0xef;
        if (maxLength == 0xffff) {
            const std::optional<QByteArray> bytes = plp(in);
            if (!bytes)
                return {};
            return binary ? QVariant(*bytes) : text(*bytes, wide, collation);
        }
        const std::uint16_t size = in.u16();
        if (size == 0xffff)
            return {};
        const QByteArray bytes = in.bytes(size);
        return binary ? QVariant(bytes) : text(bytes, wide, collation);
    }
    case 0x23: // TEXT, NTEXT, IMAGE
    case 0x63:
    case 0x22: {
        in.u32(); // maximum length
        const QByteArray collation = type != 0x22 ? in.bytes(5) : QByteArray();
        // A parameter value is its four-byte length and bytes, without the text pointer rows carry.
        const std::uint32_t size = in.u32();
        if (size == 0xffffffffu)
            return {};
        const QByteArray bytes = in.bytes(qsizetype(size));
        return type == 0x22 ? QVariant(bytes) : text(bytes, type == 0x63, collation);
    }
    default:
        throw Unsupported { type };
    }
}

} // namespace

qsizetype bodyStart(const QByteArray &message)
{
    Reader in(message);
    const std::uint32_t total = in.u32();
    // ALL_HEADERS holds at least its own length and is followed by the body.
    if (total < 4 || total > std::uint32_t(message.size()))
        throw Reader::Malformed {};
    return qsizetype(total);
}

QList<RpcCall> parseRpc(const QByteArray &message)
{
    Reader in(message, bodyStart(message));
    QList<RpcCall> calls;
    while (!in.atEnd()) {
        RpcCall call;
        const std::uint16_t nameLength = in.u16();
        if (nameLength == 0xffff)
            call.id = ProcId(in.u16());
        else
            call.name = in.utf16(nameLength);
        in.u16(); // option flags
        while (!in.atEnd()) {
            const std::uint8_t next = std::uint8_t(message.at(in.at()));
            if (next == 0x80 || next == 0xff || next == 0xfe) {
                in.u8(); // the next call of the batch follows
                break;
            }
            RpcParam param;
            param.name = in.bVarchar();
            param.output = (in.u8() & 0x01) != 0;
            param.type = std::uint8_t(message.at(in.at()));
            param.value = value(in);
            call.params.append(param);
        }
        calls.append(call);
    }
    return calls;
}

} // namespace zt::tds
