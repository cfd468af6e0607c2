#pragma once

// How the server encrypts its connections, as SQL Server's settings do.

#include "loginpackets.h"

#include <QString>

namespace zt::tds {

enum class EncryptionMode {
    Off, // no certificate: encryption not supported
    Offered, // a certificate, Force Encryption off: the client chooses
    Forced, // Force Encryption: every connection encrypted, a client that cannot is turned away
    Strict, // TDS 8.0 only: TLS from the first byte
};

// "off", "offered", "forced", "strict"; false for anything else.
bool parseEncryptionMode(const QString &text, EncryptionMode &mode);
QString encryptionModeName(EncryptionMode mode);

// What follows a TDS 7.x pre-login.
enum class Protection {
    None, // everything in clear
    LoginOnly, // the LOGIN7 packet inside TLS, the rest in clear
    Full, // everything after the handshake inside TLS
    Refused, // the connection ends after the answer
};

struct Negotiation
{
    Encryption answer = Encryption::NotSupported;
    Protection protection = Protection::None;
};

// The answer to a client's ENCRYPTION option and what it leads to.
Negotiation negotiate(EncryptionMode mode, Encryption client);

} // namespace zt::tds
