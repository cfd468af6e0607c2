#include "samplebuild.h"

#include "basedata.h"
#include "creation.h"
#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "networkset.h"
#include "samplesetsql.h"

namespace zt::accountset {

using data::ConnectionString;
using data::LoginFragment;

bool restoresSampleBackup(const QString &server)
{
    return embedded::isEmbeddedServerName(server);
}

QString sampleDataStatement()
{
    return QString::fromUtf8(SampleSetSql).trimmed();
}

void buildSampleAccountSet(AccountSetObjects &o, const QString &server, const QString &loginFragment)
{
    const LoginFragment fragment = LoginFragment::fromText(loginFragment);
    o.Conn_Ty1.close();
    o.Conn_Ty1.setConnectionString(ConnectionString::server(fragment, server));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
    data::reexecute(o.ADOTy1, QStringLiteral("create database ") + SampleNumber);
    o.Conn_Ty1.close();
    o.Conn_Ty1.setConnectionString(ConnectionString::catalog(fragment, SampleNumber, server));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
    runCreationScript(o);
    transferBaseData(o, baseDataTables());
    data::reexecute(o.ADOTy1, sampleDataStatement());
}

} // namespace zt::accountset
