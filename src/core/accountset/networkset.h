#pragma once

#include "accountsetobjects.h"
#include "filecopy.h"

#include <QDate>

namespace zt::accountset {

// The current directory row of the listed directory (ADOztgl), its fields read as text.
struct DirectoryRow
{
    QString number; // ztbh: the database name on the server
    QString name; // ztmc
    QString server; // zjmc: the server name as typed where the set was registered
    QString password; // kl
};

// Whether the directory result set has rows to act on. A directory that was never listed (or
// whose listing failed) has none: the buttons then do nothing.
bool hasDirectoryRows(const data::Query &directory);
DirectoryRow currentDirectoryRow(const data::Query &directory);

// The two confirmations, with the full-width brackets around "name(number)".
QString selectionQuestion(const DirectoryRow &row);
QString deletionQuestion(const DirectoryRow &row);

// Whether the local account-set list already has the set under the number and the server name
// stored in the directory row.
bool isListedLocally(AccountSetObjects &objects, const DirectoryRow &row);

// Takes the set over as a local account set: copies the per-set system file when it is missing,
// then appends the local row (values as stored, zjmc the page's server field as typed, net "是").
void selectNetworkAccountSet(AccountSetObjects &objects, const DirectoryRow &row, const QString &server,
    CopyProgress *progress, const QDate &today = QDate::currentDate());

// The deletion password check: exact, case-sensitive, untrimmed (an empty or NULL kl matches an
// empty field).
bool deletionPasswordMatches(const DirectoryRow &row, const QString &typed);

// Sends "drop database <number>" on the server connection string of the held login fragment.
// A number that is not a regular identifier is delimited. Throws data::DataError.
void dropAccountSetDatabase(
    AccountSetObjects &objects, const QString &loginFragment, const QString &server, const DirectoryRow &row);

// Deletes the current directory row from the table and from the listing.
void deleteCurrentDirectoryRow(AccountSetObjects &objects);

// The sample account set.
inline const QString SampleNumber = QStringLiteral("TOVRASQL_Sample");
inline const QString SampleName = QStringLiteral("TOVRA例子账套");
// The backup file as the server is asked to read it.
QString sampleBackupPath();
// The folder created on this machine before the restore (the SQL Server data folder on Linux).
QString sampleDataFolder();

// How the sample came to the server.
enum class SampleOrigin {
    Restored, // the shipped backup, on the embedded server
    Built, // database, table-creation script and sample data, on any other server
};

// Reads the server's login fragment into loginFragment and makes TOVRASQL_Sample: on the embedded
// server it creates the data folder (outcome not examined) and restores the sample backup on the
// server connection string; on any other server it builds the sample (see samplebuild.h).
// Throws.
SampleOrigin restoreSampleAccountSet(
    AccountSetObjects &objects, const QString &server, QString &loginFragment);

} // namespace zt::accountset
