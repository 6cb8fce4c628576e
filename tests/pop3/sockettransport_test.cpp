// SPDX-License-Identifier: GPL-3.0-or-later
// Reaching a server by name: the name is looked up within the connection's deadline, and each
// address it gives is tried in turn.
#include "mail/sockettransport.h"

#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <future>
#include <gtest/gtest.h>

namespace {

QHostInfo answer(const QList<QHostAddress> &addresses)
{
    QHostInfo info;
    info.setAddresses(addresses);
    return info;
}

TEST(SocketTransportTest, NamesAreLookedUpAndTheirAddressesTriedInTurn)
{
    // The same port on two loopback addresses; nothing listens on 127.0.0.2, which refuses.
    QTcpServer second;
    ASSERT_TRUE(second.listen(QHostAddress(QStringLiteral("127.0.0.3")), 0));
    const quint16 port = second.serverPort();
    QTcpServer third;
    ASSERT_TRUE(third.listen(QHostAddress::LocalHost, port));
    QStringList asked;
    SocketTransport transport(0, [&asked](const QString &host) {
        asked.append(host);
        return answer({ QHostAddress(QStringLiteral("127.0.0.2")),
            QHostAddress(QStringLiteral("127.0.0.3")), QHostAddress::LocalHost });
    });
    QString text;
    ASSERT_EQ(transport.open(QStringLiteral("pop.example.test"), port, false, {},
                  QDeadlineTimer(10000), &text),
        SocketTransport::OpenResult::Ok)
        << text.toStdString();
    EXPECT_TRUE(second.waitForNewConnection(10000)) << "the first address that accepts is used";
    EXPECT_FALSE(third.hasPendingConnections());
    EXPECT_EQ(asked, QStringList { QStringLiteral("pop.example.test") });
    transport.close();

    // An address needs no lookup.
    ASSERT_EQ(
        transport.open(QStringLiteral("127.0.0.1"), port, false, {}, QDeadlineTimer(10000), &text),
        SocketTransport::OpenResult::Ok);
    EXPECT_TRUE(third.waitForNewConnection(10000));
    EXPECT_EQ(asked.size(), 1);
}

TEST(SocketTransportTest, LookupFailuresAreReported)
{
    QString text;
    SocketTransport unknown(0, [](const QString &) {
        QHostInfo info;
        info.setError(QHostInfo::HostNotFound);
        return info;
    });
    EXPECT_EQ(
        unknown.open(QStringLiteral("nowhere.test"), 110, false, {}, QDeadlineTimer(10000), &text),
        SocketTransport::OpenResult::Failed);
    EXPECT_EQ(text, QStringLiteral("サーバー nowhere.test が見つかりません。"));

    // Refused at its only address.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    SocketTransport refused(0, [](const QString &) { return answer({ QHostAddress::LocalHost }); });
    EXPECT_EQ(refused.open(QStringLiteral("pop.example.test"), port, false, {},
                  QDeadlineTimer(10000), &text),
        SocketTransport::OpenResult::Failed);
    EXPECT_EQ(text,
        QStringLiteral("サーバー pop.example.test のポート %1 に接続を拒否されました。").arg(port));
}

TEST(SocketTransportTest, ALookupThatDoesNotAnswerEndsAtTheDeadline)
{
    // A resolver whose own time-outs run far beyond the connection's: here, until released.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    SocketTransport transport(0, [released](const QString &) {
        released.wait();
        return answer({ QHostAddress::LocalHost });
    });
    QString text;
    EXPECT_EQ(transport.open(
                  QStringLiteral("slow.example.test"), 110, false, {}, QDeadlineTimer(200), &text),
        SocketTransport::OpenResult::TimedOut);
    EXPECT_EQ(text, QStringLiteral("サーバー slow.example.test への接続が時間切れになりました。"));
    release.set_value();
}

TEST(SocketTransportTest, AnAbortEndsALookupAtOnce)
{
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    const auto group = std::make_shared<ConnectionGroup>();
    std::future<SocketTransport::OpenResult> opened = std::async(std::launch::async, [&] {
        SocketTransport transport(
            0,
            [&entered, released](const QString &) {
                entered.set_value();
                released.wait();
                return answer({ QHostAddress::LocalHost });
            },
            group);
        QString text;
        return transport.open(
            QStringLiteral("slow.example.test"), 110, false, {}, QDeadlineTimer(60000), &text);
    });
    entered.get_future().wait();
    group->abort();
    EXPECT_EQ(opened.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    release.set_value();
    EXPECT_EQ(opened.get(), SocketTransport::OpenResult::Aborted);
}

} // namespace
