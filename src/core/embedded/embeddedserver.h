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

// The server names page 1's server box and "ztaccountset servers" list before the network's:
// instanceServerNames(defaultRoot()), or "(embedded)" alone when that folder cannot be read (an
// unreadable instance folder must not cost the user the network servers).
QStringList localServerNames();

// Registers the embedded server with the data layer (data::registerServerBackend): the server
// names "(embedded)" and "(embedded)\NAME" then open an instance under defaultRoot(), as it is
// when the connection opens. Every program calls it at start-up; calling it again changes nothing.
void installBackend();

// Opens a session on an instance (created with login sa and an empty password when new) in the
// given database ("" = the login's default database, master). Throws data::DataError with the
// server's message text, prefixed "[ztwizard][SQL Server]".
std::unique_ptr<data::Backend> connect(
    const QString &root, const QString &instance, const data::Credentials &login, const QString &catalog);

} // namespace zt::embedded
