#pragma once

#include <QString>

#include <optional>

namespace zt::embedded {

// How thoroughly a copy of a database is read before it is taken for sound.
enum class CheckDepth {
    Quick, // PRAGMA quick_check: every page, b-tree and record structure; no index-to-table match
    Full, // PRAGMA integrity_check: also every index against its table
};

// Reads the database file at path (read-only) and returns nullopt when SQLite finds it sound,
// else the first page it names as damaged (0 when the fault names no page). A file SQLite cannot
// read at all counts as damaged on page 0.
std::optional<int> damagedPage(const QString &path, CheckDepth depth = CheckDepth::Quick);

// The depth the server checks backups with: ZTWIZARD_BACKUP_CHECK=full|quick|off (default quick).
// "off" exists for measuring what the check costs; the server never skips it otherwise.
std::optional<CheckDepth> restoreCheckDepth();

} // namespace zt::embedded
