#pragma once

// What the account-set commands share: options read as the pages read their fields, the page's
// objects opened as its show opens them, and the rows reported as stored.

#include "output.h"
#include "secrets.h"

#include "accountset/creation.h"
#include "accountset/directory.h"

#include <QCommandLineParser>

#include <optional>

namespace zt::cli {

inline const QString DirectoryTable = QStringLiteral("PBTOVRASQLBASEDATA");

// False (message given) when --server names no server: a command line that cannot be used.
bool serverNamed(const QCommandLineParser &options, Report &report);

// False (message given: run ztaccountset login first) when this workstation has no stored login
// for the server: every command but login and check uses the stored one.
bool loginStored(const QString &server, Report &report);

// --mode: network (default), rented-build or rented-register; nullopt (message given) otherwise.
std::optional<accountset::CreationMode> modeFromOptions(const QCommandLineParser &options, Report &report);

// The account-set password: --set-password-file, ZTWIZARD_SET_PASSWORD or the terminal (asked
// twice when confirm is set). nullopt (message given) when there is none.
std::optional<Secret> setPassword(const QCommandLineParser &options, Report &report, bool confirm);

// The set's present password, asked before it is changed or copied: --current-password-file, else
// ZTWIZARD_CURRENT_SET_PASSWORD, else the terminal (asked once).
std::optional<Secret> currentSetPassword(const QCommandLineParser &options, Report &report);

// The page's show: the local configuration database on Conn_Ty / ADOTy.
void openPage(accountset::AccountSetObjects &objects);
// The same for an operation: false, with the failure worded by the operation's words (its text
// alone without them), when the local stores cannot be opened.
bool opensPage(accountset::AccountSetObjects &objects, Report &report,
    QString (*failed)(const QString &error) = nullptr);

// The local row of the number and server as stored, into the report.
void reportLocalRow(Report &report, accountset::AccountSetObjects &objects, const QString &number,
    const QString &server, const QString &action = QStringLiteral("stored"));

// The directory row of the number on the login's server, read on a connection of its own.
void reportDirectoryRow(Report &report, const data::ServerLogin &login, const QString &number);

// Why the directory of the server shows no set: no directory table yet, or the listing's failure.
QString unlistedText(const QString &server, const accountset::DirectoryListing &listing);

// A listed network account set a command works on: the server with its stored login, and the
// set's directory row (ADOztgl stays on it).
struct ListedSet
{
    data::ServerLogin login;
    accountset::DirectoryRow row;
};

// What every command on one listed set does first: the login stored for the server
// (loginStored), the local stores opened as the page opens them, the directory listed with the
// server's login and the row of the number made current. Nothing (with the message given) when
// there is no stored login, the stores cannot be opened, the listing fails or the number is not
// in it.
std::optional<ListedSet> findListedSet(
    accountset::AccountSetObjects &objects, const QString &server, const QString &number, Report &report);

QJsonObject directoryRowObject(const accountset::DirectoryRow &row);

// A creation's context: the bar for the copy and the transfer, directory errors as messages.
accountset::CreationContext commandContext(Report &report, TerminalProgress &progress);

} // namespace zt::cli
