// SPDX-License-Identifier: GPL-3.0-or-later
#include "scenes/mediaparser.h"

#include <gtest/gtest.h>
#include <ostream>

namespace {

struct ParseRow {
    const char *name;
    QString text;
    MediaParse expected;
};

MediaParse command(MediaCommand c)
{
    return MediaParse { std::move(c), MediaError::None };
}

MediaParse error(int code)
{
    MediaParse p;
    p.error = code;
    return p;
}

std::string describe(const MediaCommand &c)
{
    return std::visit(
        [](const auto &v) {
            using T = std::decay_t<decltype(v)>;
            std::string out;
            if constexpr (std::is_same_v<T, MediaOpen>)
                out = "Open{" + v.path.toStdString() + ", ";
            else if constexpr (std::is_same_v<T, MediaPlay>)
                out = v.fromStart ? "PlayFrom0{" : "Play{";
            else if constexpr (std::is_same_v<T, MediaStop>)
                out = "Stop{";
            else if constexpr (std::is_same_v<T, MediaClose>)
                out = "Close{";
            else
                out = "StatusMode{";
            return out + v.alias.toStdString() + "}";
        },
        c);
}

} // namespace

void PrintTo(const MediaParse &p, std::ostream *os)
{
    if (p.ok())
        *os << describe(p.command);
    else
        *os << "error " << p.error;
}

void PrintTo(const ParseRow &row, std::ostream *os)
{
    *os << row.name;
}

class MediaParserRows : public ::testing::TestWithParam<ParseRow> { };

TEST_P(MediaParserRows, ParsesTheText)
{
    const ParseRow &row = GetParam();
    const MediaParse parsed = parseMediaCommand(row.text);
    EXPECT_EQ(parsed.error, row.expected.error) << row.text.toStdString();
    if (row.expected.ok() && parsed.ok())
        EXPECT_EQ(parsed.command, row.expected.command)
            << row.text.toStdString() << " gave " << describe(parsed.command);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Vocabulary, MediaParserRows, ::testing::Values(
    ParseRow { "OpenQuoted", R"(open "/opt/brindle/Sound/Kouka.mid" alias bgm)", command(MediaOpen { "/opt/brindle/Sound/Kouka.mid", "bgm" }) },
    ParseRow { "OpenDoubleSlashKept", R"(open "//Sound/Kouka.mid" alias bgm)", command(MediaOpen { "//Sound/Kouka.mid", "bgm" }) },
    ParseRow { "OpenQuotedBlanks", R"(open "/home/u/My  Music/ずっと.mid" alias bgm)", command(MediaOpen { "/home/u/My  Music/ずっと.mid", "bgm" }) },
    ParseRow { "OpenUnquoted", "open /tmp/tune.mid alias bgm", command(MediaOpen { "/tmp/tune.mid", "bgm" }) },
    ParseRow { "KeywordsAnyCaseAliasKept", R"(OPEN "/a.MID" ALIAS Bgm)", command(MediaOpen { "/a.MID", "Bgm" }) },
    ParseRow { "Play", "play bgm", command(MediaPlay { "bgm", false }) },
    ParseRow { "PlayBlanksAround", "   play    bgm   ", command(MediaPlay { "bgm", false }) },
    ParseRow { "PlayFromZero", "play bgm from 0", command(MediaPlay { "bgm", true }) },
    ParseRow { "PlayFromZeroTabsUpper", "PLAY\tbgm\tFROM\t0", command(MediaPlay { "bgm", true }) },
    ParseRow { "PlayQuotedAlias", R"(play "bgm")", command(MediaPlay { "bgm", false }) },
    ParseRow { "Stop", "stop bgm", command(MediaStop { "bgm" }) },
    ParseRow { "Close", "Close bgm", command(MediaClose { "bgm" }) },
    ParseRow { "Status", "status bgm mode", command(MediaStatusMode { "bgm" }) },
    ParseRow { "StatusAnyCase", "STATUS bgm MODE", command(MediaStatusMode { "bgm" }) },

    ParseRow { "Empty", "", error(MediaError::MissingCommand) },
    ParseRow { "Blank", "  \t ", error(MediaError::MissingCommand) },
    ParseRow { "UnknownVerb", "pause bgm", error(MediaError::UnknownCommand) },
    ParseRow { "UnknownVerbSeek", "seek bgm to start", error(MediaError::UnknownCommand) },
    ParseRow { "QuotedVerb", R"("play" bgm)", error(MediaError::UnknownCommand) },
    ParseRow { "UnquotedPathWithBlank", "open /a b.mid alias bgm", error(MediaError::BadArgument) },
    ParseRow { "UnclosedQuote", R"(open "/a.mid alias bgm)", error(MediaError::BadArgument) },
    ParseRow { "QuoteGluedToWord", R"(open "/a.mid"alias bgm)", error(MediaError::BadArgument) },
    ParseRow { "OpenWithoutAlias", R"(open "/a.mid")", error(MediaError::BadArgument) },
    ParseRow { "OpenAliasWithoutName", R"(open "/a.mid" alias)", error(MediaError::BadArgument) },
    ParseRow { "OpenEmptyPath", R"(open "" alias bgm)", error(MediaError::BadArgument) },
    ParseRow { "OpenEmptyAlias", R"(open "/a.mid" alias "")", error(MediaError::BadArgument) },
    ParseRow { "OpenExtraWords", R"(open "/a.mid" type sequencer alias bgm)", error(MediaError::BadArgument) },
    ParseRow { "OpenQuotedAliasKeyword", R"(open "/a.mid" "alias" bgm)", error(MediaError::BadArgument) },
    ParseRow { "PlayWithoutAlias", "play", error(MediaError::BadArgument) },
    ParseRow { "PlayFromWithoutPosition", "play bgm from", error(MediaError::BadArgument) },
    ParseRow { "PlayFromOtherPosition", "play bgm from 5", error(MediaError::BadArgument) },
    ParseRow { "PlayFromWord", "play bgm from start", error(MediaError::BadArgument) },
    ParseRow { "PlayTo", "play bgm to 0", error(MediaError::BadArgument) },
    ParseRow { "PlayExtraWord", "play bgm from 0 wait", error(MediaError::BadArgument) },
    ParseRow { "StopExtraWord", "stop bgm now", error(MediaError::BadArgument) },
    ParseRow { "CloseWithoutAlias", "close", error(MediaError::BadArgument) },
    ParseRow { "StatusWithoutItem", "status bgm", error(MediaError::BadArgument) },
    ParseRow { "StatusOtherItem", "status bgm position", error(MediaError::BadArgument) },
    ParseRow { "StatusExtraWord", "status bgm mode now", error(MediaError::BadArgument) }),
    [](const ::testing::TestParamInfo<ParseRow> &info) { return std::string(info.param.name); });
// clang-format on
