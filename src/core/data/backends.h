#pragma once

#include "backend.h"
#include "connectionstring.h"

#include <functional>
#include <memory>

namespace zt::data {

// Opens a session for a connection string: the local configuration files through the ODBC
// data source, the embedded server for "(embedded)" and "(embedded)\NAME", and every other
// server name through FreeTDS. Throws DataError with the driver's or server's text.
std::unique_ptr<Backend> openBackend(const ConnectionString &connectionString);

// Replaces how sessions are opened (tests of the layer above the back ends); an empty function
// restores the real back ends.
using BackendFactory = std::function<std::unique_ptr<Backend>(const ConnectionString &)>;
void setBackendFactory(BackendFactory factory);

} // namespace zt::data
