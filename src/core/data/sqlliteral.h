#pragma once

#include <QString>

namespace zt::data {

// Values and names pasted into SQL text. Every statement the core composes from a value quotes it
// here, so that a value cannot end its literal or name early.

// 'text' with every quote doubled.
QString plainLiteral(const QString &text);

// N'text' with every quote doubled: a Unicode string literal of T-SQL, which reaches the server
// unchanged whatever its code page.
QString nationalLiteral(const QString &text);

// [name] with every ']' doubled: a delimited identifier.
QString quoteIdentifier(const QString &name);

} // namespace zt::data
