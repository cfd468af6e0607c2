#include "embeddedserver.h"

#include "data/dataerror.h"
#include "install/installation.h"

namespace zt::embedded {

bool isEmbeddedServerName(const QString &serverName)
{
    return serverName == QLatin1StringView("(embedded)")
        || serverName.startsWith(QLatin1StringView("(embedded)\\"));
}

QString instanceOf(const QString &serverName)
{
    return serverName == QLatin1StringView("(embedded)") ? QStringLiteral("default") : serverName.mid(11);
}

QString defaultRoot()
{
    return install::directory() + QStringLiteral("data/embedded");
}

QStringList instanceServerNames(const QString &)
{
    return { QStringLiteral("(embedded)") };
}

std::unique_ptr<data::Backend> connect(const QString &, const QString &, const data::Login &, const QString &)
{
    throw data::DataError(QStringLiteral("embedded server not built yet"));
}

} // namespace zt::embedded
