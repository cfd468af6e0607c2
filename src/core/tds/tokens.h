#pragma once

#include "wire.h"

#include <QString>

#include <cstdint>

namespace zt::tds {

// DONE status bits.
enum DoneStatus : std::uint16_t {
    DoneFinal = 0x00,
    DoneMore = 0x01,
    DoneError = 0x02,
    DoneCount = 0x10,
    DoneAttention = 0x20,
};

// A server message (ERROR or INFO token).
struct ServerMessage
{
    int number = 0;
    int state = 1;
    int severity = 0;
    QString text;
    QString procedure;
    int line = 1;
};

// Writes the tokens of a reply into a message.
class TokenWriter final
{
public:
    explicit TokenWriter(QString serverName)
        : m_serverName(std::move(serverName))
    { }

    void loginAck(std::uint32_t answeredVersion, const QString &program);
    void envChange(std::uint8_t type, const QString &newValue, const QString &oldValue);
    void envChangeCollation(const QByteArray &collation);
    void info(const ServerMessage &m) { message(0xab, m); }
    void error(const ServerMessage &m) { message(0xaa, m); }
    void done(std::uint16_t status, std::uint64_t rows = 0, std::uint16_t command = 0)
    {
        doneToken(0xfd, status, rows, command);
    }
    void doneProc(std::uint16_t status, std::uint64_t rows = 0) { doneToken(0xfe, status, rows, 0); }
    void doneInProc(std::uint16_t status, std::uint64_t rows = 0) { doneToken(0xff, status, rows, 0); }
    void returnStatus(std::int32_t value);
    // An output parameter of a procedure call holding an int.
    void returnValueInt(std::uint16_t ordinal, const QString &name, std::int32_t value);

    Writer &out() { return m_out; }
    QByteArray take() { return m_out.take(); }

private:
    void message(std::uint8_t token, const ServerMessage &m);
    void doneToken(std::uint8_t token, std::uint16_t status, std::uint64_t rows, std::uint16_t command);

    QString m_serverName;
    Writer m_out;
};

// ENVCHANGE types.
enum EnvType : std::uint8_t {
    EnvDatabase = 1,
    EnvLanguage = 2,
    EnvPacketSize = 4,
    EnvCollation = 7,
};

} // namespace zt::tds
