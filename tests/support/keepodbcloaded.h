#pragma once

namespace zt::test {

// Sanitizer builds: keeps the ODBC libraries loaded until the process ends (keepodbcloaded.cpp).
void keepOdbcLibrariesLoaded();

} // namespace zt::test
