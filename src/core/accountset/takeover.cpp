#include "takeover.h"

#include "creation.h"
#include "data/dataerror.h"
#include "store/localstore.h"

namespace zt::accountset {

TakeOverResult takeOverAccountSet(AccountSetObjects &o, const DirectoryRow &row, const QString &server,
    CopyProgress *progress, TakeOverFrontEnd &frontEnd, const QDate &today)
{
    TakeOverResult result;
    if (!result.run(TakeOverStep::LocalCheck, [&] { result.alreadyListed = isListedLocally(o, row); }))
        return result;
    if (result.alreadyListed) {
        result.failLastStep();
        return result;
    }
    result.declined = !frontEnd.confirm(row);
    if (!result.check(TakeOverStep::Confirm, !result.declined))
        return result;
    frontEnd.takingOver();
    result.run(TakeOverStep::TakeOver, [&] { selectNetworkAccountSet(o, row, server, progress, today); });
    return result;
}

QString selectionQuestion(const DirectoryRow &row)
{
    return QStringLiteral("确定要将网络账套【") + row.name + u'(' + row.number + u')'
        + QStringLiteral("】的选择引入吗？");
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

} // namespace zt::accountset
