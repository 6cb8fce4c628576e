// SPDX-License-Identifier: GPL-3.0-or-later
// The progress a running check shows beside 中止.
#include "app/checkprogress.h"

#include <gtest/gtest.h>

namespace {

TEST(CheckProgressTest, PhasesThenMessagesAndTheMailboxReadInOneUnitChosenByTheWhole)
{
    using Phase = CheckProgress::Phase;
    struct Row {
        CheckProgress progress;
        const char *messages;
        const char *octets;
    };
    const Row rows[] = {
        { { Phase::Connecting }, "接続中…", "" },
        { { Phase::LoggingIn, 0, 0, 0, 5000 }, "ログイン中…", "" },
        { { Phase::Fetching, 12, 345, 12'300'000, 45'600'000 }, "12/345", "12.3 / 45.6 MB" },
        { { Phase::Fetching, 0, 3, 0, 512 }, "0/3", "0 / 512 B" },
        { { Phase::Fetching, 1, 2, 1'500, 999'949 }, "1/2", "1.5 / 999.9 KB" },
        // Rounded to 1000.0 KB, the total takes the next unit.
        { { Phase::Fetching, 1, 2, 40'000, 999'950 }, "1/2", "0.0 / 1.0 MB" },
        { { Phase::Fetching, 7, 9, 2'500'000'000, 3'000'000'000 }, "7/9", "2.5 / 3.0 GB" },
        // The lines around the data are counted too: never more than the whole.
        { { Phase::Fetching, 5, 5, 45'700'000, 45'600'000 }, "5/5", "45.6 / 45.6 MB" },
        { { Phase::Fetching, 3, 4, 100, -1 }, "3/4", "" },
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.progress.messagesText(), QString::fromUtf8(row.messages)) << row.messages;
        EXPECT_EQ(row.progress.octetsText(), QString::fromUtf8(row.octets)) << row.messages;
    }
}

} // namespace
