#pragma once

#include "tsqllexer.h"

namespace zt::embedded {

// The names SQL Server's catalogue views take in SQLite (see catalog.h): sys.tables is
// zt_catalog_sys_tables, INFORMATION_SCHEMA.COLUMNS zt_catalog_information_schema_columns.
inline constexpr auto CatalogPrefix = "zt_catalog_";

// A statement SQLite runs as written, with the T-SQL spellings it cannot read rewritten:
// N'' strings, collations, @@variables, the functions SQLite names otherwise, binary literals
// (0x..), names of two or three parts in the current database and schema dbo, the catalogue
// views, CONVERT and CAST to T-SQL types, TOP and OFFSET ... FETCH as LIMIT, and table hints
// (WITH (NOLOCK)), which are dropped. Everything else is copied unchanged, so the statements of
// the data layer reach SQLite as they were written. database is the session's database: a
// name in another database or another schema is refused with 208.
QString passThrough(const QString &batch, const QList<Token> &tokens, const QString &database);

// The SQLite form of a T-SQL function that has another name there ("ifnull" for isnull), a
// whole replacement for a call without arguments (getdate()), or empty.
QString sqliteFunction(const QString &name);

} // namespace zt::embedded
