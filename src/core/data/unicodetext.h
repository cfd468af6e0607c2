#pragma once

#include "sqlliteral.h" // nationalLiteral, which writes the inlined parameters

#include <QList>
#include <QString>
#include <QVariant>

namespace zt::data {

// Text sent to a SQL Server reaches it as Unicode, whatever the server's collation. QODBC binds
// text parameters for FreeTDS as SQL_VARCHAR, which FreeTDS converts to the server's code page
// before sending and refuses where the code page cannot hold the text (Chinese on a
// SQL_Latin1_General_CP1_CI_AS server): the SQL Server back end therefore writes each text
// parameter into the statement as an N'...' literal, its quotes doubled, and binds the others.

struct InlinedStatement
{
    QString sql;
    QList<QVariant> params; // the parameters still bound, in order
};

// The statement with each ? marker whose parameter is text replaced by its N'...' literal (a
// NULL stays bound as NULL).
// Markers are found outside literals, quoted and bracketed names and comments only.
InlinedStatement inlineTextParameters(const QString &sql, const QList<QVariant> &params);

} // namespace zt::data
