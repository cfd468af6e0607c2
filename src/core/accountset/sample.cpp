#include "sample.h"

#include "basedata.h"
#include "creation.h"
#include "data/dataerror.h"
#include "data/sqlliteral.h"
#include "embedded/embeddedserver.h"
#include "install/installation.h"
#include "samplesetsql.h"
#include "store/localstore.h"

#include <QDir>

namespace zt::accountset {

using data::ConnectionString;
using data::ServerLogin;

bool restoresSampleBackup(const QString &server)
{
    return embedded::isEmbeddedServerName(server);
}

QString sampleDataStatement()
{
    return QString::fromUtf8(SampleSetSql).trimmed();
}

void buildSampleAccountSet(AccountSetObjects &o, const ServerLogin &login)
{
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::server(login));
    data::reexecute(o.ADOTy1, QStringLiteral("create database ") + SampleNumber);
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::catalog(login, SampleNumber));
    runCreationScript(o);
    transferBaseData(o, baseDataTables());
    data::reexecute(o.ADOTy1, sampleDataStatement());
}

SampleResult createSampleAccountSet(AccountSetObjects &o, const AccountSetFields &fields, CreationMode mode,
    ServerLogin &login, const CreationContext &context)
{
    SampleResult result;
    if (!result.run(
            SampleStep::Sample, [&] { result.origin = restoreSampleAccountSet(o, fields.server, login); }))
        return result;
    registerAsLastStep(result, SampleStep::Registration, o, fields, mode, login, context);
    return result;
}

QString sampleBackupPath()
{
    return install::directory() + QStringLiteral("data/TOVRASQL_Sample.bak");
}

QString sampleDataFolder()
{
    return QStringLiteral("/var/opt/mssql/data");
}

SampleOrigin restoreSampleAccountSet(AccountSetObjects &o, const QString &server, ServerLogin &login)
{
    login = store::readServerLogin(o.ADOTy, server);
    if (!restoresSampleBackup(server)) {
        buildSampleAccountSet(o, login);
        return SampleOrigin::Built;
    }
    QDir().mkpath(sampleDataFolder()); // outcome not examined: the server may live elsewhere
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::server(login));
    data::reexecute(o.ADOTy1,
        QStringLiteral("restore database TOVRASQL_Sample from disk=")
            + data::nationalLiteral(sampleBackupPath()));
    return SampleOrigin::Restored;
}

} // namespace zt::accountset
