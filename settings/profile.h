#pragma once
// The profile layer: our own reader and atomic writer for initialisation files
// ("[SECTION]" lines, then "KEY=value" lines), with the semantics the settings files rely on:
//  - section and key names match without regard to case;
//  - a missing file, section or key gives the default;
//  - the integer read takes leading blanks, a sign and digits up to the first other character;
//  - the string read is capped at 255 bytes, never ending inside a UTF-8 character;
//  - a write creates a missing file and section, replaces or adds the key, and removes the key
//    when given no value; it never creates a missing folder;
//  - files are written in UTF-8; a file that is not valid UTF-8 is read as CP932 (Shift_JIS);
//  - a value that would not survive the usual trimming and unquoting (leading or trailing blanks,
//    quotes, "=", ";", "#") is written inside double quotes, and one such pair is stripped on read;
//  - every write replaces the file atomically (temporary file in the same folder, flushed,
//    renamed), so a crash or a full disk leaves the old file whole; a file's mode is kept, and a
//    new file gets the mode asked for.
#include <QString>
#include <optional>

namespace Profile {

constexpr int MaxStringBytes = 255;

int readInt(const QString &section, const QString &key, int defaultValue, const QString &path);
// The value (at most 255 bytes of UTF-8), or defaultValue when the file, section or key is missing.
QString readString(const QString &section, const QString &key, const QString &defaultValue,
                   const QString &path);
// No value (std::nullopt) removes the key. newFileMode is used only when the file is created.
// Returns false, with a human reason in *error when given, when the file could not be written.
bool writeString(const QString &section, const QString &key, const std::optional<QString> &value,
                 const QString &path, QString *error = nullptr, int newFileMode = 0644);

} // namespace Profile
