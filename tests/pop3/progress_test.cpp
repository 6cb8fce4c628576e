// The progress text of a running check.
#include "mail/checkmail.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressTextTest, MessagesAndTheMailboxReadInOneUnitChosenByTheWhole)
{
    struct Row {
        int n, count;
        qint64 read, total;
        const char *text;
    };
    const Row rows[] = {
        { 12, 345, 12'300'000, 45'600'000, "12/345  12.3 / 45.6 MB" },
        { 0, 3, 0, 512, "0/3  0 / 512 B" },
        { 1, 2, 1'500, 999'949, "1/2  1.5 / 999.9 KB" },
        // Rounded to 1000.0 KB, the total takes the next unit.
        { 1, 2, 40'000, 999'950, "1/2  0.0 / 1.0 MB" },
        { 7, 9, 2'500'000'000, 3'000'000'000, "7/9  2.5 / 3.0 GB" },
        // The lines around the data are counted too: never more than the whole.
        { 5, 5, 45'700'000, 45'600'000, "5/5  45.6 / 45.6 MB" },
        { 3, 4, 100, -1, "3/4" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(
            formatProgress(row.n, row.count, row.read, row.total), QString::fromUtf8(row.text))
            << row.text;
}

} // namespace
