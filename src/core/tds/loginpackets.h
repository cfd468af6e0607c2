#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace zt::tds {

// The ENCRYPTION option of pre-login.
enum class Encryption : std::uint8_t {
    Off = 0x00, // the client can encrypt, and by default only its login
    On = 0x01,
    NotSupported = 0x02,
    Required = 0x03,
};

// What the client's pre-login says of encryption (NotSupported when it says nothing). Throws
// Reader::Malformed for a message that is not a pre-login.
Encryption preloginEncryption(const QByteArray &request);

// The answer to a client's pre-login message: our version, the encryption answered, no multiple
// active result sets. Throws Reader::Malformed for a message that is not a pre-login.
QByteArray preloginReply(const QByteArray &request, Encryption answer = Encryption::NotSupported);

// What a LOGIN7 message asks for.
struct LoginRequest
{
    std::uint32_t tdsVersion = 0;
    std::uint32_t packetSize = 4096;
    bool integrated = false; // the client asks for an integrated (SSPI) login
    QString hostName;
    QString userName;
    QString password;
    QString appName;
    QString serverName;
    QString database;
};

// Reads a LOGIN7 message. Throws Reader::Malformed.
LoginRequest parseLogin7(const QByteArray &message);

// The version we answer with: the client's, at most 7.4, in the byte order LOGINACK carries.
std::uint32_t answeredVersion(std::uint32_t clientVersion);

} // namespace zt::tds
