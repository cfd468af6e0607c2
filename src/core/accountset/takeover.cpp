#include "takeover.h"

#include "creation.h"
#include "data/dataerror.h"
#include "store/localstore.h"

#include <QElapsedTimer>

namespace zt::accountset {

TakeOverResult takeOverAccountSet(AccountSetObjects &o, const DirectoryRow &row, const QString &server,
    CopyProgress *progress, TakeOverFrontEnd &frontEnd, const QDate &today)
{
    TakeOverResult result;
    try {
        result.alreadyListed = isListedLocally(o, row);
    } catch (const data::DataError &e) {
        result.failedStep = TakeOverStep::LocalCheck;
        result.error = e.message();
        return result;
    }
    if (result.alreadyListed)
        return result;
    if (!frontEnd.confirm(row)) {
        result.declined = true;
        return result;
    }
    frontEnd.takingOver();
    QElapsedTimer clock;
    clock.start();
    try {
        selectNetworkAccountSet(o, row, server, progress, today);
    } catch (const data::DataError &e) {
        result.failedStep = TakeOverStep::TakeOver;
        result.error = e.message();
    }
    result.elapsedMs = clock.elapsed();
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
