// The program reaches the network through a module it loads at the first connection; tests
// otherwise link the same code in. This loads the built module itself.
#include "mail/pop3transport.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

TEST(SocketModuleTest, LoadsFromTheProgramFolderAndCarriesBytesBothWays)
{
    // Before any load succeeds: a folder without the module names it in the reason.
    QString failure;
    EXPECT_EQ(
        loadSocketTransport(QStringLiteral("/nonexistent-brindle-folder"), &failure), nullptr);
    EXPECT_TRUE(failure.contains(QLatin1String("libbrindle_net.so"))) << failure.toStdString();

    failure.clear();
    std::unique_ptr<Pop3SocketTransport> transport
        = loadSocketTransport(QStringLiteral(BRINDLE_PROGRAM_DIR), &failure);
    ASSERT_NE(transport, nullptr) << failure.toStdString();

    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QString text;
    ASSERT_EQ(transport->open(QStringLiteral("127.0.0.1"), server.serverPort(), false, {},
                  QDeadlineTimer(10000), &text),
        Pop3SocketTransport::OpenResult::Ok)
        << text.toStdString();
    ASSERT_TRUE(server.waitForNewConnection(10000));
    QTcpSocket *peer = server.nextPendingConnection();
    ASSERT_NE(peer, nullptr);

    peer->write("+OK ready\r\n");
    ASSERT_TRUE(peer->waitForBytesWritten(10000));
    QByteArray received;
    char buffer[64];
    while (!received.endsWith("\r\n")) {
        const qint64 got = transport->read(buffer, sizeof buffer, QDeadlineTimer(10000));
        ASSERT_GT(got, 0);
        received.append(buffer, got);
    }
    EXPECT_EQ(received, QByteArray("+OK ready\r\n"));

    ASSERT_TRUE(transport->write("QUIT\r\n", QDeadlineTimer(10000)));
    while (peer->bytesAvailable() < 6)
        ASSERT_TRUE(peer->waitForReadyRead(10000));
    EXPECT_EQ(peer->readAll(), QByteArray("QUIT\r\n"));
    EXPECT_FALSE(transport->isEncrypted());
    transport->close();

    // Loaded once, the module serves every later request.
    EXPECT_NE(
        loadSocketTransport(QStringLiteral("/nonexistent-brindle-folder"), &failure), nullptr);
}

} // namespace
