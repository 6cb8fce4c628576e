// SPDX-License-Identifier: GPL-3.0-or-later
// The tune through a real PulseAudio server with a null sink: the deep queue renders a second
// ahead, yet the tune's end, a replay and a stop must behave as the user hears them.
#include "fakes/soundserver.h"
#include "scenes/fluidsequencer.h"
#include "scenes/mediacommand.h"
#include "scenes/pulsestream.h"
#include "testtune.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>

namespace {

// Runs `work` on a thread of its own and says whether it ended within `ms`. When it has not,
// `unstick` lets it end, so that the test fails instead of hanging.
bool endsWithin(int ms, const std::function<void()> &work, const std::function<void()> &unstick)
{
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready)
        return true;
    unstick();
    done.wait();
    return false;
}

class PulseStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sound.start()) << sound.errorText().toStdString();
        m_oldServer = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", sound.address());
        ASSERT_TRUE(dir.isValid());
        tunePath = dir.filePath(QStringLiteral("tune.mid"));
        ASSERT_TRUE(testtune::writeFile(tunePath, testtune::midiBytes()));
    }

    void TearDown() override
    {
        if (m_oldServer.isNull())
            qunsetenv("PULSE_SERVER");
        else
            qputenv("PULSE_SERVER", m_oldServer);
    }

    static FluidSequencerOptions streamOnly()
    {
        FluidSequencerOptions options;
        options.audioDrivers = { QStringLiteral("pulseaudio") };
        return options;
    }

    // Milliseconds from the call until the sequencer says stopped.
    static qint64 untilStopped(FluidSequencer &sequencer)
    {
        QElapsedTimer clock;
        clock.start();
        const bool stopped = QTest::qWaitFor(
            [&] { return sequencer.mode() == MediaMode::Stopped; }, 10 * testtune::LengthMs);
        return stopped ? clock.elapsed() : -1;
    }

    NullSoundServer sound;
    QTemporaryDir dir;
    QString tunePath;

private:
    QByteArray m_oldServer;
};

} // namespace

TEST_F(PulseStreamTest, EndComesWhenHeardAndAReplayPlaysTheWholeTuneAgain)
{
    FluidSequencer sequencer(streamOnly());
    ASSERT_EQ(sequencer.open(tunePath), MediaError::None);
    ASSERT_TRUE(sequencer.audible());
    EXPECT_EQ(sound.streamCount(), 1);

    // The whole one-second tune is rendered into the queue at once; "stopped" before most of
    // that second has passed would cut the tune off for whoever loops or closes on it.
    ASSERT_EQ(sequencer.play(false), MediaError::None);
    EXPECT_EQ(sequencer.mode(), MediaMode::Playing);
    const qint64 first = untilStopped(sequencer);
    EXPECT_GE(first, testtune::LengthMs * 8 / 10);

    ASSERT_EQ(sequencer.play(true), MediaError::None);
    EXPECT_EQ(sequencer.mode(), MediaMode::Playing);
    const qint64 second = untilStopped(sequencer);
    EXPECT_GE(second, testtune::LengthMs * 8 / 10) << "a replay plays from the start";

    // At the end, a plain play has nothing left to play.
    ASSERT_EQ(sequencer.play(false), MediaError::None);
    EXPECT_EQ(sequencer.mode(), MediaMode::Stopped);
}

TEST_F(PulseStreamTest, StopIsImmediateAndCloseLeavesTheServer)
{
    {
        FluidSequencer sequencer(streamOnly());
        ASSERT_EQ(sequencer.open(tunePath), MediaError::None);
        ASSERT_EQ(sequencer.play(false), MediaError::None);
        ASSERT_EQ(sequencer.stop(), MediaError::None);
        EXPECT_EQ(sequencer.mode(), MediaMode::Stopped);
        // A stopped tune played again starts over its run, not from a second ahead of it.
        ASSERT_EQ(sequencer.play(true), MediaError::None);
        EXPECT_GE(untilStopped(sequencer), testtune::LengthMs * 8 / 10);
        EXPECT_EQ(sound.streamCount(), 1);
    }
    EXPECT_TRUE(QTest::qWaitFor([this] { return sound.streamCount() == 0; }, 10000))
        << "closing the tune ends its stream";
}

TEST_F(PulseStreamTest, NoServerFallsBackToSilence)
{
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(dir.filePath(QStringLiteral("none"))));
    FluidSequencer sequencer(streamOnly());
    ASSERT_EQ(sequencer.open(tunePath), MediaError::None);
    EXPECT_FALSE(sequencer.audible());
    ASSERT_EQ(sequencer.play(false), MediaError::None);
    EXPECT_EQ(sequencer.mode(), MediaMode::Playing);
}

TEST_F(PulseStreamTest, AFrozenServerHoldsNeitherAnOpenNorAClose)
{
    ASSERT_TRUE(sound.freeze(true));
    int opened = MediaError::DeviceFailed;
    bool audible = true;
    EXPECT_TRUE(endsWithin(
        8000,
        [&] {
            // ALSA's default device goes to the same server where one runs.
            FluidSequencerOptions options;
            options.audioDrivers = { QStringLiteral("pulseaudio"), QStringLiteral("alsa") };
            FluidSequencer sequencer(options);
            opened = sequencer.open(tunePath);
            audible = sequencer.audible();
        },
        [&] { sound.freeze(false); }))
        << "opening the tune waited for a server that does not answer";
    EXPECT_EQ(opened, MediaError::None) << "the tune still runs, silently";
    EXPECT_FALSE(audible);

    // A server that freezes as the tune starts: the first chunk's write waits for it.
    ASSERT_TRUE(sound.freeze(false));
    std::atomic<int> renders { 0 };
    std::unique_ptr<PulseTuneStream> stream
        = PulseTuneStream::open([&renders](qint16 *samples, int frames) {
              std::fill_n(samples, 2 * frames, qint16(0));
              ++renders;
              return true;
          });
    ASSERT_TRUE(stream);
    ASSERT_TRUE(sound.freeze(true));
    stream->resume();
    const bool started = QTest::qWaitFor([&renders] { return renders.load() >= 1; }, 10000);
    if (!started)
        sound.freeze(false);
    ASSERT_TRUE(started);
    EXPECT_TRUE(endsWithin(
        8000, [&] { stream.reset(); }, [&] { sound.freeze(false); }))
        << "closing the tune waited for a server that does not answer";

    // The thread left behind ends once the server answers again, and renders nothing more on
    // its way out: the tune's synth is gone by then. It leaves the server when it ends.
    const int rendersAtClose = renders.load();
    ASSERT_TRUE(sound.freeze(false));
    EXPECT_TRUE(QTest::qWaitFor([this] { return sound.streamCount() == 0; }, 10000));
    EXPECT_EQ(renders.load(), rendersAtClose);
}
