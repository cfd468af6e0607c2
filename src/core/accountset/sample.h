#pragma once

#include "accountsetobjects.h"
#include "creation.h"
#include "operationresult.h"

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

// Reads the server's login into login and makes TOVRASQL_Sample: on the embedded
// server it creates the data folder (outcome not examined) and restores the sample backup on the
// server connection string; on any other server it builds the sample (see samplebuild.h).
// Throws.
SampleOrigin restoreSampleAccountSet(
    AccountSetObjects &objects, const QString &server, data::ServerLogin &login);

// Restoring the sample set and registering it, step by step; the first failure ends it.
enum class SampleStep {
    Sample, // restoreSampleAccountSet: the shipped backup restored, or the sample built
    Registration, // registerAccountSet of the fields
};

struct SampleResult : OperationResult<SampleStep>
{
    SampleOrigin origin = SampleOrigin::Restored;
    bool registered = false; // the local row is written
    bool directoryRowMissing = false; // registered locally, the directory row refused
};

// Makes TOVRASQL_Sample on the fields' server (restoreSampleAccountSet, login receiving the
// server's login) and registers it under the fields in the mode. Data errors end up in the
// result, never thrown.
[[nodiscard]] SampleResult createSampleAccountSet(AccountSetObjects &objects, const AccountSetFields &fields,
    CreationMode mode, data::ServerLogin &login, const CreationContext &context);

// The sample account set on a server that cannot restore the shipped backup. The backup is the
// embedded server's own file format, which no SQL Server restores (it answers 3241 and 3013), so
// on any other server TOVRASQL_Sample is built as a creation builds a set: the database, the
// table-creation script, the shipped base data, then the sample's own data (the statement the
// shipped backup was made with). Only the embedded server restores the file.

// True where the shipped backup is restored: the embedded server.
bool restoresSampleBackup(const QString &server);

// The sample's own data, applied over the base data.
QString sampleDataStatement();

// Creates TOVRASQL_Sample on the server with the login and fills it. Throws
// data::DataError with the server's text (1801 when the database exists).
void buildSampleAccountSet(AccountSetObjects &objects, const data::ServerLogin &login);

} // namespace zt::accountset
