// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The profile layer: our own reader and writer for the "[SECTION]" / "KEY=value" files the
// settings live in, matching what the stored files and their readers expect (case-blind names,
// values capped at 255 bytes of CP932, CP932 files kept CP932; the tests pin the details). The
// text codec is cp932.h; every write replaces its file through the shared atomic writer
// (core/atomicfile.h), so a crash or a full disk leaves the old file whole.
#include "core/atomicfile.h"
#include "settings/cp932.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace Profile {

constexpr int MaxStringBytes = 255;

int readInt(const QString &section, const QString &key, int defaultValue, const QString &path);
// The value (at most 255 bytes, counted as CP932), or defaultValue when the file, section or key is
// missing.
QString readString(
    const QString &section, const QString &key, const QString &defaultValue, const QString &path);
// No value (std::nullopt) removes the key. newFileMode is used only when the file is created.
// Returns false, with a human reason in *error when given, when the file could not be written.
bool writeString(const QString &section, const QString &key, const std::optional<QString> &value,
    const QString &path, QString *error = nullptr, int newFileMode = 0644);

// ---- Lower layer, shared with the server settings file and open to tests and fuzzing ----

// The shared writer's codes and modes (core/atomicfile.h), under the names the settings use.
using AtomicFile::ErrorCode;
using AtomicFile::FileMode;
using AtomicFile::replaceFile;
using AtomicFile::setWriteStageHookForTesting;
using AtomicFile::Status;
using AtomicFile::WriteStage;

// writeString with the failure's code.
Status write(const QString &section, const QString &key, const std::optional<QString> &value,
    const QString &path, FileMode mode = {});

// One key and its value (none removes the key).
struct Entry {
    QString key;
    std::optional<QString> value;
};
// Several keys of one section set in order with one replacement of the file: either all of them
// are stored or, when any name or value cannot be or the file cannot be written, none.
Status write(
    const QString &section, const QList<Entry> &entries, const QString &path, FileMode mode = {});

// Whether text holds a CR or LF, which no value stored on a line of its own can.
bool hasLineBreak(QStringView text);

// The integer at the start of text: leading blanks, an optional sign, then decimal digits up to
// the first other character; no digits give 0, and a number beyond int is clamped to its range.
int parseInt(const QString &text);

// One initialisation file in memory. Every line is kept as it was read (with its own line end),
// so rewriting the file changes only the line that was set, added or removed.
//
// Reading rules: a line whose first non-blank character is ";" or "#" is a comment; "[name]" opens
// a section (the name between the first "[" and the last "]", blanks trimmed); any other line is an
// entry, the key before the first "=" and the value after it, both trimmed of blanks, then one
// pair of surrounding double quotes stripped from the value. A line with no "=" is a key with an
// empty value. Sections that appear more than once act as one; within it the first entry of a key
// counts. Lines before the first section belong to no section and are never found.
class Document {
public:
    static Document parse(const QByteArray &bytes);
    // The file's bytes: CP932 when the file was read as CP932 and every character still fits,
    // otherwise UTF-8, with the byte-order mark when the file had one.
    QByteArray toBytes() const;

    // The stored value, uncut; nullopt when the section or key is missing or a name is invalid.
    std::optional<QString> value(const QString &section, const QString &key) const;
    // Sets (or with nullopt removes) the key, adding the section at the end when missing.
    // Returns false, changing nothing, when the section, key or value cannot be stored.
    bool setValue(const QString &section, const QString &key, const std::optional<QString> &value);
    bool isModified() const { return m_modified; }

    // How a value is written after "=": quoted when the quotes would otherwise be stripped or
    // blanks trimmed on reading, or when it holds a character other readers treat specially.
    static QString encodeValue(const QString &value);
    // The value of an entry's text after "=": blanks trimmed and one pair of quotes stripped.
    static QString decodeValue(const QString &raw);

private:
    struct Line {
        QString text;
        QString end; // "\r\n", "\n", "\r", or empty for a last line without a line end
    };
    enum class Kind { Blank, Comment, Section, Entry };
    static Kind kindOf(const QString &text, QString *name, QString *rawValue);
    // Indexes of the entry lines with this key in the sections named section, in file order.
    QList<qsizetype> findEntries(const QString &section, const QString &key) const;

    QList<Line> m_lines;
    QString m_lineEnd = QStringLiteral("\r\n");
    bool m_bom = false;
    Encoding m_encoding = Encoding::Utf8;
    bool m_modified = false;
};

} // namespace Profile
