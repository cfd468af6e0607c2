#pragma once

#include "accountset/accountsetobjects.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace zt::doctor {

// The account-set doctor: compares, for one server, the four places an account set is written to
// (the local list ztxxb, the directory PBTOVRASQLBASEDATA in master, the server's databases and
// the per-set files in data/SysBase), names every inconsistency an interrupted or failed step can
// leave, and mends them. It reads only, until repair() is called.

// One inconsistency.
struct Finding
{
    enum class Kind {
        EmptyDatabase, // a database no one registers and that has no tables (creation cut short)
        UnfinishedCreation, // no registration; tables missing or base data partial
        UnregisteredDatabase, // no registration; every table and the base data are there
        StaleDirectoryRow, // a directory row whose database is gone
        DuplicateDirectoryRow, // a number the directory lists more than once
        LocalRowWithoutDatabase, // a local row of this server whose database is gone
        LocalRowWithoutDirectoryRow, // a local network row whose directory row is gone
        OrphanPerSetFile, // a per-set file that belongs to no row and no database
        LeftoverTemporaryFile, // a restore's or backup's temporary file left by a process that died
        FailedScheduledBackup, // the backup plan's last attempt at a set (or the whole run) failed
        OverdueBackupPlan, // the plan's time passed long ago and no run came: no timer runs it
        InterruptedCopy, // a copy's note (data/copies) left by a process that died (interruptedcopies.cpp)
    };

    explicit Finding(Kind k = Kind::EmptyDatabase)
        : kind(k)
    { }

    Kind kind;
    QString number; // the database / account-set number (empty for a temporary file)
    QString path; // the file of a per-set or temporary file finding
    QStringList missingTables; // UnfinishedCreation
    QStringList partialTables; // UnfinishedCreation: base-data tables with fewer rows than shipped
    int rows = 0; // DuplicateDirectoryRow: the directory rows of the number
    // The local row, for the findings of a local row (what a re-appended directory row holds).
    QString name;
    QString password;
    QDate date;
    // The backup plan's findings: when the failed attempt was (or the run was due) and its text.
    QDateTime when;
    QString error;
    // InterruptedCopy: path is the note, name the new set's name; the set copied, the backup the
    // copy was made from, and how far it came.
    QString source;
    QString backup;
    bool databaseLeft = false; // the new number's database is on the server, nothing registers it
    bool registered = false; // the new number is registered (the note alone was left)

    // What the finding is, what it means and how it is mended, in Chinese.
    QString title() const;
    QString meaning() const;
    QString mend() const;
    // A short name of the kind for scripts ("unfinished-creation", ...).
    QString kindName() const;
};

// What the doctor found on one server.
struct Examination
{
    QString server;
    data::ServerLogin login; // the server with the login read from xtljb (server as above)
    int databases = 0; // account-set candidates and registered ones on the server
    int localRows = 0; // of this server
    int directoryRows = 0;
    int perSetFiles = 0;
    QList<Finding> findings;
    // Places that could not be read (the comparisons that need them were left out), in Chinese.
    QStringList problems;

    bool consistent() const { return findings.isEmpty() && problems.isEmpty(); }
};

// Reads the four places for the server (the login fragment from xtljb, as every page-2 operation
// does). Never changes anything. Failures to read a place are listed in problems.
Examination examine(accountset::AccountSetObjects &objects, const QString &server);

struct RepairOptions
{
    // Complete unfinished creations (missing tables, base data, registrations) instead of
    // backing them up and dropping them. Needs the name and password the set is registered with.
    bool finish = false;
    QString name;
    QString password;
    QDate today = QDate::currentDate();
};

// What one mend did.
struct RepairStep
{
    Finding finding;
    bool done = false;
    QString text; // what was done, or why it failed, in Chinese
    QString kept; // where what was removed was kept: a backup file, a saved row file, a moved file
};

// Mends the findings of an examination, in an order that leaves nothing half-mended: unregistered
// databases are backed up (unless they have no tables) and dropped, or finished; stale rows are
// saved to a file in data/backup and removed; of a number listed more than once the first
// registered row stays, the others are saved and removed; a missing directory row is appended
// again from the local row, once per number and only while the directory lacks it; orphan
// per-set files moved aside into data/SysBase.aside. Nothing is deleted outright.
QList<RepairStep> repair(
    accountset::AccountSetObjects &objects, const Examination &examination, const RepairOptions &options);

// Mends and examines again until the server is consistent or a pass mends nothing (at most
// three passes: a dropped database may leave its per-set file an orphan). Returns every step;
// after holds the last examination.
QList<RepairStep> repairAll(accountset::AccountSetObjects &objects, const QString &server,
    const RepairOptions &options, Examination &after);

// The finding of a database of that number that nothing registers (a creation cut short, or one
// complete but unregistered), if the examination has one.
std::optional<Finding> unregisteredDatabase(const Examination &examination, const QString &number);

// The whole examination as one text for a message box: each finding with its meaning and mend.
QString describe(const Examination &examination);

// The folders repairs keep things in.
QString asideFolder(); // data/SysBase.aside
QString savedRowsFolder(); // data/backup

} // namespace zt::doctor
