#pragma once

#include "text/collation.h"
#include "tsqlcursor.h"
#include "tsqlstatement.h"

namespace zt::embedded {

// CREATE TABLE after its two keywords, rewritten for SQLite: T-SQL types kept with their sizes,
// storage options dropped, IDENTITY, collations, size and value checks recorded in the statement.
// Text columns without COLLATE take databaseDefault; a name of three parts must name database.
Statement parseCreateTable(Cursor &c, const text::Collation &databaseDefault, const QString &database);

// CREATE [UNIQUE] [CLUSTERED|NONCLUSTERED] INDEX name ON table (cols) [WITH ...] [ON fg], after
// CREATE.
Statement parseCreateIndex(Cursor &c);

} // namespace zt::embedded
