#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace zt::tds {

// The answer to a client's pre-login message: our version, no encryption, no multiple active
// result sets. Throws Reader::Malformed for a message that is not a pre-login.
QByteArray preloginReply(const QByteArray &request);

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
