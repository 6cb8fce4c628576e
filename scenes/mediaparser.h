// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parser of the media-command vocabulary: one pure function from a command text to a command
// or an error code. Keywords are case-insensitive and any run of blanks separates words; a word in
// double quotes may hold blanks. Paths are kept exactly as written, with nothing normalised.
#include "scenes/mediacommand.h"

#include <QString>
#include <variant>

struct MediaOpen {
    QString path;
    QString alias;
    bool operator==(const MediaOpen &) const = default;
};

struct MediaPlay {
    QString alias;
    bool fromStart = false;
    bool operator==(const MediaPlay &) const = default;
};

struct MediaStop {
    QString alias;
    bool operator==(const MediaStop &) const = default;
};

struct MediaClose {
    QString alias;
    bool operator==(const MediaClose &) const = default;
};

struct MediaStatusMode {
    QString alias;
    bool operator==(const MediaStatusMode &) const = default;
};

using MediaCommand = std::variant<MediaOpen, MediaPlay, MediaStop, MediaClose, MediaStatusMode>;

// Either a command (error == MediaError::None) or an error code with a default command.
struct MediaParse {
    MediaCommand command;
    int error = MediaError::None;
    bool ok() const { return error == MediaError::None; }
};

//   open PATH alias NAME        PATH quoted ("...") or a single word
//   play NAME  |  play NAME from 0
//   stop NAME  |  close NAME  |  status NAME mode
// Errors: MissingCommand (blank text), UnknownCommand (first word not in the vocabulary),
// BadArgument (a known command with missing, extra or unsupported words, or an unclosed quote).
MediaParse parseMediaCommand(const QString &text);
