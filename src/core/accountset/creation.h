#pragma once

#include "accountsetobjects.h"
#include "basedata.h"
#include "filecopy.h"
#include "operationresult.h"

#include <QDate>
#include <QStringList>

#include <functional>
#include <optional>

namespace zt::accountset {

// Why a creation cannot start, with the message for the information box and the field that
// gets the focus.
struct InputProblem
{
    enum class Focus { Unchanged, Database, Name, Password };
    QString message;
    Focus focus = Focus::Unchanged;
};

// The checks before a creation, in order: server name, database name (empty after trimming),
// account-set name, password repeated exactly.
std::optional<InputProblem> checkCreationInput(const AccountSetFields &fields, const QString &passwordAgain);

// What a creation needs from the page besides its objects.
struct CreationContext
{
    CopyProgress *progress = nullptr;
    // Told of the base-data transfer's tables and rows (optional).
    TransferProgress transferProgress;
    // Shows the plain message of a directory row that could not be appended; the creation goes on.
    std::function<void(const QString &message)> reportDirectoryError;
    QDate today = QDate::currentDate();
};

// The table list of the base data, in copying order.
QStringList baseDataTables();

// The per-set system file of an account-set number (an existing one whose name differs only in
// case counts as it), and its template.
QString templatePath();
QString perSetPath(const QString &number);

// The per-set system file of a stored or typed number, after the check that keeps it inside
// data/SysBase: a number that would lead elsewhere throws data::DataError with the reason
// (the texts of unusableDatabaseName).
QString checkedPerSetPath(const QString &number);

// Makes sure the per-set system file of the number exists, copying the template when it does
// not. The number is checked first (checkedPerSetPath): nothing is created for a refused one.
void ensurePerSetFile(const QString &number, CopyProgress *progress);

// Runs the table-creation script named by txt/xzzt.txt on ADOTy1's connection.
void runCreationScript(AccountSetObjects &objects);

// Registers the account set: appends the local row to ztxxb and, in every mode but the rented
// build, ensures the directory table and (network mode) appends the directory row, marking the
// local row's net "是" or "否" before posting it. A directory row the server refuses is told to
// context.reportDirectoryError and the registration goes on: false then. Throws data::DataError
// when the local row cannot be written. login is the page's held login; the directory
// is reached on the fields' server with its fragment.
bool registerAccountSet(AccountSetObjects &objects, const AccountSetFields &fields, CreationMode mode,
    const data::ServerLogin &login, const CreationContext &context);

// Registration as the last step of an operation that makes a set (a creation, a restore, the
// sample): the result says whether the local row was written and whether the directory row was
// refused.
template<typename Result, typename Step>
void registerAsLastStep(Result &result, Step step, AccountSetObjects &objects, const AccountSetFields &fields,
    CreationMode mode, const data::ServerLogin &login, const CreationContext &context)
{
    bool directoryRowAppended = true;
    if (!result.run(
            step, [&] { directoryRowAppended = registerAccountSet(objects, fields, mode, login, context); }))
        return;
    result.registered = true;
    result.directoryRowMissing = !directoryRowAppended;
}

// Creating an account set, step by step; the first failure ends it and nothing done before it is
// undone.
enum class CreationStep {
    PerSetFile, // the number checked, the per-set system file copied from the template
    Login, // the server's login read from xtljb
    Database, // "create database <number>" (network mode)
    Tables, // the table-creation script (both building modes)
    BaseData, // the shipped base data (both building modes)
    Registration, // the local row and, but in the rented build, the directory row
};

struct CreationResult : OperationResult<CreationStep>
{
    bool databaseMade = false; // the new database is on the server
    bool registered = false; // the local row is written
    bool directoryRowMissing = false; // registered locally, the directory row refused
};

// Creates the account set of the fields in the mode: per-set file, database (network mode),
// tables and base data (both building modes), registration. The database name is trimmed once
// and used so everywhere. login receives the server's login once it is read. Data errors end up
// in the result (a number the server has already fails at Database with 1801), never thrown.
[[nodiscard]] CreationResult createAccountSet(AccountSetObjects &objects, const AccountSetFields &fields,
    CreationMode mode, data::ServerLogin &login, const CreationContext &context);

} // namespace zt::accountset
