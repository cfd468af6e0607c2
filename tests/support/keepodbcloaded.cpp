// Sanitizer builds only: the ODBC libraries the drivers load stay loaded for the whole process,
// so that LeakSanitizer can still name them at exit and tests/lsan.supp can suppress their own
// leaks by library name (a library unloaded before exit shows as an unknown module). Linked into
// the test programs and into the programs the tests start.
#include "keepodbcloaded.h"

#include <initializer_list>

#include <dlfcn.h>

namespace zt::test {

void keepOdbcLibrariesLoaded()
{
    static const bool done = [] {
        for (const char *name : { "libodbcinst.so.2", "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                 "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so" })
            dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        return true;
    }();
    (void)done;
}

namespace {
// A program that links this file directly keeps the libraries from its start.
[[gnu::constructor]] void keepAtStart()
{
    keepOdbcLibrariesLoaded();
}
} // namespace

} // namespace zt::test
