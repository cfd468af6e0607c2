#pragma once

#include "accountsetobjects.h"
#include "directory.h"
#include "filecopy.h"
#include "operationresult.h"

#include <QDate>

#include <optional>

namespace zt::accountset {

// The confirmation, with the full-width brackets around "name(number)".
QString selectionQuestion(const DirectoryRow &row);

// Whether the local account-set list already has the set under the number and the server name
// stored in the directory row.
bool isListedLocally(AccountSetObjects &objects, const DirectoryRow &row);

// Takes the set over as a local account set: copies the per-set system file when it is missing,
// then appends the local row (values as stored, zjmc the page's server field as typed, net "是").
void selectNetworkAccountSet(AccountSetObjects &objects, const DirectoryRow &row, const QString &server,
    CopyProgress *progress, const QDate &today = QDate::currentDate());

// Taking a listed network account set over as a local one: refused when the local list has it
// already under the directory row's number and server name; then, once the front end agrees, the
// per-set file copied when missing and the local row appended (selectNetworkAccountSet).

enum class TakeOverStep {
    LocalCheck, // isListedLocally: a set listed already ends it here, without an error text
    Confirm, // the front end's answer: a "no" ends it here
    TakeOver, // selectNetworkAccountSet
};

// What the front end answers while the take-over runs.
class TakeOverFrontEnd
{
public:
    virtual ~TakeOverFrontEnd() = default;
    // After the local check: true takes the set over, false leaves everything as it is.
    virtual bool confirm(const DirectoryRow &) { return true; }
    // Before the copy and the local row.
    virtual void takingOver() { }
};

struct TakeOverResult : OperationResult<TakeOverStep>
{
    bool alreadyListed = false; // refused: the local list has the set
    bool declined = false; // the front end did not confirm
};

// Takes the directory row's set over with server as the local row's server name (the page's
// field as typed). Data errors end up in the result, never thrown.
TakeOverResult takeOverAccountSet(AccountSetObjects &objects, const DirectoryRow &row, const QString &server,
    CopyProgress *progress, TakeOverFrontEnd &frontEnd, const QDate &today = QDate::currentDate());

} // namespace zt::accountset
