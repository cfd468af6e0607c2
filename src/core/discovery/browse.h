#pragma once

#include <QString>
#include <QStringList>

namespace zt::discovery {

// Writes server names as the answer text of an ODBC browse request for "Driver={SQL Server}":
// the names stand between the first "={" and the following "};", separated by ",". Names that
// would break that shape (holding ",", "{" or "}") are left out.
QString composeBrowseText(const QStringList &serverNames);

// Reads the server names out of a browse answer text: everything up to and including the first
// "={" goes (only the first character when there is none), everything from the next "};" on
// goes, and the rest is split at every ",". Items keep their order and are neither trimmed,
// sorted nor made unique; two commas in a row give an empty item, and nothing between "={" and
// "};" gives no items at all.
QStringList parseBrowseResult(QString text);

} // namespace zt::discovery
