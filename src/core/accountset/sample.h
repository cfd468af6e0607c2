#pragma once

#include "accountsetobjects.h"

#include <QString>

namespace zt::accountset {

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

// The sample account set on a server that cannot restore the shipped backup. The backup is the
// embedded server's own file format, which no SQL Server restores (it answers 3241 and 3013), so
// on any other server TOVRASQL_Sample is built as a creation builds a set: the database, the
// table-creation script, the shipped base data, then the sample's own data (the statement the
// shipped backup was made with). Only the embedded server restores the file.

// True where the shipped backup is restored: the embedded server.
bool restoresSampleBackup(const QString &server);

// The sample's own data, applied over the base data.
QString sampleDataStatement();

// Creates TOVRASQL_Sample on the server of the login fragment and fills it. Throws
// data::DataError with the server's text (1801 when the database exists).
void buildSampleAccountSet(AccountSetObjects &objects, const QString &server, const QString &loginFragment);

} // namespace zt::accountset
