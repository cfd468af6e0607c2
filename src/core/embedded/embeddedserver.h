#pragma once

#include "data/backend.h"
#include "data/connectionstring.h"

#include <QStringList>

#include <memory>

namespace zt::embedded {

// Server names that select the in-process server: "(embedded)" and "(embedded)\NAME".
bool isEmbeddedServerName(const QString &serverName);
// "default" for "(embedded)", NAME for "(embedded)\NAME".
QString instanceOf(const QString &serverName);

// Root folder of the instances: <installation directory>data/embedded.
QString defaultRoot();

// Server names of the instances present under root ("(embedded)" always first).
QStringList instanceServerNames(const QString &root);

// Opens a session on an instance (created with login sa and an empty password when new) in the
// given database ("" = the login's default database, master). Throws data::DataError with the
// server's message text, prefixed "[ztwizard][SQL Server]".
std::unique_ptr<data::Backend> connect(
    const QString &root, const QString &instance, const data::Login &login, const QString &catalog);

} // namespace zt::embedded
