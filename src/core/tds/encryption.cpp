#include "encryption.h"

namespace zt::tds {

bool parseEncryptionMode(const QString &text, EncryptionMode &mode)
{
    for (const EncryptionMode m :
        { EncryptionMode::Off, EncryptionMode::Offered, EncryptionMode::Forced, EncryptionMode::Strict }) {
        if (text == encryptionModeName(m)) {
            mode = m;
            return true;
        }
    }
    return false;
}

QString encryptionModeName(EncryptionMode mode)
{
    switch (mode) {
    case EncryptionMode::Off:
        return QStringLiteral("off");
    case EncryptionMode::Offered:
        return QStringLiteral("offered");
    case EncryptionMode::Forced:
        return QStringLiteral("forced");
    case EncryptionMode::Strict:
        return QStringLiteral("strict");
    }
    return {};
}

Negotiation negotiate(EncryptionMode mode, Encryption client)
{
    const bool clientCannot = client == Encryption::NotSupported;
    const bool clientAsks = client == Encryption::On || client == Encryption::Required;
    switch (mode) {
    case EncryptionMode::Off:
        // A client that insists ends the connection itself on this answer.
        return { Encryption::NotSupported, Protection::None };
    case EncryptionMode::Offered:
        if (clientCannot)
            return { Encryption::NotSupported, Protection::None };
        if (clientAsks)
            return { Encryption::On, Protection::Full };
        return { Encryption::Off, Protection::LoginOnly };
    case EncryptionMode::Forced:
        // The answer tells a client that cannot encrypt why it is turned away.
        if (clientCannot)
            return { Encryption::Required, Protection::Refused };
        if (clientAsks)
            return { Encryption::On, Protection::Full };
        return { Encryption::Required, Protection::Full };
    case EncryptionMode::Strict:
        // A TDS 7.x pre-login in clear is not answered at all (Connection ends it first).
        return { Encryption::NotSupported, Protection::Refused };
    }
    return {};
}

} // namespace zt::tds
