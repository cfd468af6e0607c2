#pragma once

#include "data/backend.h"
#include "text/collation.h"
#include "wire.h"

#include <QByteArray>

namespace zt::tds {

// Writes a result set as COLMETADATA followed by one ROW token per row, each column typed as
// SQL Server types the declared column (int, bit, decimal(p,s), float, datetime, varchar(n) in
// the code page of its collation, nvarchar(n) as UTF-16, ...). Columns without a declared type
// take the type of their values. Text columns carry the database's collation, a varchar of
// another code page a collation of that code page.
void writeResultSet(Writer &out, const data::ResultSet &rows, const text::Collation &database);

} // namespace zt::tds
