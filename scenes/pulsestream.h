// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tune's sound through a PulseAudio server (PipeWire answers the same protocol), with a deep
// queue. It is a stream of our own, not FluidSynth's driver, for robustness and for the cost
// while the tune plays, not for start-up: a frozen sound server cannot hang the window, and the
// program wakes a few times a second instead of dozens.
//
// FluidSynth's own PulseAudio driver keeps the server's queue as short as one period and writes
// it in 32-bit floats: while the tune plays, the program and the server wake dozens of times a
// second. A background tune needs no short queue: this stream keeps about a second of 16-bit
// sound queued and writes a fifth of a second at a time.
//
// A deep queue is rendered ahead of what is heard. So that no command waits behind it, the
// stream renders only while it is running, and whoever moves the player pauses the stream
// first: pause() returns once nothing renders, and can drop what is queued and not yet heard.
// The renderer stops the stream itself at the end of the tune, after the chunk holding the end;
// quiet() then says when that end has been heard.
//
// One thread of the stream connects, renders and writes, and only it touches the server
// connection. A server that stops answering (a frozen sound server takes connections and then
// nothing) holds no caller for longer than Patience: an open gives up and the caller goes on
// silently, and a pause or the end of the stream goes on without the thread, which is left to
// end by itself if the server ever answers, without rendering again.
// libpulse-simple is loaded at the first open, as FluidSynth is (FluidSynth links it anyway).
#include <QtGlobal>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class PulseTuneStream {
public:
    static constexpr int SampleRate = 44100;
    // The longest any call waits for a server that does not answer.
    static constexpr std::chrono::seconds Patience { 2 };

    // Fills `frames` interleaved stereo frames, on the stream's thread. Returns false when the
    // tune ended within them: the stream writes them and pauses.
    using Render = std::function<bool(qint16 *samples, int frames)>;

    // A paused stream; nullptr when no server takes it within Patience. `stalled` (if given)
    // says whether a server was there but did not answer in time: then whatever reaches it
    // another way (ALSA's default device, say) would wait for it too.
    static std::unique_ptr<PulseTuneStream> open(Render render, bool *stalled = nullptr);
    // Ends the thread (after the write under way, at most a fifth of a second while the server
    // plays) and closes the connection without waiting for the queue to play out. Once this
    // returns, the render function is never called again.
    ~PulseTuneStream();
    PulseTuneStream(const PulseTuneStream &) = delete;
    PulseTuneStream &operator=(const PulseTuneStream &) = delete;

    // Returns once nothing renders (or after Patience with a stalled server); with dropQueued,
    // the server has thrown away what was queued.
    void pause(bool dropQueued);
    void resume();

    // Paused, and all that was written has been heard.
    bool quiet() const;

    // A write failed (the server went away): the stream no longer renders.
    bool failed() const;

private:
    struct State;
    PulseTuneStream(std::shared_ptr<State> state, std::thread thread);
    static void run(std::shared_ptr<State> state);

    const std::shared_ptr<State> m_state;
    std::thread m_thread;
};
