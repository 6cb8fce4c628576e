#pragma once
// The tune's sound through a PulseAudio server (PipeWire answers the same protocol), with a deep
// queue.
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
// One thread of the stream renders and writes, and only it touches the server connection.
// libpulse-simple is loaded at the first open, as FluidSynth is (FluidSynth links it anyway).
#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct pa_simple;

class PulseTuneStream {
public:
    static constexpr int SampleRate = 44100;

    // Fills `frames` interleaved stereo frames, on the stream's thread. Returns false when the
    // tune ended within them: the stream writes them and pauses.
    using Render = std::function<bool(qint16 *samples, int frames)>;

    // A paused stream; nullptr when no server takes it.
    static std::unique_ptr<PulseTuneStream> open(Render render);
    // Ends the thread (after the write under way, at most a fifth of a second) and closes the
    // connection without waiting for the queue to play out.
    ~PulseTuneStream();
    PulseTuneStream(const PulseTuneStream &) = delete;
    PulseTuneStream &operator=(const PulseTuneStream &) = delete;

    // Returns once nothing renders (or after two seconds of a stalled server); with dropQueued,
    // the server has thrown away what was queued.
    void pause(bool dropQueued);
    void resume();

    // Paused, and all that was written has been heard.
    bool quiet() const;

    // A write failed (the server went away): the stream no longer renders.
    bool failed() const;

private:
    PulseTuneStream(pa_simple *connection, Render render);
    void run();

    pa_simple *const m_connection;
    const Render m_render;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_wanted = false; // asked to run
    bool m_resting = false; // the thread waits for a change
    bool m_drop = false; // to flush before resting
    bool m_quit = false;
    bool m_failed = false;
    std::chrono::steady_clock::time_point m_quietAt;

    std::thread m_thread;
};
