#pragma once

#include <QString>
#include <QVariant>

struct sqlite3_stmt;

namespace zt::embedded {

// How a result column's values read, from the type its table declares.
enum class TypeClass { Unknown, Integer, Real, Bit, DateTime, Date, Binary, Text };

// "nvarchar(50)" -> "nvarchar": the declared type as the data layer expects it.
QString plainType(const char *declared);
TypeClass typeClass(const QString &type);

// A value of a result row as the data layer reads it: declared integer types as integers,
// decimal and float types as doubles (an exact number beyond a double's digits as an
// ExactNumber, see exact/exactlayer.h), bit as a flag, datetime as date and time, date as a
// date, the rest as text; values the declared type does not explain keep their stored kind.
// An exact number's text has at least scale decimals (the scale of its column's type).
QVariant columnValue(sqlite3_stmt *statement, int column, TypeClass type, int scale = -1);

} // namespace zt::embedded
