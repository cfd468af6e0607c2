#pragma once

#include "doctor.h"

namespace zt::doctor {

// The doctor's look at the server's backup plan: a set whose last scheduled backup failed (and no
// good backup came after it), a run that failed before any set, a plan whose time passed long ago
// with no run (no timer runs it). Adds findings to the examination; reads only.
void examineBackupPlan(Examination &examination, const QDateTime &now);

// Mends one of those findings by backing up now, as the plan would.
void mendBackupPlan(accountset::AccountSetObjects &objects, const Examination &examination, RepairStep &step);

} // namespace zt::doctor
