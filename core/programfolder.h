// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program folder, the user's own folders, and where the settings files below the program
// folder are kept (on the ground floor: atomicfile.h says what it may not touch).
#include <QString>
#include <optional>

// The program folder: the folder that holds the executable, without a trailing slash except at
// the root. Paths below it are formed by appending a relative name that starts with "/" as plain
// text, with nothing normalised.
QString programFolder();

// Settings files named below the program folder ("/★MailData/ini.ini") live there while the
// program folder can be written (the build tree, an install in the user's home). An installed
// program's folder cannot be: then each user has a copy of their own below userDataFolder(). A
// read takes the user's copy where it exists, else the program folder's file (a shipped
// default); a write always goes to the user's copy.
//
// The program folder counts as writable when the process may create files in it and it lies
// outside /usr, which belongs to the package manager even for root.
bool programFolderWritable();
// $XDG_DATA_HOME/brindle, by default ~/.local/share/brindle.
QString userDataFolder();
// $XDG_STATE_HOME/brindle, by default ~/.local/state/brindle: what the program learns about
// servers (serverrecords.h), not settings.
QString userStateFolder();
// Makes each missing folder of path for its owner only (0700), as the XDG base directory rules
// ask; folders that exist are left as they are.
void makeOwnerOnlyFolders(const QString &path);
QString settingsFileForReading(const QString &relativeName);
// The file a write goes to. For a user's copy that does not exist yet, its missing folders are
// made first (for the owner only), and it starts as a copy of the program folder's file, if any,
// readable by its owner only: a write of one key then keeps the file's other keys.
QString settingsFileForWriting(const QString &relativeName);

// Tests point the program at a folder of their own, and may decide whether it counts as
// writable (nullopt: as the file system says).
void setProgramFolderForTesting(const QString &folder);
void setProgramFolderWritableForTesting(std::optional<bool> writable);
