#pragma once

// Small helpers the benchmarks on the embedded server share.

#include "data/connection.h"
#include "data/connectionstring.h"

#include <QList>
#include <QString>

#include <algorithm>

namespace zt::test {

// The default instance of the embedded server.
inline const QString EmbeddedServer = QStringLiteral("(embedded)");

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Opens the connection on a database of the embedded server as the operating-system user.
inline data::Backend &openEmbedded(data::Connection &c, const QString &catalog)
{
    c.setConnectionString(data::ConnectionString::catalog(
        data::LoginFragment::fromLogin(data::Credentials::integrated()), catalog, EmbeddedServer));
    return c.backend();
}

} // namespace zt::test
