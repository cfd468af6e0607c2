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
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::server(fragment, server));
    data::reexecute(o.ADOTy1, QStringLiteral("create database ") + SampleNumber);
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::catalog(fragment, SampleNumber, server));
    runCreationScript(o);
    transferBaseData(o, baseDataTables());
    data::reexecute(o.ADOTy1, sampleDataStatement());
}

QString sampleBackupPath()
{
    return install::directory() + QStringLiteral("data/TOVRASQL_Sample.bak");
}

QString sampleDataFolder()
{
    return QStringLiteral("/var/opt/mssql/data");
}

SampleOrigin restoreSampleAccountSet(AccountSetObjects &o, const QString &server, QString &loginFragment)
{
    const LoginFragment fragment = store::readLoginFragment(o.ADOTy, server);
    loginFragment = fragment.text();
    if (!restoresSampleBackup(server)) {
        buildSampleAccountSet(o, server, loginFragment);
        return SampleOrigin::Built;
    }
    QDir().mkpath(sampleDataFolder()); // outcome not examined: the server may live elsewhere
    data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::server(fragment, server));
    data::reexecute(o.ADOTy1,
        QStringLiteral("restore database TOVRASQL_Sample from disk=")
            + data::nationalLiteral(sampleBackupPath()));
    return SampleOrigin::Restored;
}

} // namespace zt::accountset
