// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One open media alias: the interpreter (mediainterpreter.h) creates a device per "open" and runs
// play, stop and status against it; "close" destroys it. FluidSequencer is the only real device.
#include <QString>

enum class MediaMode { NotReady, Playing, Stopped, Paused };

// The reply of "status NAME mode".
QString mediaModeText(MediaMode mode);

class MediaDevice {
public:
    virtual ~MediaDevice() = default;
    // Each returns MediaError::None or an error code.
    virtual int open(const QString &path) = 0;
    // Plays on from the current position (nothing changes while already playing), or from the
    // beginning when fromStart is set.
    virtual int play(bool fromStart) = 0;
    // Stops and keeps the position.
    virtual int stop() = 0;
    virtual MediaMode mode() = 0;
};
