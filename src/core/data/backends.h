#pragma once

#include "backend.h"
#include "connectionstring.h"

#include <memory>

namespace zt::data {

// Opens a session for a connection string: the local configuration files through the ODBC
// data source, the embedded server for "(embedded)" and "(embedded)\NAME", and every other
// server name through FreeTDS. Throws DataError with the driver's or server's text.
std::unique_ptr<Backend> openBackend(const ConnectionString &connectionString);

} // namespace zt::data
