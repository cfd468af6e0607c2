#pragma once

#include "data/backend.h"
#include "wire.h"

#include <QByteArray>

namespace zt::tds {

// The collation of the server and of every character column: Chinese_PRC_CI_AS (LCID 0x0804,
// case-insensitive, accent-sensitive, kana- and width-insensitive), code page 936.
QByteArray serverCollation();

// Writes a result set as COLMETADATA followed by one ROW token per row, each column typed as
// SQL Server types the declared column (int, bit, decimal(p,s), float, datetime, varchar(n) in
// code page 936, nvarchar(n) as UTF-16, ...). Columns without a declared type take the type of
// their values.
void writeResultSet(Writer &out, const data::ResultSet &rows);

} // namespace zt::tds
