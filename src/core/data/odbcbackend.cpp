#include "odbcbackend.h"

#include "dataerror.h"

namespace zt::data::odbc {

std::unique_ptr<Backend> openDataSource(const QString &, const QString &, const QString &, const QString &)
{
    throw DataError(QStringLiteral("ODBC back end not built yet"));
}

std::unique_ptr<Backend> openSqlServer(const QString &, const Login &, const QString &)
{
    throw DataError(QStringLiteral("ODBC back end not built yet"));
}

} // namespace zt::data::odbc
