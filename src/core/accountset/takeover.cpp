#include "takeover.h"

#include "data/dataerror.h"

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

} // namespace zt::accountset
