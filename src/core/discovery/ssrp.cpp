#include "ssrp.h"

namespace zt::discovery {

QString InstanceRecord::displayName() const
{
    return instanceName.compare(QLatin1StringView("MSSQLSERVER"), Qt::CaseInsensitive) == 0
        ? serverName
        : serverName + u'\\' + instanceName;
}

std::optional<QList<InstanceRecord>> parseServerResponse(const QByteArray &)
{
    return std::nullopt;
}

int resolveInstancePort(const QString &, const QString &, int, quint16)
{
    return 0;
}

} // namespace zt::discovery
