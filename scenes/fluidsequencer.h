// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The MIDI sequencer behind "open ... .mid": a FluidSynth synth with a General MIDI SoundFont and
// a FluidSynth player.
//
// Sound goes out through the first of the audio drivers named that opens. "pulseaudio" is our own
// deep-queue stream to the sound server (scenes/pulsestream.h); other names are FluidSynth's
// drivers ("alsa"). The player follows the samples rendered, not a timer: with sound, the
// driver's or the stream's thread renders them. Where nothing opens, the tune keeps its time in
// silence: each call first renders, into a scratch buffer, the samples that the clock says are
// due since the last call, which moves the player exactly as a driver would. So status, looping
// and closing behave the same with and without sound, and tests drive time through an injected
// clock.
//
// The end of the tune is the player's tick reaching the last event's tick, seen by a tick
// callback, instead of FluidSynth's own grace period before it calls the player done; through the
// deep queue, it is the moment that tick is heard.
//
// The SoundFont is loaded at open and everything is freed at destruction ("close"), which also
// ends the audio stream at once.
//
// FluidSynth itself is loaded at the first open, not linked (scenes/runtimelibrary.h): with the
// sound libraries behind it, about 40 libraries and 4 MB stay out of a program at rest, which
// may never play the tune. That is its cost at rest; start-up does not depend on it.
//
// Loading FluidSynth and the SoundFont takes most of an open (a tenth of a second or more), too
// long for the window's thread at the moment a result is shown. FluidPreload does both ahead, on
// a thread of its own, when asked (a check starts): it makes the settings and the synth and
// loads the SoundFont there, and hands them over once, through the thread's join, to the open
// on the window's thread, which from then on alone uses them. An open while the preload still
// runs waits for the rest of it.
#include "scenes/mediadevice.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <thread>

struct FluidSequencerOptions {
    QString soundFontPath = QStringLiteral("/usr/share/sounds/sf2/default-GM.sf2");
    // Audio drivers, tried in order: "pulseaudio" is our own stream, other names are FluidSynth
    // drivers, skipped where this FluidSynth build lacks them. An empty list means silence, and
    // so does a sound server that takes our stream's connection but does not answer: no driver
    // after it is tried.
    QStringList audioDrivers
        = { QStringLiteral("pipewire"), QStringLiteral("pulseaudio"), QStringLiteral("alsa") };
    // Milliseconds from any fixed origin, never going back. It paces the silent player; empty
    // means the system's monotonic clock.
    std::function<qint64()> clock;
};

// A synth with its SoundFont, made ahead for the next open. start(), take() and the destructor
// are called on one thread, the one that then uses the synth.
class FluidPreload {
public:
    struct Synth;

    explicit FluidPreload(QString soundFontPath);
    // Waits for a preload that still runs and frees a synth that no open took.
    ~FluidPreload();
    FluidPreload(const FluidPreload &) = delete;
    FluidPreload &operator=(const FluidPreload &) = delete;

    // Starts making the synth on a thread of its own, unless one is made or being made.
    void start();
    // Started and not yet taken.
    bool pending() const { return m_pending; }
    // What start() made, waiting for the rest when it still runs; null when nothing is pending.
    std::unique_ptr<Synth> take();

private:
    const QString m_soundFontPath;
    bool m_pending = false;
    std::thread m_thread;
    std::unique_ptr<Synth> m_made; // written by m_thread, read after its join
};

// How often this process has loaded a SoundFont into a synth (tests count loads with it).
int fluidSoundFontLoads();

class FluidSequencer final : public MediaDevice {
public:
    // An open takes the synth that preload has made or is making, if any, instead of making one.
    explicit FluidSequencer(
        FluidSequencerOptions options = {}, std::shared_ptr<FluidPreload> preload = {});
    ~FluidSequencer() override;
    FluidSequencer(const FluidSequencer &) = delete;
    FluidSequencer &operator=(const FluidSequencer &) = delete;

    // BadFile: unreadable or not a Standard MIDI File. NoSoundFont: the SoundFont is missing or
    // does not load. DeviceFailed: FluidSynth could not make a synth or player.
    int open(const QString &path) override;
    int play(bool fromStart) override;
    int stop() override;
    MediaMode mode() override;

    // True when an audio driver opened; false when the tune plays in silence.
    bool audible() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A cheap structural check of a Standard MIDI File: the header chunk and complete track chunks.
bool isStandardMidiFile(const QByteArray &data);
