#pragma once

#include <QString>

#include <optional>

namespace zt::discovery {

// Reads a dotted IPv4 text by the rules of inet_addr: "a.b.c.d", "a.b.c" (c fills 16 bits),
// "a.b" (b fills 24 bits) and "a", each part decimal, octal (leading 0) or hex (0x). Answers
// the address in host byte order, or nullopt for anything else, host names included. As with
// inet_addr, 255.255.255.255 cannot be told from a failure and is refused.
std::optional<quint32> parseInetAddr(const QString &text);

// The host name registered for an IPv4 address text (name required: an address without a
// name gives nullopt, as does a text that is not an address).
std::optional<QString> reverseLookup(const QString &ipText);

// This computer's host name, empty when it cannot be read.
QString localHostName();

} // namespace zt::discovery
