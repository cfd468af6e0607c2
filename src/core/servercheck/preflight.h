#pragma once

#include "data/connectionstring.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace zt::servercheck {

// A read-only check of a server before account sets are set up on it: each line is one question
// answered ok or not, with the server's text or the value found. Nothing is created or changed.
struct CheckLine
{
    QString key; // reachable, login, create_database, create_directory_table, version, collation,
                 // master_collation, directory_table
    QString label; // Chinese label
    bool ok = false;
    QString detail; // the server's text, or the value found
    QVariant value; // the value found, where there is one (milliseconds, row count, text)
    QString warning = {}; // what the user should know although the check passed
};

struct PreflightReport
{
    QList<CheckLine> lines;
    bool ok() const;
};

// Asks the server, through the master connection string of the login: reachable (the time to open
// a session), login accepted, may create databases, may create the directory table in master (from
// permissions), server version and default collation, whether the directory table exists and how
// many rows it holds. A line whose question could not be asked says so with the server's text.
PreflightReport checkServer(const QString &serverName, const data::Credentials &login);

// The warning for a collation whose code page cannot hold Chinese text (what still works, what
// would not); empty for one that can. serverDefault: the server's default, else master's.
QString collationWarning(const QString &collation, bool serverDefault);

} // namespace zt::servercheck
