#pragma once

#include <QFileDevice>
#include <QString>

namespace zt::install {

// Files the wizard creates in its installation directory (registrations, per-set files, the
// embedded server's databases, help.ini) are shared by the group that owns the data folders: in
// the Debian package the group ztwizard, whose members work on one workstation's registrations.
// The folders are set-group-ID, so new files belong to that group; this makes them writable by it
// and closed to everybody else (files 0660, folders 0770 whatever the user's mask).

// Clears the group's bits from the process's file-creation mask and sets those of others, keeping
// the owner's (022, 002 and 077 all become 007). Called once at start-up, before any thread.
void shareNewFilesWithGroup();

// The permissions a file created now would get from the file-creation mask (0666 less the mask).
// For files made by copying, whose permissions would otherwise follow the source.
QFileDevice::Permissions newFilePermissions();

// Creates an empty file with the permissions of newFilePermissions() unless a file is there.
// SQLite creates its files with 0644 whatever the mask, and its journals copy the database's
// permissions, so a database meant for the group is created this way before SQLite opens it.
void createSharedFile(const QString &path);

} // namespace zt::install
