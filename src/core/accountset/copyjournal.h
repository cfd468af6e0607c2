#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace zt::accountset {

// The note a copy of an account set keeps while it runs: data/copies/<target>.json in the
// installation directory, written before its first step and removed once the new set is
// registered (or once a failure has left nothing on the server). A note that outlives its process
// tells the doctor which database a cut-short copy may have left. It never holds a password.
struct CopyJournal
{
    QString server; // as typed
    QString source; // the number copied
    QString target; // the new number
    QString name; // the new set's name
    QString backupFile; // the backup's file as the server was asked to write it
    QString backup; // where the backup lies, once it is made
    QDateTime startedAt;
    qint64 pid = 0; // the process that ran the copy
    QString path; // the note's own file (when read)
};

// data/copies of the installation directory, and the note of a target number in it.
QString copyJournalFolder();
QString copyJournalPath(const QString &target);

// Writes the note whole (a temporary file renamed), replacing one of the same target. Throws
// data::DataError with the file's name when it cannot be written.
void writeCopyJournal(const CopyJournal &journal);

// Removes the target's note; false when one stays.
bool removeCopyJournal(const QString &target);

// A note as written, or nothing when the file cannot be read as one.
std::optional<CopyJournal> readCopyJournal(const QString &path);

// The files of every note in the folder, in name order.
QStringList copyJournalFiles();

} // namespace zt::accountset
