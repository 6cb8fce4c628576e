#include "scenes/pulsestream.h"

#include "scenes/runtimelibrary.h"

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

std::unique_ptr<PulseTuneStream> PulseTuneStream::open(Render render)
{
    if (!pulse().loaded)
        return nullptr;
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
    pa_simple *connection = pulse().pa_simple_new(nullptr, "brindle", PA_STREAM_PLAYBACK, nullptr,
        "tune", &spec, nullptr, &attributes, &error);
    if (!connection)
        return nullptr;
    return std::unique_ptr<PulseTuneStream>(new PulseTuneStream(connection, std::move(render)));
}

PulseTuneStream::PulseTuneStream(pa_simple *connection, Render render)
    : m_connection(connection)
    , m_render(std::move(render))
{
    m_thread = std::thread(&PulseTuneStream::run, this);
}

PulseTuneStream::~PulseTuneStream()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
    pulse().pa_simple_free(m_connection);
}

void PulseTuneStream::pause(bool dropQueued)
{
    std::unique_lock lock(m_mutex);
    m_wanted = false;
    m_drop = m_drop || dropQueued;
    m_changed.notify_all();
    // A write returns within a fifth of a second while the server plays. A server that stalls
    // must not hang the window: after two seconds the player is moved anyway (FluidSynth's
    // calls are safe from two threads; only the cut between old and new sound is less clean).
    using namespace std::chrono_literals;
    m_changed.wait_for(lock, 2s, [this] { return (m_resting && !m_drop) || m_failed || m_quit; });
}

void PulseTuneStream::resume()
{
    {
        std::lock_guard lock(m_mutex);
        m_wanted = true;
    }
    m_changed.notify_all();
}

bool PulseTuneStream::quiet() const
{
    std::lock_guard lock(m_mutex);
    return m_resting && Clock::now() >= m_quietAt;
}

bool PulseTuneStream::failed() const
{
    std::lock_guard lock(m_mutex);
    return m_failed;
}

void PulseTuneStream::run()
{
    std::vector<qint16> samples(2 * ChunkFrames);
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_wanted) {
            if (m_drop) {
                lock.unlock();
                int error = 0;
                pulse().pa_simple_flush(m_connection, &error);
                lock.lock();
                m_drop = false;
                m_quietAt = Clock::now();
            }
            m_resting = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_wanted || m_drop || m_quit; });
            continue;
        }
        m_resting = false;
        lock.unlock();

        const bool goOn = m_render(samples.data(), ChunkFrames);
        int error = 0;
        const bool written = pulse().pa_simple_write(m_connection, samples.data(),
                                 samples.size() * sizeof(qint16), &error)
            >= 0;
        // The chunk just written is heard after everything queued before it.
        const pa_usec_t latency
            = written ? pulse().pa_simple_get_latency(m_connection, &error) : pa_usec_t(0);
        const Clock::time_point quietAt = Clock::now()
            + std::chrono::microseconds(latency == pa_usec_t(-1) ? 0 : qint64(latency));

        lock.lock();
        if (!written) {
            m_failed = true;
            m_resting = true;
            m_changed.notify_all();
            return;
        }
        m_quietAt = quietAt;
        if (!goOn)
            m_wanted = false;
    }
    m_resting = true;
    m_changed.notify_all();
}
