// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The media-command layer: the tune is driven by text commands, one call each, in the shape of
// the classic multimedia command-string call: the command, a reply buffer and its size. Each
// call returns 0 or an error code. The vocabulary is exactly what the background tune sends:
//   open "PATH" alias NAME      play NAME [from 0]      stop NAME      close NAME
//   status NAME mode            (replies "playing", "stopped", "paused" or "not ready")
//
// MediaCommandInterpreter (mediainterpreter.h) parses and runs them over a FluidSynth sequencer;
// tests use a recording fake. prepare() is no command string: it asks the layer to get ready for
// an open soon to come (a check has started, whose result starts the tune).
#include <QString>

namespace MediaError {
enum : int {
    None = 0,
    AliasInUse = 289,
    UnknownAlias = 263,
    BadFile = 275,
    UnknownCommand = 261,
    ReplyTooLong = 279,
    NoSoundFont = 320,
    BadArgument = 274,
    MissingCommand = 267,
    UnsupportedDevice = 266,
    DeviceFailed = 262,
};
}

class MediaCommandLayer {
public:
    virtual ~MediaCommandLayer() = default;
    // reply may be null when replySize is 0. A reply that does not fit (with its NUL) is an error
    // and leaves the buffer empty.
    virtual int sendString(const QString &command, char *reply, int replySize) = 0;
    // Loads, off the calling thread, what the next "open" would otherwise load itself, so that
    // it does not wait for it. Returns at once; nothing is loaded before it is asked for.
    virtual void prepare() = 0;
};
