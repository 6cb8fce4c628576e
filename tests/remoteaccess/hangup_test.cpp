// hangUpDialUpConnections against a recording fake of the remote access layer.
#include "mail/hangup.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

class RecordingRemoteAccess : public RemoteAccess {
public:
    int enumConnections(QList<DialUpConnection> *connections) override
    {
        calls << QStringLiteral("enum");
        *connections = listed;
        return enumResult;
    }

    int hangUp(const QString &handle) override
    {
        calls << QStringLiteral("hangUp ") + handle;
        return hangUpResult;
    }

    QList<DialUpConnection> listed;
    int enumResult = 0;
    int hangUpResult = 0;
    QStringList calls;
};

DialUpConnection connection(const QString &handle)
{
    return { handle, handle, QStringLiteral("gsm") };
}

TEST(HangUpDialUpConnections, NoConnectionListsOnceAndHangsUpNothing)
{
    RecordingRemoteAccess ras;
    hangUpDialUpConnections(ras);
    EXPECT_EQ(ras.calls, QStringList { QStringLiteral("enum") });
}

TEST(HangUpDialUpConnections, HangsUpEachInListedOrderWhateverTheResults)
{
    RecordingRemoteAccess ras;
    ras.listed = { connection(QStringLiteral("/b")), connection(QStringLiteral("/a")),
        connection(QStringLiteral("/c")) };
    ras.hangUpResult = 7; // every hang-up fails: the rest are still ended, none retried
    hangUpDialUpConnections(ras);
    EXPECT_EQ(ras.calls,
        (QStringList { QStringLiteral("enum"), QStringLiteral("hangUp /b"),
            QStringLiteral("hangUp /a"), QStringLiteral("hangUp /c") }));
}

TEST(HangUpDialUpConnections, FailedListingDoesNothingMore)
{
    RecordingRemoteAccess ras;
    // A failing layer may still have filled the list: it is not to be trusted.
    ras.listed = { connection(QStringLiteral("/a")) };
    ras.enumResult = 2;
    hangUpDialUpConnections(ras);
    EXPECT_EQ(ras.calls, QStringList { QStringLiteral("enum") });
}

TEST(HangUpDialUpConnections, NeverHangsUpMoreThanTheTableHolds)
{
    RecordingRemoteAccess ras;
    for (int i = 0; i < RemoteAccess::MaxConnections + 10; ++i)
        ras.listed << connection(QStringLiteral("/c%1").arg(i));
    hangUpDialUpConnections(ras);
    ASSERT_EQ(ras.calls.size(), 1 + RemoteAccess::MaxConnections);
    EXPECT_EQ(ras.calls.last(), QStringLiteral("hangUp /c255"));
}

} // namespace
