#include "networkset.h"

#include "creation.h"
#include "data/sqlliteral.h"
#include "identifiers.h"
#include "install/installation.h"
#include "samplebuild.h"
#include "store/localstore.h"

#include <QDir>

namespace zt::accountset {

using data::ConnectionString;
using data::LoginFragment;

bool hasDirectoryRows(const data::Query &directory)
{
    return directory.isActive() && directory.recordCount() > 0;
}

DirectoryRow currentDirectoryRow(const data::Query &directory)
{
    return { directory.fieldAsText(QStringLiteral("ztbh")), directory.fieldAsText(QStringLiteral("ztmc")),
        directory.fieldAsText(QStringLiteral("zjmc")), directory.fieldAsText(QStringLiteral("kl")) };
}

QString selectionQuestion(const DirectoryRow &row)
{
    return QStringLiteral("确定要将网络账套【") + row.name + u'(' + row.number + u')'
        + QStringLiteral("】的选择引入吗？");
}

QString deletionQuestion(const DirectoryRow &row)
{
    return QStringLiteral("账套删除后不可恢复，请确定账套已经备份。你确定要删除账套名称为【") + row.name
        + u'(' + row.number + u')' + QStringLiteral("】的账套吗？");
}

bool isListedLocally(AccountSetObjects &o, const DirectoryRow &row)
{
    return store::findAccountSetRow(o.ADOTy, row.number, row.server);
}

void selectNetworkAccountSet(AccountSetObjects &o, const DirectoryRow &row, const QString &server,
    CopyProgress *progress, const QDate &today)
{
    ensurePerSetFile(row.number, progress);
    store::beginAccountSetRow(o.ADOTy, { row.number, row.name, today, row.password, server });
    o.ADOTy.setFieldText(QStringLiteral("net"), QStringLiteral("是"));
    o.ADOTy.post();
}

bool deletionPasswordMatches(const DirectoryRow &row, const QString &typed)
{
    return row.password == typed;
}

void dropAccountSetDatabase(
    AccountSetObjects &o, const QString &loginFragment, const QString &server, const DirectoryRow &row)
{
    o.Conn_Ty1.close();
    o.Conn_Ty1.setConnectionString(ConnectionString::server(LoginFragment::fromText(loginFragment), server));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
    data::reexecute(o.ADOTy1, QStringLiteral("drop database ") + sqlName(row.number));
}

void deleteCurrentDirectoryRow(AccountSetObjects &o)
{
    o.ADOztgl.deleteCurrent();
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
    o.Conn_Ty1.close();
    o.Conn_Ty1.setConnectionString(ConnectionString::server(fragment, server));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
    data::reexecute(o.ADOTy1,
        QStringLiteral("restore database TOVRASQL_Sample from disk=")
            + data::nationalLiteral(sampleBackupPath()));
    return SampleOrigin::Restored;
}

} // namespace zt::accountset
