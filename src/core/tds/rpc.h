#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>

namespace zt::tds {

// Procedures a client names by number instead of by name.
enum class ProcId : int {
    None = 0,
    CursorOpen = 2, // sp_cursoropen
    ExecuteSql = 10, // sp_executesql
    Prepare = 11, // sp_prepare
    Execute = 12, // sp_execute
    PrepExec = 13, // sp_prepexec
    Unprepare = 15, // sp_unprepare
};

struct RpcParam
{
    QString name; // "@P1", or empty for a positional parameter
    bool output = false;
    QVariant value; // a null QVariant is NULL
    std::uint8_t type = 0; // the TDS type the client sent it as
    // True for a value sent as char/varchar/text: bytes in the code page of the client's
    // collation, which the client had to convert to first.
    bool narrowText() const
    {
        return type == 0xa7 || type == 0xaf || type == 0x27 || type == 0x2f || type == 0x23;
    }
};

// One procedure call of an RPC request.
struct RpcCall
{
    QString name; // when called by name
    ProcId id = ProcId::None;
    QList<RpcParam> params;
};

// Reads the calls of an RPC request (after its headers). Throws Reader::Malformed, or
// Unsupported for a parameter type it does not read.
QList<RpcCall> parseRpc(const QByteArray &message);

struct Unsupported
{
    int type;
};

// Skips the ALL_HEADERS block that starts a batch or RPC request; returns where the body starts.
qsizetype bodyStart(const QByteArray &message);

} // namespace zt::tds
