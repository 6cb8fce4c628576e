// SPDX-License-Identifier: GPL-3.0-or-later
// The real FluidSynth sequencer, without a sound device: time passes only when the test moves its
// clock, and the player follows it through rendered samples.
#include "scenes/fluidsequencer.h"
#include "scenes/mediainterpreter.h"
#include "testtune.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString SoundFont = QStringLiteral("/usr/share/sounds/sf2/default-GM.sf2");

class FluidSequencerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFileInfo(SoundFont).isReadable()) << "the GM SoundFont is not installed";
        tunePath = dir.filePath(QStringLiteral("tune.mid"));
        ASSERT_TRUE(testtune::writeFile(tunePath, testtune::midiBytes()));
    }

    FluidSequencerOptions options(const QString &soundFont = SoundFont)
    {
        FluidSequencerOptions o;
        o.soundFontPath = soundFont;
        o.audioDrivers.clear();
        o.clock = [this] { return nowMs; };
        return o;
    }

    int send(const QString &command) { return media.sendString(command, nullptr, 0); }

    int openTune(const QString &path)
    {
        return send(QStringLiteral("open \"%1\" alias bgm").arg(path));
    }

    std::string status()
    {
        char reply[255];
        const int code = media.sendString(QStringLiteral("status bgm mode"), reply, sizeof reply);
        return code == MediaError::None ? std::string(reply) : "error " + std::to_string(code);
    }

    QTemporaryDir dir;
    QString tunePath;
    qint64 nowMs = 100000;
    MediaCommandInterpreter media { options() };
};

} // namespace

TEST_F(FluidSequencerTest, PlaysForItsLengthThenStops)
{
    // A program folder at the root gives two slashes in a row; the path is opened as it is.
    ASSERT_EQ(openTune(QStringLiteral("/") + tunePath), MediaError::None);
    EXPECT_EQ(status(), "stopped");
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    EXPECT_EQ(status(), "playing");

    const qint64 start = nowMs;
    nowMs = start + 500;
    EXPECT_EQ(status(), "playing");
    nowMs = start + testtune::LengthMs - 50;
    EXPECT_EQ(status(), "playing");
    // Right after the last event: no grace period.
    nowMs = start + testtune::LengthMs + 60;
    EXPECT_EQ(status(), "stopped");
    nowMs = start + 5000;
    EXPECT_EQ(status(), "stopped");
}

TEST_F(FluidSequencerTest, PlayFromZeroPlaysAnEndedTuneAgain)
{
    ASSERT_EQ(openTune(tunePath), MediaError::None);
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    qint64 start = nowMs;
    // Loop three times, the way the watcher does.
    for (int round = 0; round < 3; ++round) {
        nowMs = start + testtune::LengthMs + 60;
        ASSERT_EQ(status(), "stopped") << "round " << round;
        ASSERT_EQ(send(QStringLiteral("play bgm from 0")), MediaError::None);
        start = nowMs;
        EXPECT_EQ(status(), "playing") << "round " << round;
        nowMs = start + testtune::LengthMs - 50;
        EXPECT_EQ(status(), "playing") << "round " << round;
    }
}

TEST_F(FluidSequencerTest, PlayFromZeroMidTuneStartsOver)
{
    ASSERT_EQ(openTune(tunePath), MediaError::None);
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    nowMs += 600;
    ASSERT_EQ(status(), "playing");
    ASSERT_EQ(send(QStringLiteral("play bgm from 0")), MediaError::None);
    const qint64 restart = nowMs;
    nowMs = restart + testtune::LengthMs - 50;
    EXPECT_EQ(status(), "playing");
    nowMs = restart + testtune::LengthMs + 60;
    EXPECT_EQ(status(), "stopped");
}

TEST_F(FluidSequencerTest, PlayWhilePlayingGoesOn)
{
    ASSERT_EQ(openTune(tunePath), MediaError::None);
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    const qint64 start = nowMs;
    nowMs = start + 600;
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    nowMs = start + testtune::LengthMs + 60;
    EXPECT_EQ(status(), "stopped");
    // At the end a plain play has nothing left to play.
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    nowMs += 10;
    EXPECT_EQ(status(), "stopped");
}

TEST_F(FluidSequencerTest, StopHoldsThePosition)
{
    ASSERT_EQ(openTune(tunePath), MediaError::None);
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    nowMs += 400;
    ASSERT_EQ(send(QStringLiteral("stop bgm")), MediaError::None);
    EXPECT_EQ(status(), "stopped");
    nowMs += 5000;
    EXPECT_EQ(status(), "stopped");

    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    const qint64 resumed = nowMs;
    EXPECT_EQ(status(), "playing");
    nowMs = resumed + (testtune::LengthMs - 400) - 50;
    EXPECT_EQ(status(), "playing");
    nowMs = resumed + (testtune::LengthMs - 400) + 60;
    EXPECT_EQ(status(), "stopped");
}

TEST_F(FluidSequencerTest, SecondOpenFailsAndCloseFreesTheAlias)
{
    ASSERT_EQ(openTune(tunePath), MediaError::None);
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    EXPECT_EQ(openTune(tunePath), MediaError::AliasInUse);
    nowMs += 300;
    EXPECT_EQ(status(), "playing");

    EXPECT_EQ(send(QStringLiteral("close bgm")), MediaError::None);
    EXPECT_EQ(status(), "error " + std::to_string(MediaError::UnknownAlias));
    EXPECT_EQ(send(QStringLiteral("close bgm")), MediaError::UnknownAlias);

    ASSERT_EQ(openTune(tunePath), MediaError::None);
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    nowMs += testtune::LengthMs - 50;
    EXPECT_EQ(status(), "playing");
}

TEST_F(FluidSequencerTest, MissingSoundFontHasItsOwnCode)
{
    MediaCommandInterpreter noFont { options(dir.filePath(QStringLiteral("missing.sf2"))) };
    EXPECT_EQ(noFont.sendString(QStringLiteral("open \"%1\" alias bgm").arg(tunePath), nullptr, 0),
        MediaError::NoSoundFont);
    EXPECT_FALSE(noFont.isOpen(QStringLiteral("bgm")));

    // A file that is there but no SoundFont fails the same way.
    const QString bogusFont = dir.filePath(QStringLiteral("bogus.sf2"));
    ASSERT_TRUE(testtune::writeFile(bogusFont, "RIFF not really"));
    MediaCommandInterpreter badFont { options(bogusFont) };
    EXPECT_EQ(badFont.sendString(QStringLiteral("open \"%1\" alias bgm").arg(tunePath), nullptr, 0),
        MediaError::NoSoundFont);
}

TEST_F(FluidSequencerTest, PrepareLoadsTheSoundFontOnceAheadAndTheOpenTakesIt)
{
    const int atRest = fluidSoundFontLoads();
    {
        // Prepared and never opened: the load happens all the same, and is waited for and freed.
        MediaCommandInterpreter unused { options() };
        unused.prepare();
    }
    ASSERT_EQ(fluidSoundFontLoads(), atRest + 1);

    media.prepare();
    media.prepare();
    ASSERT_EQ(openTune(tunePath), MediaError::None);
    EXPECT_EQ(fluidSoundFontLoads(), atRest + 2) << "one load, and the open made none of its own";
    ASSERT_EQ(send(QStringLiteral("play bgm")), MediaError::None);
    nowMs += testtune::LengthMs - 50;
    EXPECT_EQ(status(), "playing");
    nowMs += 100;
    EXPECT_EQ(status(), "stopped");

    // While the tune is open there is nothing to prepare; after a close, the open loads again.
    media.prepare();
    ASSERT_EQ(send(QStringLiteral("close bgm")), MediaError::None);
    EXPECT_EQ(fluidSoundFontLoads(), atRest + 2);
    ASSERT_EQ(openTune(tunePath), MediaError::None);
    EXPECT_EQ(fluidSoundFontLoads(), atRest + 3);

    // What the preload found wrong, the open tells, as without it.
    MediaCommandInterpreter noFont { options(dir.filePath(QStringLiteral("missing.sf2"))) };
    noFont.prepare();
    EXPECT_EQ(noFont.sendString(QStringLiteral("open \"%1\" alias bgm").arg(tunePath), nullptr, 0),
        MediaError::NoSoundFont);
}

TEST_F(FluidSequencerTest, FilesThatAreNoMidiAreRefused)
{
    const QString text = dir.filePath(QStringLiteral("text.mid"));
    ASSERT_TRUE(testtune::writeFile(text, "just some text, not a tune"));
    EXPECT_EQ(openTune(text), MediaError::BadFile);

    const QByteArray midi = testtune::midiBytes();
    const QString truncated = dir.filePath(QStringLiteral("truncated.mid"));
    ASSERT_TRUE(testtune::writeFile(truncated, midi.left(midi.size() - 10)));
    EXPECT_EQ(openTune(truncated), MediaError::BadFile);

    EXPECT_EQ(openTune(dir.filePath(QStringLiteral("absent.mid"))), MediaError::BadFile);

    // Neither a pipe (opening it would wait for a writer) nor a file far beyond any tune's size
    // is read.
    const QString pipe = dir.filePath(QStringLiteral("pipe.mid"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(openTune(pipe), MediaError::BadFile);
    const QString huge = dir.filePath(QStringLiteral("huge.mid"));
    ASSERT_TRUE(testtune::writeFile(huge, midi));
    ASSERT_TRUE(QFile::resize(huge, 64 * 1024 * 1024)); // sparse: a valid start, then zeros
    EXPECT_EQ(openTune(huge), MediaError::BadFile);
    EXPECT_EQ(openTune(dir.path()), MediaError::UnsupportedDevice);
    EXPECT_FALSE(media.isOpen(QStringLiteral("bgm")));
}

TEST_F(FluidSequencerTest, NoDriverMeansSilence)
{
    FluidSequencer sequencer(options());
    ASSERT_EQ(sequencer.open(tunePath), MediaError::None);
    EXPECT_FALSE(sequencer.audible());
    EXPECT_EQ(sequencer.play(false), MediaError::None);
    EXPECT_EQ(sequencer.mode(), MediaMode::Playing);
}

TEST(StandardMidiFile, HeaderAndTrackChunksAreChecked)
{
    const QByteArray good = testtune::midiBytes();
    EXPECT_TRUE(isStandardMidiFile(good));
    QByteArray noTracks = good.left(14);
    EXPECT_FALSE(isStandardMidiFile(noTracks));
    QByteArray badFormat = good;
    badFormat[9] = 7;
    EXPECT_FALSE(isStandardMidiFile(badFormat));
    QByteArray zeroDivision = good;
    zeroDivision[12] = 0;
    zeroDivision[13] = 0;
    EXPECT_FALSE(isStandardMidiFile(zeroDivision));
    EXPECT_FALSE(isStandardMidiFile(QByteArray("RIFF")));
}

// The tune that ships with the program must be one the sequencer opens and plays.
TEST(ShippedTune, OpensAndPlays)
{
    const QString path = QStringLiteral(BRINDLE_SOURCE_DIR "/assets/Sound/Kouka.mid");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(isStandardMidiFile(file.readAll()));

    qint64 nowMs = 0;
    FluidSequencerOptions options;
    options.audioDrivers.clear();
    options.clock = [&nowMs] { return nowMs; };
    FluidSequencer sequencer(options);
    ASSERT_EQ(sequencer.open(path), MediaError::None);
    ASSERT_EQ(sequencer.play(false), MediaError::None);
    nowMs += 500;
    EXPECT_EQ(sequencer.mode(), MediaMode::Playing);
}
