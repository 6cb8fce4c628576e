// SPDX-License-Identifier: GPL-3.0-or-later
#include "scenes/mediainterpreter.h"

#include <QStringList>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace {

// What the fake devices saw, shared with the test.
struct DeviceLog {
    QStringList calls;
    int created = 0;
    int destroyed = 0;
    int openResult = MediaError::None;
    MediaMode mode = MediaMode::Playing;
};

class FakeDevice : public MediaDevice {
public:
    explicit FakeDevice(std::shared_ptr<DeviceLog> log)
        : m_log(std::move(log))
    {
        ++m_log->created;
    }
    ~FakeDevice() override { ++m_log->destroyed; }
    int open(const QString &path) override
    {
        m_log->calls << QStringLiteral("open %1").arg(path);
        return m_log->openResult;
    }
    int play(bool fromStart) override
    {
        m_log->calls << (fromStart ? QStringLiteral("play from 0") : QStringLiteral("play"));
        return MediaError::None;
    }
    int stop() override
    {
        m_log->calls << QStringLiteral("stop");
        return MediaError::None;
    }
    MediaMode mode() override { return m_log->mode; }

private:
    std::shared_ptr<DeviceLog> m_log;
};

class MediaInterpreterTest : public ::testing::Test {
protected:
    std::shared_ptr<DeviceLog> log = std::make_shared<DeviceLog>();
    MediaCommandInterpreter media { MediaCommandInterpreter::SequencerFactory(
        [log = log]() -> std::unique_ptr<MediaDevice> {
            return std::make_unique<FakeDevice>(log);
        }) };

    int send(const char *command)
    {
        return media.sendString(QString::fromUtf8(command), nullptr, 0);
    }
};

} // namespace

TEST_F(MediaInterpreterTest, RunsCommandsAgainstTheOpenAlias)
{
    ASSERT_EQ(send(R"(open "//Sound/Kouka.mid" alias bgm)"), MediaError::None);
    EXPECT_TRUE(media.isOpen(QStringLiteral("BGM")));
    EXPECT_EQ(send("play bgm"), MediaError::None);
    EXPECT_EQ(send("PLAY Bgm FROM 0"), MediaError::None);
    EXPECT_EQ(send("stop bgm"), MediaError::None);
    EXPECT_EQ(log->calls, QStringList({ "open //Sound/Kouka.mid", "play", "play from 0", "stop" }));

    EXPECT_EQ(send("close bgm"), MediaError::None);
    EXPECT_EQ(log->destroyed, 1);
    EXPECT_FALSE(media.isOpen(QStringLiteral("bgm")));
}

TEST_F(MediaInterpreterTest, AliasInUseLeavesTheOpenTuneAlone)
{
    ASSERT_EQ(send("open /a.mid alias bgm"), MediaError::None);
    EXPECT_EQ(send("open /b.mid alias BGM"), MediaError::AliasInUse);
    EXPECT_EQ(log->created, 1);
    EXPECT_EQ(log->destroyed, 0);
    EXPECT_EQ(send("open /b.mid alias other"), MediaError::None);
    EXPECT_EQ(log->created, 2);
}

TEST_F(MediaInterpreterTest, UnknownAliasForEveryCommand)
{
    char reply[255];
    std::strcpy(reply, "leftover");
    EXPECT_EQ(media.sendString(QStringLiteral("status bgm mode"), reply, sizeof reply),
        MediaError::UnknownAlias);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(send("play bgm"), MediaError::UnknownAlias);
    EXPECT_EQ(send("play bgm from 0"), MediaError::UnknownAlias);
    EXPECT_EQ(send("stop bgm"), MediaError::UnknownAlias);
    EXPECT_EQ(send("close bgm"), MediaError::UnknownAlias);
    EXPECT_EQ(log->created, 0);
}

TEST_F(MediaInterpreterTest, DeviceChosenByExtension)
{
    EXPECT_EQ(send("open /x/tune.MID alias a"), MediaError::None);
    EXPECT_EQ(send("open /x/tune.midi alias b"), MediaError::None);
    EXPECT_EQ(send("open /x/tune.wav alias c"), MediaError::UnsupportedDevice);
    EXPECT_EQ(send("open /x/mid alias d"), MediaError::UnsupportedDevice);
    EXPECT_EQ(send("open /x.mid/tune alias e"), MediaError::UnsupportedDevice);
    EXPECT_EQ(log->created, 2);
    EXPECT_FALSE(media.isOpen(QStringLiteral("c")));
}

TEST_F(MediaInterpreterTest, FailedOpenKeepsTheAliasFree)
{
    log->openResult = MediaError::NoSoundFont;
    EXPECT_EQ(send("open /a.mid alias bgm"), MediaError::NoSoundFont);
    EXPECT_EQ(log->destroyed, 1);
    EXPECT_FALSE(media.isOpen(QStringLiteral("bgm")));
    log->openResult = MediaError::None;
    EXPECT_EQ(send("open /a.mid alias bgm"), MediaError::None);
}

TEST_F(MediaInterpreterTest, ParseErrorsPassThroughAndEmptyTheBuffer)
{
    char reply[16];
    std::strcpy(reply, "leftover");
    EXPECT_EQ(media.sendString(QStringLiteral("bogus bgm"), reply, sizeof reply),
        MediaError::UnknownCommand);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(send("status bgm"), MediaError::BadArgument);
    EXPECT_EQ(send(""), MediaError::MissingCommand);
}

TEST_F(MediaInterpreterTest, NoSequencerMeansDeviceFailed)
{
    MediaCommandInterpreter broken { MediaCommandInterpreter::SequencerFactory(
        []() -> std::unique_ptr<MediaDevice> { return nullptr; }) };
    EXPECT_EQ(broken.sendString(QStringLiteral("open /a.mid alias bgm"), nullptr, 0),
        MediaError::DeviceFailed);
}

TEST_F(MediaInterpreterTest, CommandsWithoutReplyLeaveAnEmptyString)
{
    char reply[4] = { 'x', 'x', 'x', '\0' };
    EXPECT_EQ(media.sendString(QStringLiteral("open /a.mid alias bgm"), reply, sizeof reply),
        MediaError::None);
    EXPECT_STREQ(reply, "");
    // A reply buffer of one character holds the empty reply.
    reply[0] = 'x';
    EXPECT_EQ(media.sendString(QStringLiteral("play bgm"), reply, 1), MediaError::None);
    EXPECT_EQ(reply[0], '\0');
}

struct BufferRow {
    MediaMode mode;
    int size;
    int expectedCode;
    const char *expectedReply;
};

class MediaReplyBuffer : public ::testing::TestWithParam<BufferRow> { };

TEST_P(MediaReplyBuffer, ReplyFitsWithItsNulOrNotAtAll)
{
    const BufferRow row = GetParam();
    auto log = std::make_shared<DeviceLog>();
    log->mode = row.mode;
    MediaCommandInterpreter media { MediaCommandInterpreter::SequencerFactory(
        [log]() -> std::unique_ptr<MediaDevice> { return std::make_unique<FakeDevice>(log); }) };
    ASSERT_EQ(media.sendString(QStringLiteral("open /a.mid alias bgm"), nullptr, 0), 0);

    // A guard byte past the announced size must never be touched.
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    char *reply = row.size > 0 ? buffer : nullptr;
    EXPECT_EQ(
        media.sendString(QStringLiteral("status bgm mode"), reply, row.size), row.expectedCode);
    if (row.size > 0) {
        EXPECT_STREQ(buffer, row.expectedReply);
        EXPECT_EQ(buffer[row.size], '#');
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sizes, MediaReplyBuffer, ::testing::Values(
    BufferRow { MediaMode::Playing, 0, MediaError::ReplyTooLong, "" },
    BufferRow { MediaMode::Playing, 1, MediaError::ReplyTooLong, "" },
    BufferRow { MediaMode::Playing, 7, MediaError::ReplyTooLong, "" },
    BufferRow { MediaMode::Playing, 8, MediaError::None, "playing" },
    BufferRow { MediaMode::Playing, 255, MediaError::None, "playing" },
    BufferRow { MediaMode::Stopped, 8, MediaError::None, "stopped" },
    BufferRow { MediaMode::Paused, 6, MediaError::ReplyTooLong, "" },
    BufferRow { MediaMode::Paused, 7, MediaError::None, "paused" },
    BufferRow { MediaMode::NotReady, 9, MediaError::ReplyTooLong, "" },
    BufferRow { MediaMode::NotReady, 10, MediaError::None, "not ready" }));
// clang-format on
