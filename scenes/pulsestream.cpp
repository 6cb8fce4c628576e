// SPDX-License-Identifier: GPL-3.0-or-later
#include "scenes/pulsestream.h"

#include "scenes/runtimelibrary.h"

#include <condition_variable>
#include <mutex>
#include <pulse/simple.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

#define BRINDLE_PULSE_FUNCTIONS(X)                                                                 \
    X(pa_simple_new)                                                                               \
    X(pa_simple_free)                                                                              \
    X(pa_simple_write)                                                                             \
    X(pa_simple_flush)                                                                             \
    X(pa_simple_get_latency)

BRINDLE_RUNTIME_API(PulseApi, BRINDLE_PULSE_FUNCTIONS)

const PulseApi &pulse()
{
    static const PulseApi api = loadRuntimeApi<PulseApi>(QStringLiteral("pulse-simple"), 0);
    return api;
}

constexpr int ChunkFrames = PulseTuneStream::SampleRate / 5;
constexpr int QueueFrames = PulseTuneStream::SampleRate;

constexpr uint32_t bytesOf(int frames)
{
    return uint32_t(frames) * 2 * sizeof(qint16);
}

} // namespace

struct PulseTuneStream::State {
    explicit State(Render render)
        : render(std::move(render))
    {
    }

    const Render render;
    std::mutex mutex;
    std::condition_variable changed;
    bool connected = false; // the server took the stream
    bool wanted = false; // asked to run
    bool resting = false; // the thread waits for a change
    bool rendering = false; // the thread is in the render function
    bool drop = false; // to flush before resting
    bool quit = false;
    bool failed = false;
    bool finished = false; // the thread has let go of the connection and renders no more
    Clock::time_point quietAt;
};

std::unique_ptr<PulseTuneStream> PulseTuneStream::open(Render render, bool *stalled)
{
    if (stalled)
        *stalled = false;
    if (!pulse().loaded)
        return nullptr;
    auto state = std::make_shared<State>(std::move(render));
    std::thread thread(&PulseTuneStream::run, state);
    std::unique_lock lock(state->mutex);
    state->changed.wait_for(lock, Patience, [&] { return state->connected || state->finished; });
    if (state->finished) { // refused
        lock.unlock();
        thread.join();
        return nullptr;
    }
    if (!state->connected) {
        // No answer yet: the thread closes what it may still get, by itself.
        if (stalled)
            *stalled = true;
        state->quit = true;
        state->changed.notify_all();
        lock.unlock();
        thread.detach();
        return nullptr;
    }
    lock.unlock();
    return std::unique_ptr<PulseTuneStream>(
        new PulseTuneStream(std::move(state), std::move(thread)));
}

PulseTuneStream::PulseTuneStream(std::shared_ptr<State> state, std::thread thread)
    : m_state(std::move(state))
    , m_thread(std::move(thread))
{
}

PulseTuneStream::~PulseTuneStream()
{
    State &state = *m_state;
    std::unique_lock lock(state.mutex);
    state.quit = true;
    state.changed.notify_all();
    // The render function may go once this returns: wait for a render under way whatever the
    // server does, and for the rest only as long as a server that plays would take.
    state.changed.wait_for(lock, Patience, [&] { return state.finished; });
    state.changed.wait(lock, [&] { return state.finished || !state.rendering; });
    const bool finished = state.finished;
    lock.unlock();
    if (finished)
        m_thread.join();
    else
        m_thread.detach(); // stuck in a call to the server; it ends by itself if that returns
}

void PulseTuneStream::pause(bool dropQueued)
{
    State &state = *m_state;
    std::unique_lock lock(state.mutex);
    state.wanted = false;
    state.drop = state.drop || dropQueued;
    state.changed.notify_all();
    // A write returns within a fifth of a second while the server plays. A server that stalls
    // must not hang the window: after Patience the player is moved anyway (FluidSynth's calls
    // are safe from two threads; only the cut between old and new sound is less clean).
    state.changed.wait_for(lock, Patience,
        [&] { return (state.resting && !state.drop) || state.failed || state.finished; });
}

void PulseTuneStream::resume()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->wanted = true;
    }
    m_state->changed.notify_all();
}

bool PulseTuneStream::quiet() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->resting && Clock::now() >= m_state->quietAt;
}

bool PulseTuneStream::failed() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->failed;
}

void PulseTuneStream::run(std::shared_ptr<State> shared)
{
    State &state = *shared;
    const pa_sample_spec spec { PA_SAMPLE_S16NE, SampleRate, 2 };
    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = bytesOf(QueueFrames);
    // The server asks for a chunk at a time, and plays from the first chunk on, also after a
    // pause: waiting for a full queue would delay every start by a second.
    attributes.minreq = bytesOf(ChunkFrames);
    attributes.prebuf = bytesOf(ChunkFrames);
    attributes.fragsize = uint32_t(-1);
    int error = 0;
    pa_simple *const connection = pulse().pa_simple_new(nullptr, "brindle", PA_STREAM_PLAYBACK,
        nullptr, "tune", &spec, nullptr, &attributes, &error);

    std::vector<qint16> samples(2 * ChunkFrames);
    std::unique_lock lock(state.mutex);
    if (connection && !state.quit) {
        state.connected = true;
        state.changed.notify_all();
    }
    while (connection && !state.quit) {
        if (!state.wanted) {
            if (state.drop) {
                lock.unlock();
                pulse().pa_simple_flush(connection, &error);
                lock.lock();
                state.drop = false;
                state.quietAt = Clock::now();
            }
            state.resting = true;
            state.changed.notify_all();
            state.changed.wait(lock, [&] { return state.wanted || state.drop || state.quit; });
            continue;
        }
        state.resting = false;
        state.rendering = true;
        lock.unlock();

        const bool goOn = state.render(samples.data(), ChunkFrames);
        lock.lock();
        state.rendering = false;
        state.changed.notify_all();
        lock.unlock();
        const bool written = pulse().pa_simple_write(connection, samples.data(),
                                 samples.size() * sizeof(qint16), &error)
            >= 0;
        // The chunk just written is heard after everything queued before it.
        const pa_usec_t latency
            = written ? pulse().pa_simple_get_latency(connection, &error) : pa_usec_t(0);
        const Clock::time_point quietAt = Clock::now()
            + std::chrono::microseconds(latency == pa_usec_t(-1) ? 0 : qint64(latency));

        lock.lock();
        if (!written) {
            state.failed = true;
            break;
        }
        state.quietAt = quietAt;
        if (!goOn)
            state.wanted = false;
    }
    state.resting = true;
    state.changed.notify_all();
    lock.unlock();
    if (connection)
        pulse().pa_simple_free(connection);
    lock.lock();
    state.finished = true;
    state.changed.notify_all();
}
