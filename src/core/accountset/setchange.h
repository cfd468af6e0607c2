#pragma once

#include "accountsetobjects.h"
#include "creation.h"
#include "directory.h"
#include "operationresult.h"

#include <QList>

#include <optional>

namespace zt::accountset {

// Changing a listed network account set's name (ztmc) or password (kl): the new values checked
// as a creation checks them, the present password checked as a deletion checks it, then the
// set's directory row in master's PBTOVRASQLBASEDATA and this workstation's local rows of the set
// in ztxxb, in that order. Other workstations read the directory and see the change at their
// next listing. The first failure ends it; nothing is removed, so a change that stopped after the
// directory row is finished by running it again (with the new password as the present one).

enum class SetChangeStep {
    Input, // the new name and password, checked as at creation
    Password, // the present password against the row's kl
    DirectoryRow, // the set's row in the directory, on the server
    LocalRows, // this workstation's rows of the set in ztxxb
};

// What is to change; a value left empty (nullopt) stays as it is.
struct SetChange
{
    std::optional<QString> name; // the new ztmc, stored trimmed
    std::optional<QString> password; // the new kl, stored trimmed as a creation stores it
    QString passwordAgain; // the new password typed a second time
};

using SetChangeStepRun = StepRun<SetChangeStep>;

// error: the input problem, the server's or driver's text; empty for a wrong password.
struct SetChangeResult : OperationResult<SetChangeStep>
{
    std::optional<InputProblem> problem; // the input problem, with the field that gets the focus
    bool nameChanged = false; // what the change was asked to do
    bool passwordChanged = false;
    QString name; // the set's name once changed
    int directoryRowsChanged = 0;
    int localRowsChanged = 0;

    // The directory row has the new values, this workstation's list does not.
    bool directoryChangedLocalNot() const { return failedStep == SetChangeStep::LocalRows; }
};

// The checks of the new values, in order: something to change, a name that is not empty after
// trimming ("账套名称不能为空！"), the password repeated exactly ("账套口令校验错误！").
std::optional<InputProblem> checkSetChange(const SetChange &change);

// Changes this workstation's local rows of the set (number row.number, server name as given or
// trimmed, as removeLocalRows finds them). Returns how many changed. Throws data::DataError.
int changeLocalRows(
    AccountSetObjects &objects, const QString &server, const DirectoryRow &row, const SetChange &change);

// Changes the set of the directory row on the server with the held login, after the
// typed present password. Data errors end up in the result, never thrown.
SetChangeResult changeAccountSet(AccountSetObjects &objects, const data::ServerLogin &login,
    const DirectoryRow &row, const QString &presentPassword, const SetChange &change);

// The outcome in Chinese, for both front ends: what changed; after a failure, what changed, what
// did not and what to do.
QString setChangeText(const SetChangeResult &result, const DirectoryRow &row);

} // namespace zt::accountset
