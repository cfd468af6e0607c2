#pragma once

// The doctor's side of copies of account sets cut short (accountset/copying.h): each copy's note
// in data/copies outlives a process that died before the new set was registered.

#include "doctor.h"

#include <QSet>

namespace zt::doctor {

// Adds a finding for every note of a copy on the examined server, in place of the finding the
// examination has for a database of its new number that nothing registers; a copy whose process
// still runs is left alone (a problem says so, and its new database gets no finding). registered
// holds the numbers the directory or the local list name, databases the server's, both case-folded.
void findInterruptedCopies(
    Examination &examination, const QSet<QString> &registered, const QSet<QString> &databases);

// Mends one: a database left unregistered is backed up, then dropped (or, with finish, registered
// under the note's name and the options' password); then the note is removed. Throws
// data::DataError.
void mendInterruptedCopy(accountset::AccountSetObjects &objects, const Examination &examination,
    const RepairOptions &options, RepairStep &step);

} // namespace zt::doctor
