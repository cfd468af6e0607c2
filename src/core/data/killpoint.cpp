#include "killpoint.h"

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <csignal>

namespace zt::data {

void beforeStatement()
{
    static const long long killAt = qEnvironmentVariableIntValue("ZTWIZARD_KILL_AT_STATEMENT");
    static std::atomic<long long> sent { 0 };
    if (killAt > 0 && ++sent == killAt)
        std::raise(SIGKILL);
}

} // namespace zt::data
