// SPDX-License-Identifier: GPL-3.0-or-later
#include "scenes/fluidsequencer.h"

#include "scenes/mediacommand.h"
#include "scenes/pulsestream.h"
#include "scenes/runtimelibrary.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>
#include <atomic>
#include <chrono>
#include <fluidsynth.h>
#include <mutex>
#include <vector>

Q_LOGGING_CATEGORY(lcFluid, "brindle.media.fluidsynth", QtWarningMsg)

namespace {

// FluidSynth is loaded when a tune is first opened, not at start: it brings some forty libraries
// of its own that a program at rest does not need.
#define BRINDLE_FLUID_FUNCTIONS(X)                                                                 \
    X(delete_fluid_audio_driver)                                                                   \
    X(delete_fluid_player)                                                                         \
    X(delete_fluid_settings)                                                                       \
    X(delete_fluid_synth)                                                                          \
    X(fluid_is_soundfont)                                                                          \
    X(fluid_player_add_mem)                                                                        \
    X(fluid_player_get_status)                                                                     \
    X(fluid_player_get_total_ticks)                                                                \
    X(fluid_player_play)                                                                           \
    X(fluid_player_seek)                                                                           \
    X(fluid_player_set_tick_callback)                                                              \
    X(fluid_player_stop)                                                                           \
    X(fluid_set_log_function)                                                                      \
    X(fluid_settings_foreach_option)                                                               \
    X(fluid_settings_setint)                                                                       \
    X(fluid_settings_setnum)                                                                       \
    X(fluid_settings_setstr)                                                                       \
    X(fluid_synth_all_sounds_off)                                                                  \
    X(fluid_synth_sfload)                                                                          \
    X(fluid_synth_write_s16)                                                                       \
    X(new_fluid_audio_driver)                                                                      \
    X(new_fluid_player)                                                                            \
    X(new_fluid_settings)                                                                          \
    X(new_fluid_synth)

BRINDLE_RUNTIME_API(FluidApi, BRINDLE_FLUID_FUNCTIONS)

const FluidApi &fluid()
{
    static const FluidApi api = loadRuntimeApi<FluidApi>(
        QStringLiteral("fluidsynth"), 3, QLibrary::ResolveAllSymbolsHint);
    return api;
}

bool fluidAvailable()
{
    return fluid().loaded;
}

} // namespace

namespace {

constexpr int SampleRate = PulseTuneStream::SampleRate;
constexpr int AudioPeriodFrames = 8192;
constexpr int RenderBlock = 1024; // frames per silent render call
// Far above any tune a window plays in a loop (the shipped one is a few kilobytes).
constexpr qint64 MaxTuneFileBytes = 16 * 1024 * 1024;

// FluidSynth logs to stderr by default; a machine without sound makes every driver attempt log an
// error, which is expected here. Route everything into a quiet logging category.
void fluidLog(int level, const char *message, void *)
{
    if (level == FLUID_PANIC)
        qCWarning(lcFluid, "%s", message);
    else
        qCInfo(lcFluid, "%s", message);
}

void installFluidLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : { FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG })
            fluid().fluid_set_log_function(level, fluidLog, nullptr);
    });
}

qint64 steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

quint32 bigEndian(const QByteArray &data, qsizetype at, int bytes)
{
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | quint8(data.at(at + i));
    return value;
}

void collectOption(void *data, const char *, const char *option)
{
    static_cast<QSet<QString> *>(data)->insert(QString::fromLatin1(option));
}

} // namespace

bool isStandardMidiFile(const QByteArray &data)
{
    if (data.size() < 14 || !data.startsWith("MThd"))
        return false;
    const quint32 headerLength = bigEndian(data, 4, 4);
    if (headerLength < 6 || headerLength > quint32(data.size() - 8))
        return false;
    const quint32 format = bigEndian(data, 8, 2);
    const quint32 tracks = bigEndian(data, 10, 2);
    const quint32 division = bigEndian(data, 12, 2);
    if (format > 2 || tracks == 0 || division == 0)
        return false;

    qsizetype at = 8 + qsizetype(headerLength);
    quint32 found = 0;
    while (found < tracks && at + 8 <= data.size()) {
        const quint32 length = bigEndian(data, at + 4, 4);
        if (length > quint32(data.size() - at - 8))
            return false; // truncated chunk
        if (data.mid(at, 4) == "MTrk")
            ++found;
        at += 8 + qsizetype(length);
    }
    return found > 0;
}

namespace {
std::atomic<int> s_soundFontLoads { 0 };
}

int fluidSoundFontLoads()
{
    return s_soundFontLoads.load();
}

// Settings and a synth with the SoundFont loaded, or the reason there are none.
struct FluidPreload::Synth {
    fluid_settings_t *settings = nullptr;
    fluid_synth_t *synth = nullptr;
    int code = MediaError::None;

    Synth() = default;
    Synth(const Synth &) = delete;
    Synth &operator=(const Synth &) = delete;
    ~Synth()
    {
        if (synth)
            fluid().delete_fluid_synth(synth);
        if (settings)
            fluid().delete_fluid_settings(settings);
    }
};

namespace {

// What an open needs of FluidSynth before the tune: on the window's thread at the open, or on
// the preload's thread ahead of it.
std::unique_ptr<FluidPreload::Synth> makeSynth(const QString &soundFontPath)
{
    auto made = std::make_unique<FluidPreload::Synth>();
    const auto failed = [&made](int code) {
        made = std::make_unique<FluidPreload::Synth>();
        made->code = code;
        return std::move(made);
    };
    const QFileInfo soundFont(soundFontPath);
    if (!soundFont.isFile() || !soundFont.isReadable())
        return failed(MediaError::NoSoundFont);
    if (!fluidAvailable())
        return failed(MediaError::DeviceFailed);
    installFluidLog();
    const QByteArray path = QFile::encodeName(soundFontPath);
    // Checked before loading: a file that is no SoundFont should not reach the loader at all.
    if (!fluid().fluid_is_soundfont(path.constData()))
        return failed(MediaError::NoSoundFont);

    made->settings = fluid().new_fluid_settings();
    if (!made->settings)
        return failed(MediaError::DeviceFailed);
    fluid().fluid_settings_setnum(made->settings, "synth.sample-rate", SampleRate);
    made->synth = fluid().new_fluid_synth(made->settings);
    if (!made->synth)
        return failed(MediaError::DeviceFailed);
    ++s_soundFontLoads;
    if (fluid().fluid_synth_sfload(made->synth, path.constData(), 1) == FLUID_FAILED)
        return failed(MediaError::NoSoundFont);
    return made;
}

} // namespace

FluidPreload::FluidPreload(QString soundFontPath)
    : m_soundFontPath(std::move(soundFontPath))
{
}

FluidPreload::~FluidPreload()
{
    if (m_thread.joinable())
        m_thread.join();
}

void FluidPreload::start()
{
    if (m_pending)
        return;
    m_pending = true;
    m_thread = std::thread([this] { m_made = makeSynth(m_soundFontPath); });
}

std::unique_ptr<FluidPreload::Synth> FluidPreload::take()
{
    if (!m_pending)
        return nullptr;
    m_thread.join();
    m_pending = false;
    return std::move(m_made);
}

struct FluidSequencer::Private {
    FluidSequencerOptions options;
    std::shared_ptr<FluidPreload> preload;
    fluid_settings_t *settings = nullptr;
    fluid_synth_t *synth = nullptr;
    fluid_player_t *player = nullptr;
    fluid_audio_driver_t *driver = nullptr;
    std::unique_ptr<PulseTuneStream> stream;

    bool playing = false; // play was asked and no stop since
    // The end was rendered. Set by the tick callback, which runs on the thread that renders.
    std::atomic<bool> ended { false };
    int totalTicks = -1; // only touched by the tick callback

    qint64 lastClock = 0;
    qint64 frameRemainder = 0; // in 1/1000 frames, so that rounding never drifts
    std::vector<qint16> scratch;

    qint64 now() const { return options.clock ? options.clock() : steadyMilliseconds(); }

    bool streaming() const { return stream && !stream->failed(); }

    // The end of the tune as the user hears it. Through the deep queue, the end is rendered well
    // before it is heard; the stream pauses after it and says when it is quiet.
    bool endReached() const
    {
        if (!ended.load())
            return false;
        if (!streaming())
            return true;
        return stream->quiet();
    }

    // The player is moved only while nothing renders it.
    void pauseStream(bool dropQueued)
    {
        if (streaming())
            stream->pause(dropQueued);
    }

    static int onTick(void *data, int tick)
    {
        auto *self = static_cast<Private *>(data);
        // Runs inside the player's own callback, after it has sent the events up to this tick.
        // The player itself goes on through its grace period (the last notes ring out) for as
        // long as something renders (the deep-queue stream stops after the chunk with the end);
        // a replay stops and rewinds it, and a play at the end does nothing.
        //
        // The total walks every event of every track, so it is taken once: the file never
        // changes while the device is open.
        if (self->totalTicks < 0)
            self->totalTicks = fluid().fluid_player_get_total_ticks(self->player);
        if (tick >= self->totalTicks)
            self->ended.store(true);
        return FLUID_OK;
    }

    // Silent playing: render what the clock says is due, so that the player moves in real time.
    void catchUp()
    {
        if (driver || streaming() || !player)
            return;
        const qint64 current = now();
        const qint64 elapsed = current - lastClock;
        lastClock = current;
        if (!playing || ended.load() || elapsed <= 0)
            return;
        const qint64 due = elapsed * SampleRate + frameRemainder;
        qint64 frames = due / 1000;
        frameRemainder = due % 1000;
        scratch.resize(2 * RenderBlock);
        while (frames > 0 && !ended.load()) {
            const int count = int(std::min<qint64>(frames, RenderBlock));
            fluid().fluid_synth_write_s16(synth, count, scratch.data(), 0, 2, scratch.data(), 1, 2);
            frames -= count;
        }
    }

    void openDriver()
    {
        QSet<QString> available;
        fluid().fluid_settings_foreach_option(settings, "audio.driver", &available, collectOption);
        // For FluidSynth's own drivers: few, large periods. The default small ones wake the
        // program and the sound server hundreds of times a second for a background tune; the
        // cost is a note starting up to a period (a fifth of a second) late.
        fluid().fluid_settings_setint(settings, "audio.period-size", AudioPeriodFrames);
        fluid().fluid_settings_setint(settings, "audio.periods", 2);
        for (const QString &name : std::as_const(options.audioDrivers)) {
            if (name == QLatin1String("pulseaudio")) {
                bool stalled = false;
                stream = PulseTuneStream::open(
                    [this](qint16 *samples, int frames) {
                        fluid().fluid_synth_write_s16(synth, frames, samples, 0, 2, samples, 1, 2);
                        return !ended.load();
                    },
                    &stalled);
                // A sound server that does not answer would hold the next drivers too (ALSA's
                // default device goes to it where it runs): the tune goes on silently.
                if (stream || stalled)
                    return;
                continue;
            }
            if (!available.contains(name))
                continue;
            fluid().fluid_settings_setstr(settings, "audio.driver", name.toLatin1().constData());
            driver = fluid().new_fluid_audio_driver(settings, synth);
            if (driver)
                return;
        }
    }

    void release()
    {
        // The driver or the stream goes first: its thread renders through the player and the
        // synth.
        stream.reset();
        if (driver)
            fluid().delete_fluid_audio_driver(driver);
        if (player)
            fluid().delete_fluid_player(player);
        if (synth)
            fluid().delete_fluid_synth(synth);
        if (settings)
            fluid().delete_fluid_settings(settings);
        driver = nullptr;
        player = nullptr;
        synth = nullptr;
        settings = nullptr;
        scratch.clear();
        scratch.shrink_to_fit();
    }
};

FluidSequencer::FluidSequencer(FluidSequencerOptions options, std::shared_ptr<FluidPreload> preload)
    : d(std::make_unique<Private>())
{
    d->options = std::move(options);
    d->preload = std::move(preload);
}

FluidSequencer::~FluidSequencer()
{
    d->release();
}

int FluidSequencer::open(const QString &path)
{
    if (d->synth)
        return MediaError::DeviceFailed;

    // The whole file is read now, so it is not held open while the tune plays. Only a regular
    // file of a tune's size is read: a pipe would block the window on open, and a device such
    // as /dev/zero would never end.
    if (!QFileInfo(path).isFile())
        return MediaError::BadFile;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return MediaError::BadFile;
    const QByteArray data = file.read(MaxTuneFileBytes + 1);
    file.close();
    if (data.size() > MaxTuneFileBytes || !isStandardMidiFile(data))
        return MediaError::BadFile;

    const std::unique_ptr<FluidPreload::Synth> made = d->preload && d->preload->pending()
        ? d->preload->take()
        : makeSynth(d->options.soundFontPath);
    if (made->code != MediaError::None)
        return made->code;
    d->settings = std::exchange(made->settings, nullptr);
    d->synth = std::exchange(made->synth, nullptr);

    // The player follows the samples rendered: the driver's with sound, catchUp()'s without.
    // (Following the system clock instead would wake a timer thread every millisecond.)
    d->openDriver();
    fluid().fluid_settings_setstr(d->settings, "player.timing-source", "sample");
    d->player = fluid().new_fluid_player(d->synth);
    if (!d->player
        || fluid().fluid_player_add_mem(d->player, data.constData(), size_t(data.size()))
            != FLUID_OK
        || fluid().fluid_player_set_tick_callback(d->player, &Private::onTick, d.get())
            != FLUID_OK) {
        d->release();
        return MediaError::DeviceFailed;
    }

    d->lastClock = d->now();
    return MediaError::None;
}

int FluidSequencer::play(bool fromStart)
{
    if (!d->player)
        return MediaError::DeviceFailed;
    d->catchUp();
    if (!fromStart && (d->playing || d->ended.load())) {
        // Already playing: go on from where it is. At the end: nothing is left to play.
        return MediaError::None;
    }
    // A start over also drops what is queued of the old run, so that it begins at once.
    d->pauseStream(fromStart);
    if (fromStart) {
        // Stopping first makes the seek unconditional (a seek while playing may be refused while
        // an earlier one is pending).
        fluid().fluid_player_stop(d->player);
        fluid().fluid_player_seek(d->player, 0);
        d->ended.store(false);
    }
    d->playing = true;
    d->lastClock = d->now();
    d->frameRemainder = 0;
    fluid().fluid_player_play(d->player);
    if (d->streaming())
        d->stream->resume();
    return MediaError::None;
}

int FluidSequencer::stop()
{
    if (!d->player)
        return MediaError::DeviceFailed;
    d->catchUp();
    // What is queued is dropped: the tune falls silent now, not a second later.
    d->pauseStream(true);
    fluid().fluid_player_stop(d->player);
    d->playing = false;
    fluid().fluid_synth_all_sounds_off(d->synth, -1);
    return MediaError::None;
}

MediaMode FluidSequencer::mode()
{
    if (!d->player)
        return MediaMode::NotReady;
    d->catchUp();
    if (!d->playing || d->endReached())
        return MediaMode::Stopped;
    // The player gives up by itself only when it cannot load the file.
    if (fluid().fluid_player_get_status(d->player) == FLUID_PLAYER_DONE)
        return MediaMode::Stopped;
    return MediaMode::Playing;
}

bool FluidSequencer::audible() const
{
    return d->driver != nullptr || d->stream != nullptr;
}
