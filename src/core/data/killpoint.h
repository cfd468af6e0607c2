#pragma once

namespace zt::data {

// For tests of interrupted operations: with ZTWIZARD_KILL_AT_STATEMENT=N in the environment, the
// process ends itself with SIGKILL just before the data layer sends its N-th statement (counted
// from 1 over the whole process), as a power cut or a killed command would end it. Without the
// variable this does nothing.
void beforeStatement();

} // namespace zt::data
