// The tune through a real PulseAudio server with a null sink: the deep queue renders a second
// ahead, yet the tune's end, a replay and a stop must behave as the user hears them.
#include "fakes/soundserver.h"
#include "scenes/fluidsequencer.h"
#include "scenes/mediacommand.h"
#include "testtune.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

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
