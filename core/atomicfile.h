// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ground floor, on Qt Core alone, for what several rooms share: this atomic file writer and
// the program and user folders (programfolder.h). It knows nothing of settings, mail, scenes or
// windows, and includes nothing from the rooms above it.
//
// The writer replaces a whole file at once, so a crash or a full disk leaves the old file whole.
#include <QByteArray>
#include <QString>

namespace AtomicFile {

// Why a write failed. Every failure carries one of these codes and a Japanese text for the user.
// The first few are for writers that check what they are given before any file is touched.
enum class ErrorCode {
    None,
    InvalidName, // empty section or key, or one that cannot be written on a line of its own
    InvalidValue, // a value with a line break
    FolderMissing, // the folder that should hold the file does not exist (it is never created)
    NotAFile, // something other than an ordinary file has the file's name
    ReadFailed, // the existing file could not be read, so it was left alone
    CreateFailed, // the temporary file could not be created
    WriteFailed, // writing or flushing the temporary file failed
    ReplaceFailed, // the temporary file could not take the file's place
};

struct Status {
    ErrorCode code = ErrorCode::None;
    QString text;
    bool ok() const { return code == ErrorCode::None; }
};

struct FileMode {
    int newFile = 0644; // mode of a file that is created (the process umask applies)
    // Drop group and other permissions on every write (for a file that holds a password): an
    // existing file brought from elsewhere with a wider mode is narrowed when it is rewritten.
    bool ownerOnly = false;
};

// Replaces the file at path with bytes atomically: a temporary file in the same folder is
// written, flushed to disk and renamed over the file. An existing file keeps its mode (and, where
// allowed, its owner); a symbolic link is followed, so the link stays and its target is replaced.
// On failure the old file is left exactly as it was and no temporary file remains. The temporary
// files of this file that earlier writes left behind (".<name>.tmp-<hex>") are removed first,
// except one that a write under way in another process still holds.
Status replaceFile(const QString &path, const QByteArray &bytes, FileMode mode = {});

// The moments inside replaceFile at which a test may hold the writer to kill it there. The hook
// is null unless a test sets one, and then nothing is called.
enum class WriteStage { TemporaryCreated, TemporaryWritten, TemporaryFlushed, Renamed };
void setWriteStageHookForTesting(void (*hook)(WriteStage));

// Only the sweep of replaceFile: for a caller that finds the file needs no rewrite, yet must not
// leave the stray temporary files (which may hold a password) behind.
void removeStrayTemporaries(const QString &path);

// The file's absolute path as the user's messages show it.
QString displayPath(const QString &path);

} // namespace AtomicFile
