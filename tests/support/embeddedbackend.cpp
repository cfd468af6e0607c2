// Linked into every test and benchmark (tests/CMakeLists.txt): registers the embedded server with
// the data layer before main() runs, as each program's start-up does in its own main().

#include "embedded/embeddedserver.h"

namespace {

const bool g_embeddedInstalled = [] {
    zt::embedded::installBackend();
    return true;
}();

} // namespace
