// SPDX-License-Identifier: GPL-3.0-or-later
// hangUpDialUpConnections against a recording fake of the remote access layer.
#include "fakes/fakeras.h"
#include "remoteaccess/hangup.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

DialUpConnection connection(const QString &handle)
{
    return { handle, handle, QStringLiteral("gsm") };
}

TEST(HangUpDialUpConnections, NoConnectionListsOnceAndHangsUpNothing)
{
    FakeRas ras;
    hangUpDialUpConnections(ras);
    EXPECT_EQ(ras.calls, QStringList { QStringLiteral("enum") });
}

TEST(HangUpDialUpConnections, HangsUpEachInListedOrderWhateverTheResults)
{
    FakeRas ras;
    ras.active = { connection(QStringLiteral("/b")), connection(QStringLiteral("/a")),
        connection(QStringLiteral("/c")) };
    ras.hangUpResult = 7; // every hang-up fails: the rest are still ended, none retried
    hangUpDialUpConnections(ras);
    EXPECT_EQ(ras.calls,
        (QStringList { QStringLiteral("enum"), QStringLiteral("hangUp /b"),
            QStringLiteral("hangUp /a"), QStringLiteral("hangUp /c") }));
}

TEST(HangUpDialUpConnections, FailedListingDoesNothingMore)
{
    FakeRas ras;
    // A failing layer may still have filled the list: it is not to be trusted.
    ras.active = { connection(QStringLiteral("/a")) };
    ras.enumResult = 2;
    hangUpDialUpConnections(ras);
    EXPECT_EQ(ras.calls, QStringList { QStringLiteral("enum") });
}

TEST(HangUpDialUpConnections, NeverHangsUpMoreThanTheTableHolds)
{
    FakeRas ras;
    for (int i = 0; i < RemoteAccess::MaxConnections + 10; ++i)
        ras.active << connection(QStringLiteral("/c%1").arg(i));
    hangUpDialUpConnections(ras);
    ASSERT_EQ(ras.calls.size(), 1 + RemoteAccess::MaxConnections);
    EXPECT_EQ(ras.calls.last(), QStringLiteral("hangUp /c255"));
}

} // namespace
