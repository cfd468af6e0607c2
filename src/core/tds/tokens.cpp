#include "tokens.h"

namespace zt::tds {

void TokenWriter::loginAck(std::uint32_t answeredVersion, const QString &program)
{
    Writer body;
    body.u8(1); // SQL interface
    body.u32(answeredVersion);
    body.bVarchar(program);
    body.u8(15); // program version 15.0.2000
    body.u8(0);
    body.u8(0x07);
    body.u8(0xd0);
    m_out.u8(0xad);
    m_out.u16(std::uint16_t(body.size()));
    m_out.bytes(body.data());
}

void TokenWriter::envChange(std::uint8_t type, const QString &newValue, const QString &oldValue)
{
    Writer body;
    body.u8(type);
    body.bVarchar(newValue);
    body.bVarchar(oldValue);
    m_out.u8(0xe3);
    m_out.u16(std::uint16_t(body.size()));
    m_out.bytes(body.data());
}

void TokenWriter::envChangeCollation(const QByteArray &collation)
{
    m_out.u8(0xe3);
    m_out.u16(std::uint16_t(1 + 1 + collation.size() + 1));
    m_out.u8(EnvCollation);
    m_out.u8(std::uint8_t(collation.size()));
    m_out.bytes(collation);
    m_out.u8(0);
}

void TokenWriter::message(std::uint8_t token, const ServerMessage &m)
{
    Writer body;
    body.u32(std::uint32_t(m.number));
    body.u8(std::uint8_t(m.state));
    body.u8(std::uint8_t(m.severity));
    body.usVarchar(m.text);
    body.bVarchar(m_serverName);
    body.bVarchar(m.procedure);
    body.u32(std::uint32_t(m.line));
    m_out.u8(token);
    m_out.u16(std::uint16_t(body.size()));
    m_out.bytes(body.data());
}

void TokenWriter::doneToken(
    std::uint8_t token, std::uint16_t status, std::uint64_t rows, std::uint16_t command)
{
    m_out.u8(token);
    m_out.u16(status);
    m_out.u16(command);
    m_out.u64(rows);
}

void TokenWriter::returnStatus(std::int32_t value)
{
    m_out.u8(0x79);
    m_out.u32(std::uint32_t(value));
}

void TokenWriter::returnValueInt(std::uint16_t ordinal, const QString &name, std::int32_t value)
{
    m_out.u8(0xac);
    m_out.u16(ordinal);
    m_out.bVarchar(name);
    m_out.u8(0x01); // output parameter
    m_out.u32(0); // user type
    m_out.u16(0x0001); // nullable
    m_out.u8(0x26); // INTN
    m_out.u8(4);
    m_out.u8(4);
    m_out.u32(std::uint32_t(value));
}

} // namespace zt::tds
