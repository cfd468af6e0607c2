#include "loginpackets.h"

#include "wire.h"

#include <QList>

namespace zt::tds {

namespace {

enum PreloginOption : std::uint8_t {
    Version = 0x00,
    EncryptionOption = 0x01,
    InstOpt = 0x02,
    ThreadId = 0x03,
    Mars = 0x04,
    Terminator = 0xff,
};
constexpr std::uint8_t IntegratedSecurity = 0x80; // OptionFlags2: fIntSecurity

// A LOGIN7 password: each byte had its halves swapped and was then XORed with 0xA5.
QString decodePassword(QByteArray raw)
{
    for (char &c : raw) {
        const auto b = std::uint8_t(std::uint8_t(c) ^ 0xa5);
        c = char(std::uint8_t((b << 4) | (b >> 4)));
    }
    return Reader(raw).utf16(raw.size() / 2);
}

} // namespace

Encryption preloginEncryption(const QByteArray &request)
{
    Reader in(request);
    Encryption encryption = Encryption::NotSupported;
    for (std::uint8_t token = in.u8(); token != Terminator; token = in.u8()) {
        const std::uint16_t offset = in.u16be();
        const std::uint16_t length = in.u16be();
        if (token == EncryptionOption && length >= 1) {
            // The high bit asks for a client certificate, which is not ours to check.
            encryption = Encryption(Reader(request, offset).u8() & 0x03);
        }
    }
    return encryption;
}

QByteArray preloginReply(const QByteArray &request, Encryption answer)
{
    // The request's options are read only to check that it is one.
    Reader in(request);
    while (in.u8() != Terminator)
        in.skip(4);

    struct Option
    {
        std::uint8_t token;
        QByteArray value;
    };
    const QList<Option> options {
        { Version, QByteArray("\x0f\x00\x07\xd0\x00\x00", 6) }, // 15.0.2000, sub-build 0
        { EncryptionOption, QByteArray(1, char(answer)) },
        { InstOpt, QByteArray(1, '\0') },
        { ThreadId, QByteArray() },
        { Mars, QByteArray(1, '\0') },
    };
    Writer out;
    std::uint16_t offset = std::uint16_t(options.size() * 5 + 1);
    for (const Option &o : options) {
        out.u8(o.token);
        out.u16be(offset);
        out.u16be(std::uint16_t(o.value.size()));
        offset = std::uint16_t(offset + o.value.size());
    }
    out.u8(Terminator);
    for (const Option &o : options)
        out.bytes(o.value);
    return out.take();
}

LoginRequest parseLogin7(const QByteArray &message)
{
    Reader in(message);
    LoginRequest login;
    const std::uint32_t length = in.u32();
    if (length > std::uint32_t(message.size()))
        throw Reader::Malformed {};
    login.tdsVersion = in.u32();
    login.packetSize = in.u32();
    in.skip(4 + 4 + 4); // client program version, process id, connection id
    in.u8(); // OptionFlags1
    login.integrated = (in.u8() & IntegratedSecurity) != 0;
    in.skip(1 + 1 + 4 + 4); // TypeFlags, OptionFlags3, time zone, LCID

    auto text = [&](QString *into) {
        const std::uint16_t offset = in.u16();
        const std::uint16_t chars = in.u16();
        if (into)
            *into = Reader(message, offset).utf16(chars);
    };
    text(&login.hostName);
    text(&login.userName);
    {
        const std::uint16_t offset = in.u16();
        const std::uint16_t chars = in.u16();
        login.password = decodePassword(Reader(message, offset).bytes(chars * 2));
    }
    text(&login.appName);
    text(&login.serverName);
    text(nullptr); // extension
    text(nullptr); // client interface name
    text(nullptr); // language
    text(&login.database);
    return login;
}

std::uint32_t answeredVersion(std::uint32_t clientVersion)
{
    constexpr std::uint32_t Tds74 = 0x74000004;
    const std::uint32_t v = std::min(clientVersion, Tds74);
    // LOGINACK carries the version most significant byte first.
    return ((v & 0xff) << 24) | ((v & 0xff00) << 8) | ((v >> 8) & 0xff00) | (v >> 24);
}

} // namespace zt::tds
