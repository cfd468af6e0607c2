#pragma once

// What a user can do about a failure: one Chinese line after the failure's own text (the
// windows' message before it and the server's words are kept), keyed by SQL Server's error or
// the failure's kind. Page 1, page 2 and ztaccountset all show it, since the data layer adds it
// to the error of a server session (data/backends).

#include <QString>

namespace zt::guidance {

// The line for a failure's text; empty when there is nothing to add.
QString lineFor(const QString &failureText);

// The text with its line on a line of its own after it; unchanged when there is none or it is
// there already.
QString withGuidance(const QString &failureText);

// The integrated login on this workstation needs a Kerberos ticket and the server's host name
// (its service name is made of it): the reason it cannot work for host, checked before anything
// is sent; empty when it may.
QString integratedLoginProblem(const QString &host);

} // namespace zt::guidance
