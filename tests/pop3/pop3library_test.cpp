// SPDX-License-Identifier: GPL-3.0-or-later
// Pop3Library against the scripted server over real sockets on 127.0.0.1.
#include "fakes/fakepop3server.h"
#include "testcertificate.h"

#include "failuretext.h"
#include "mail/pop3library.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Buffers {
    std::array<char, NMailApi::BufferSize> subject {}, from {}, date {}, messageId {};
};

class Pop3LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library.NMailInitializeWinSock();
        library.NMailSetOption(1, NMailApi::BufferSize);
        library.setTimeouts(10s, 10s);
    }

    // Starts a server with script and connects to it.
    int connectTo(FakePop3Server &server)
    {
        EXPECT_TRUE(server.begin());
        return library.NMailPop3Connect(server.address());
    }

    void expectScriptPlayed(FakePop3Server &server)
    {
        EXPECT_TRUE(server.waitForEnd());
        EXPECT_TRUE(server.problems().isEmpty()) << server.problems().join('\n').toStdString();
        EXPECT_TRUE(server.playedAllRows());
    }

    Pop3Library library;
};

const QList<QByteArray> NoCapa = { "C: CAPA", "S: -ERR unknown command" };

TEST_F(Pop3LibraryTest, PlainLoginFetchesEachMessageOnceWithoutPipelining)
{
    // Message 1 is byte-stuffed and carries encoded header words; status, size and mail of each
    // message must cost exactly one LIST and one RETR.
    const QByteArray message1 = "Subject: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=\r\n"
                                "From: =?UTF-8?Q?=E5=A4=AA=E9=83=8E?= <taro@example.jp>\r\n"
                                "Date: Mon, 2 Mar 2026 10:00:00 +0900\r\n"
                                "Message-ID: <m1@example.jp>\r\n"
                                "\r\n"
                                ".leading dot\r\n"
                                "..\r\n"
                                "end\r\n";
    const QByteArray onWire = "Subject: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=\r\n"
                              "From: =?UTF-8?Q?=E5=A4=AA=E9=83=8E?= <taro@example.jp>\r\n"
                              "Date: Mon, 2 Mar 2026 10:00:00 +0900\r\n"
                              "Message-ID: <m1@example.jp>\r\n"
                              "\r\n"
                              "..leading dot\r\n"
                              "...\r\n"
                              "end\r\n";
    const QByteArray size1 = QByteArray::number(message1.size());
    FakePop3Server server(QList<QByteArray> { "S: +OK ready" } + NoCapa
        + QList<QByteArray> { "C: USER bob", "S: +OK", "C: PASS secret", "S: +OK logged in",
            "C: STAT", "S: +OK 2 320", "C: LIST 1", "S: +OK 1 " + size1, "C: RETR 1", "S: +OK",
            "R:" + onWire + ".\r\n", "C: LIST 2", "S: +OK 2 9", "C: RETR 2", "S: +OK",
            "R:\r\nshort\r\n.\r\n", "C: QUIT", "S: +OK bye" });
    const int handle = connectTo(server);
    ASSERT_GE(handle, 0) << failureText(library).toStdString();
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "bob", "secret", 0), 2);

    Buffers b;
    ASSERT_EQ(
        library.NMailPop3GetMailStatus(handle, 1, b.subject, b.from, b.date, b.messageId, 0), 0);
    EXPECT_STREQ(b.subject.data(), "こんにちは");
    EXPECT_STREQ(b.from.data(), "太郎 <taro@example.jp>");
    EXPECT_STREQ(b.date.data(), "Mon, 2 Mar 2026 10:00:00 +0900");
    EXPECT_STREQ(b.messageId.data(), "<m1@example.jp>");
    const int size = library.NMailPop3GetMailSize(handle, 1);
    ASSERT_EQ(size, message1.size());
    std::vector<char> body(size_t(size) + 1, ' ');
    Buffers again;
    ASSERT_EQ(library.NMailPop3GetMail(
                  handle, 1, again.subject, again.from, again.date, again.messageId, body, 0, 0),
        0);
    EXPECT_EQ(QByteArray(body.data()), message1);
    EXPECT_STREQ(again.subject.data(), "こんにちは");

    // Message 2: size first, then status and mail; it has an empty header.
    EXPECT_EQ(library.NMailPop3GetMailSize(handle, 2), 9);
    EXPECT_EQ(
        library.NMailPop3GetMailStatus(handle, 2, b.subject, b.from, b.date, b.messageId, 0), 0);
    EXPECT_STREQ(b.subject.data(), "");
    std::vector<char> body2(10, ' ');
    EXPECT_EQ(
        library.NMailPop3GetMail(handle, 2, b.subject, b.from, b.date, b.messageId, body2, 0, 0),
        0);
    EXPECT_STREQ(body2.data(), "\r\nshort\r\n");
    library.NMailPop3Close(handle);
    expectScriptPlayed(server);
}

TEST_F(Pop3LibraryTest, LargeMessageStreamsIntoTheBodyBufferWithOneRetr)
{
    // A large message is not held whole: its head serves the status call and the rest goes
    // straight into the mail call's buffer. A large message whose mail is never asked for is
    // read off the connection before the next command, so the session stays in step.
    QByteArray big = "Subject: big\r\nMessage-ID: <big@x>\r\n\r\n";
    for (int i = 0; big.size() < 3 * 1024 * 1024; ++i)
        big += "line " + QByteArray::number(i) + " " + QByteArray(100, char('a' + i % 26)) + "\r\n";
    QByteArray stuffed = big;
    stuffed.replace("\r\n.", "\r\n..");
    const QByteArray size = QByteArray::number(big.size());
    FakePop3Server server(QList<QByteArray> { "S: +OK ready" } + NoCapa
        + QList<QByteArray> { "C: USER bob", "S: +OK", "C: PASS pw", "S: +OK", "C: STAT",
            "S: +OK 3 9", "C: LIST 1", "S: +OK 1 " + size, "C: RETR 1", "S: +OK",
            "R:" + stuffed + ".\r\n", "C: LIST 2", "S: +OK 2 " + size, "C: RETR 2", "S: +OK",
            "R:" + stuffed + ".\r\n", "C: LIST 3", "S: +OK 3 7", "C: RETR 3", "S: +OK",
            "R:\r\nsmall\r\n.\r\n", "C: QUIT", "S: +OK" });
    const int handle = connectTo(server);
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "bob", "pw", 0), 3);

    Buffers b;
    ASSERT_EQ(
        library.NMailPop3GetMailStatus(handle, 1, b.subject, b.from, b.date, b.messageId, 0), 0);
    EXPECT_STREQ(b.subject.data(), "big");
    ASSERT_EQ(library.NMailPop3GetMailSize(handle, 1), big.size());
    std::vector<char> body(size_t(big.size()) + 1, ' ');
    ASSERT_EQ(
        library.NMailPop3GetMail(handle, 1, b.subject, b.from, b.date, b.messageId, body, 0, 0), 0);
    EXPECT_EQ(QByteArray(body.data()), big);
    EXPECT_STREQ(b.messageId.data(), "<big@x>");

    // Message 2: status only; its rest is skipped before message 3 is asked for.
    ASSERT_EQ(
        library.NMailPop3GetMailStatus(handle, 2, b.subject, b.from, b.date, b.messageId, 0), 0);
    EXPECT_STREQ(b.subject.data(), "big");
    std::vector<char> small(8, ' ');
    ASSERT_EQ(
        library.NMailPop3GetMail(handle, 3, b.subject, b.from, b.date, b.messageId, small, 0, 0),
        0);
    EXPECT_STREQ(small.data(), "\r\nsmall");
    library.NMailPop3Close(handle);
    expectScriptPlayed(server);
}

TEST_F(Pop3LibraryTest, PipeliningSendsListAndRetrTogether)
{
    FakePop3Server server({ "S: +OK ready", "C: CAPA", "S: +OK", "R:USER\r\nPIPELINING\r\n.\r\n",
        "C: USER bob", "S: +OK", "C: PASS pw", "S: +OK", "C: STAT", "S: +OK 1 5", "C: LIST 1",
        "C: RETR 1", "R:+OK 1 5\r\n+OK\r\nabc\r\n.\r\n", "C: QUIT", "S: +OK" });
    const int handle = connectTo(server);
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "bob", "pw", 0), 1);
    Buffers b;
    std::array<char, 6> body {};
    EXPECT_EQ(
        library.NMailPop3GetMail(handle, 1, b.subject, b.from, b.date, b.messageId, body, 0, 0), 0);
    EXPECT_EQ(library.NMailPop3GetMailSize(handle, 1), 5);
    EXPECT_EQ(
        library.NMailPop3GetMailStatus(handle, 1, b.subject, b.from, b.date, b.messageId, 0), 0);
    EXPECT_STREQ(body.data(), "abc\r\n");
    library.NMailPop3Close(handle);
    expectScriptPlayed(server);
}

TEST_F(Pop3LibraryTest, RefusedLoginKeepsTheServerText)
{
    for (const QByteArray &refusal :
        { QByteArray("-ERR [AUTH] Authentication failed."),
            QByteArray("-ERR [IN-USE] Mailbox locked"), QByteArray("-ERR [SYS/TEMP] Try later") }) {
        Pop3Library fresh;
        FakePop3Server server(QList<QByteArray> { "S: +OK hi" } + NoCapa
            + QList<QByteArray> {
                "C: USER bob", "S: +OK", "C: PASS wrong", "S: " + refusal, "C: QUIT", "S: +OK" });
        ASSERT_TRUE(server.begin());
        const int handle = fresh.NMailPop3Connect(server.address());
        ASSERT_GE(handle, 0);
        EXPECT_EQ(
            fresh.NMailPop3Authenticate(handle, "bob", "wrong", 0), int(Pop3Error::LoginRefused));
        const QString text = failureText(fresh);
        EXPECT_TRUE(text.contains(QString::fromUtf8(refusal.mid(5)))) << text.toStdString();
        EXPECT_TRUE(text.startsWith(QStringLiteral("ログインを拒否されました。")));
        fresh.NMailPop3Close(handle);
        expectScriptPlayed(server);
    }
}

TEST_F(Pop3LibraryTest, ApopSendsTheDigestOfTheGreetingTimestamp)
{
    FakePop3Server server(
        QList<QByteArray> { "S: +OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>" } + NoCapa
        + QList<QByteArray> { "C: APOP mrose c4c9334bac560ecc979e58001b3e22fb",
            "S: +OK maildrop has 0 messages", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK" });
    const int handle = connectTo(server);
    EXPECT_EQ(library.NMailPop3Authenticate(handle, "mrose", "tanstaaf", -1), 0);
    // An empty mailbox has no message 1.
    EXPECT_EQ(library.NMailPop3GetMailSize(handle, 1), -1);
    library.NMailPop3Close(handle);
    expectScriptPlayed(server);
}

TEST_F(Pop3LibraryTest, ApopWithoutUsableTimestampSendsNoCredentials)
{
    for (const QByteArray &greeting :
        { QByteArray("S: +OK ready"), QByteArray("S: +OK ready <no-at-sign>"),
            QByteArray("S: +OK ready <a@b c>"), QByteArray("S: +OK <@> unfinished <x@y") }) {
        Pop3Library fresh;
        FakePop3Server server(
            QList<QByteArray> { greeting } + NoCapa + QList<QByteArray> { "C: QUIT", "S: +OK" });
        ASSERT_TRUE(server.begin());
        const int handle = fresh.NMailPop3Connect(server.address());
        ASSERT_GE(handle, 0);
        EXPECT_EQ(
            fresh.NMailPop3Authenticate(handle, "bob", "pw", -1), int(Pop3Error::ApopUnavailable))
            << greeting.toStdString();
        EXPECT_TRUE(failureText(fresh).contains(QStringLiteral("APOP")));
        fresh.NMailPop3Close(handle);
        expectScriptPlayed(server);
    }
}

TEST_F(Pop3LibraryTest, ConnectFailuresReturnMinusOneWithAText)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    EXPECT_EQ(library.NMailPop3Connect(QStringLiteral("127.0.0.1:%1").arg(port)), -1);
    EXPECT_TRUE(failureText(library).contains(QStringLiteral("拒否")))
        << failureText(library).toStdString();

    EXPECT_EQ(library.NMailPop3Connect("127.0.0.1:notaport"), -1);
    EXPECT_FALSE(failureText(library).isEmpty());
    EXPECT_EQ(library.NMailPop3Connect(""), -1);

    FakePop3Server refusing({ "S: -ERR go away" });
    ASSERT_TRUE(refusing.begin());
    // The bracketed form also selects the port.
    EXPECT_EQ(library.NMailPop3Connect(QStringLiteral("[127.0.0.1]:%1").arg(refusing.port())), -1);
    EXPECT_TRUE(failureText(library).contains("go away"));

    FakePop3Server silent({ "STALL" });
    ASSERT_TRUE(silent.begin());
    library.setTimeouts(10s, 200ms);
    EXPECT_EQ(library.NMailPop3Connect(silent.address()), -1);
    EXPECT_TRUE(failureText(library).contains(QStringLiteral("時間切れ")));
}

TEST_F(Pop3LibraryTest, StallTimesOutAndTheHandleThenFailsAtOnce)
{
    library.setTimeouts(10s, 300ms);
    FakePop3Server server(QList<QByteArray> { "S: +OK" } + NoCapa
        + QList<QByteArray> { "C: USER bob", "S: +OK", "C: PASS pw", "S: +OK", "C: STAT",
            "S: +OK 3 30", "C: LIST 1", "STALL" });
    const int handle = connectTo(server);
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "bob", "pw", 0), 3);
    EXPECT_EQ(library.NMailPop3GetMailSize(handle, 1), -1);
    EXPECT_EQ(library.lastFailureCode(), int(Pop3Error::TimedOut));

    QElapsedTimer timer;
    timer.start();
    Buffers b;
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(
            library.NMailPop3GetMailStatus(handle, n, b.subject, b.from, b.date, b.messageId, 0),
            int(Pop3Error::TimedOut));
        EXPECT_EQ(library.NMailPop3GetMailSize(handle, n), -1);
    }
    EXPECT_LT(timer.elapsed(), 250);
    library.NMailPop3Close(handle);
}

TEST_F(Pop3LibraryTest, EarlyCloseMidMessageIsAConnectionLoss)
{
    FakePop3Server server(QList<QByteArray> { "S: +OK" } + NoCapa
        + QList<QByteArray> { "C: USER bob", "S: +OK", "C: PASS pw", "S: +OK", "C: STAT",
            "S: +OK 2 30", "C: LIST 1", "S: +OK 1 500", "C: RETR 1", "S: +OK",
            "R:Subject: cut\r\nhalf a li", "CLOSE" });
    const int handle = connectTo(server);
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "bob", "pw", 0), 2);
    Buffers b;
    std::vector<char> body(501, 'x');
    EXPECT_EQ(
        library.NMailPop3GetMail(handle, 1, b.subject, b.from, b.date, b.messageId, body, 0, 0),
        int(Pop3Error::ConnectionLost));
    EXPECT_EQ(library.NMailPop3GetMailSize(handle, 2), -1);
    EXPECT_EQ(library.lastFailureCode(), int(Pop3Error::ConnectionLost));
    library.NMailPop3Close(handle);
    // The handle is gone after close; a second close does nothing.
    EXPECT_EQ(library.NMailPop3GetMailSize(handle, 1), -1);
    EXPECT_EQ(library.lastFailureCode(), int(Pop3Error::BadHandle));
    library.NMailPop3Close(handle);
    expectScriptPlayed(server);
}

TEST_F(Pop3LibraryTest, AbortCutsABlockedReadAtOnceWithoutQuitAndRefusesConnectsUntilAllowed)
{
    // Only an abort can end the read within the test: the reply time is far beyond it.
    library.setTimeouts(30s, 30s);
    const QList<QByteArray> login = QList<QByteArray> { "S: +OK" } + NoCapa
        + QList<QByteArray> { "C: USER bob", "S: +OK", "C: PASS pw", "S: +OK", "C: STAT" };
    // HOLD: the server says no more and reports any byte sent after it, QUIT included.
    FakePop3Server stopped(login
        + QList<QByteArray> { "S: +OK 2 2000", "C: LIST 1", "S: +OK 1 1000", "C: RETR 1", "S: +OK",
            "R:Subject: big\r\n\r\nhalf a li", "HOLD" });
    FakePop3Server next(login + QList<QByteArray> { "S: +OK 0 0", "C: QUIT", "S: +OK" });
    ASSERT_TRUE(stopped.begin());
    ASSERT_TRUE(next.begin());

    // Every call on the library's thread, as in a check; only the abort comes from outside.
    std::thread libraryThread([&] {
        const int handle = library.NMailPop3Connect(stopped.address());
        ASSERT_EQ(library.NMailPop3Authenticate(handle, "bob", "pw", 0), 2);
        QElapsedTimer timer;
        timer.start();
        Buffers b;
        std::vector<char> body(1001);
        EXPECT_EQ(
            library.NMailPop3GetMail(handle, 1, b.subject, b.from, b.date, b.messageId, body, 0, 0),
            int(Pop3Error::Aborted));
        EXPECT_LT(timer.elapsed(), 5000);
        // No close comes for the cut handle; its calls fail at once...
        EXPECT_EQ(library.NMailPop3GetMailSize(handle, 2), -1);
        EXPECT_EQ(library.lastFailureCode(), int(Pop3Error::Aborted));
        // A connect is refused before any byte, until the connections are allowed again...
        EXPECT_EQ(library.NMailPop3Connect(next.address()), -1);
        EXPECT_EQ(library.lastFailureCode(), int(Pop3Error::Aborted));
        library.allowConnections();
        // ...and the next connect then works as ever and releases the cut handle.
        const int again = library.NMailPop3Connect(next.address());
        EXPECT_GE(again, 0) << failureText(library).toStdString();
        EXPECT_EQ(library.NMailPop3GetMailSize(handle, 2), -1);
        EXPECT_EQ(library.lastFailureCode(), int(Pop3Error::BadHandle));
        EXPECT_EQ(library.NMailPop3Authenticate(again, "bob", "pw", 0), 0);
        library.NMailPop3Close(again);
    });
    // The server has sent half the message and says no more: whether the library's thread is
    // still on its way to the read or already waits in it, only the abort can end the call.
    EXPECT_TRUE(stopped.waitForEnd());
    library.abortConnections();
    libraryThread.join();
    ASSERT_TRUE(stopped.wait(10000)) << "the cut connection is closed";
    EXPECT_TRUE(stopped.problems().isEmpty()) << stopped.problems().join('\n').toStdString();
    expectScriptPlayed(next);
}

TEST_F(Pop3LibraryTest, TheMailboxSizeAndTheOctetsReadAfterLogin)
{
    const QByteArray first = "Subject: one\r\n\r\n..dot\r\n.\r\n";
    const QByteArray second = QByteArray(70000, 'x') + "\r\n.\r\n";
    const QList<QByteArray> fetch
        = { "S: +OK 1 11", "R:+OK\r\n" + first, "S: +OK 2 70002", "R:+OK\r\n" + second };
    FakePop3Server server(QList<QByteArray> { "S: +OK" } + NoCapa
        + QList<QByteArray> { "C: USER bob", "S: +OK", "C: PASS pw", "S: +OK", "C: STAT",
            "S: +OK 2 70013", "C: LIST 1", fetch[0], "C: RETR 1", fetch[1], "C: LIST 2", fetch[2],
            "C: RETR 2", fetch[3], "C: QUIT", "S: +OK" });
    const int handle = connectTo(server);
    EXPECT_EQ(library.mailboxOctets(handle), -1) << "not before the login";
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "bob", "pw", 0), 2);
    EXPECT_EQ(library.mailboxOctets(handle), 70013);
    EXPECT_EQ(library.mailboxOctets(handle + 1), -1);

    // What the fetch reads, every byte after STAT's reply, the lines around the data too.
    const qint64 before = library.receivedOctets();
    qint64 sent = 0;
    for (const QByteArray &row : fetch)
        sent += row.startsWith("S: ") ? row.size() - 1 : row.size() - 2; // with CRLF, or as it is
    Buffers b;
    std::vector<char> body(70003);
    for (int n = 1; n <= 2; ++n) {
        ASSERT_EQ(library.NMailPop3GetMailSize(handle, n), n == 1 ? 11 : 70002);
        ASSERT_EQ(
            library.NMailPop3GetMail(handle, n, b.subject, b.from, b.date, b.messageId, body, 0, 0),
            0);
    }
    EXPECT_EQ(library.receivedOctets() - before, sent);
    library.NMailPop3Close(handle);
    expectScriptPlayed(server);
}

TEST_F(Pop3LibraryTest, OverlongReplyLineIsAProtocolErrorButLongMessageLinesPass)
{
    const QByteArray longLine(100000, 'x');
    FakePop3Server server(QList<QByteArray> { "S: +OK" } + NoCapa
        + QList<QByteArray> { "C: USER bob", "S: +OK", "C: PASS pw", "S: +OK", "C: STAT",
            "S: +OK 2 30", "C: LIST 1", "S: +OK 1 100002", "C: RETR 1", "S: +OK",
            "R:" + longLine + "\r\n.\r\n", "C: LIST 2", "S: +OK 2 " + QByteArray(9000, '7'),
            "STALL" });
    const int handle = connectTo(server);
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "bob", "pw", 0), 2);
    EXPECT_EQ(library.NMailPop3GetMailSize(handle, 1), 100002);
    Buffers b;
    std::vector<char> body(100003);
    ASSERT_EQ(
        library.NMailPop3GetMail(handle, 1, b.subject, b.from, b.date, b.messageId, body, 0, 0), 0);
    EXPECT_EQ(QByteArray(body.data()), longLine + "\r\n");
    EXPECT_EQ(library.NMailPop3GetMailSize(handle, 2), -1);
    EXPECT_EQ(library.lastFailureCode(), int(Pop3Error::ProtocolError));
    library.NMailPop3Close(handle);
}

TEST_F(Pop3LibraryTest, CallsOnUnknownHandlesFailCleanly)
{
    Buffers b;
    std::array<char, 4> body {};
    EXPECT_EQ(library.NMailPop3Authenticate(42, "a", "b", 0), int(Pop3Error::BadHandle));
    EXPECT_EQ(library.NMailPop3GetMailStatus(42, 1, b.subject, b.from, b.date, b.messageId, 0),
        int(Pop3Error::BadHandle));
    EXPECT_EQ(library.NMailPop3GetMail(42, 1, b.subject, b.from, b.date, b.messageId, body, 0, 0),
        int(Pop3Error::BadHandle));
    EXPECT_EQ(library.NMailPop3GetMailSize(42, 1), -1);
    library.NMailPop3Close(42);
    // The failure text is cut to the size passed in, on a character boundary.
    std::array<char, 8> small {};
    int size = 7;
    const int written = library.NMailGetMessage(0, small, &size);
    EXPECT_LE(written, 6);
    EXPECT_EQ(written % 3, 0); // Japanese characters are three bytes each in UTF-8
    EXPECT_EQ(small[size_t(written)], '\0');
}

class Pop3TlsTest : public Pop3LibraryTest {
protected:
    static void SetUpTestSuite()
    {
        s_good = new TestCertificate(makeTestCertificate("127.0.0.1", "IP:127.0.0.1"));
        s_otherName = new TestCertificate(makeTestCertificate("mail.example", "DNS:mail.example"));
    }
    static void TearDownTestSuite()
    {
        delete s_good;
        delete s_otherName;
    }
    static inline TestCertificate *s_good = nullptr;
    static inline TestCertificate *s_otherName = nullptr;

    const QList<QByteArray> stlsOffer = { "S: +OK ready", "C: CAPA", "S: +OK",
        "R:STLS\r\nUSER\r\n.\r\n", "C: STLS", "S: +OK begin TLS", "TLS" };
};

TEST_F(Pop3TlsTest, StlsUpgradesBeforeCredentialsAndAsksCapaAgain)
{
    ASSERT_TRUE(s_good->error.isEmpty()) << s_good->error.toStdString();
    library.addCaCertificates(s_good->certificate.toPem());
    FakePop3Server server(stlsOffer
            + QList<QByteArray> { "C: CAPA", "S: +OK", "R:USER\r\n.\r\n", "C: USER bob", "S: +OK",
                "C: PASS pw", "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK" },
        { s_good->certificate, s_good->key });
    const int handle = connectTo(server);
    EXPECT_EQ(library.NMailPop3Authenticate(handle, "bob", "pw", 0), 0)
        << failureText(library).toStdString();
    library.NMailPop3Close(handle);
    expectScriptPlayed(server);
}

TEST_F(Pop3TlsTest, UnverifiedCertificatesNameTheReasonAndNothingIsSent)
{
    ASSERT_TRUE(s_otherName->error.isEmpty()) << s_otherName->error.toStdString();
    struct Case {
        bool trust;
        QString reason;
    };
    for (const Case &c : { Case { false, QStringLiteral("信頼されていません") },
             Case { true, QStringLiteral("一致しません") } }) {
        Pop3Library fresh;
        fresh.setTimeouts(10s, 10s);
        if (c.trust)
            fresh.addCaCertificates(s_otherName->certificate.toPem());
        FakePop3Server server(stlsOffer, { s_otherName->certificate, s_otherName->key });
        ASSERT_TRUE(server.begin());
        // The handshake is part of making the connection: it fails, and nothing follows.
        EXPECT_EQ(fresh.NMailPop3Connect(server.address()), -1);
        const QString text = failureText(fresh);
        EXPECT_TRUE(text.contains(c.reason)) << text.toStdString();
        EXPECT_TRUE(server.waitForEnd());
    }
}

TEST_F(Pop3TlsTest, RefusedStlsNeverFallsBackToPlainText)
{
    FakePop3Server server({ "S: +OK ready", "C: CAPA", "S: +OK", "R:STLS\r\n.\r\n", "C: STLS",
        "S: -ERR not now", "END" });
    EXPECT_EQ(connectTo(server), -1);
    EXPECT_TRUE(failureText(library).contains("not now"));
    expectScriptPlayed(server);
}

TEST_F(Pop3TlsTest, ImplicitTlsFromTheFirstByte)
{
    library.addCaCertificates(s_good->certificate.toPem());
    FakePop3Server server(
        { "S: +OK secure", "C: CAPA", "S: +OK", "R:USER\r\nSTLS\r\n.\r\n", "C: QUIT", "S: +OK" },
        { s_good->certificate, s_good->key, true });
    ASSERT_TRUE(server.begin());
    library.setImplicitTlsPort(server.port());
    const int handle = library.NMailPop3Connect(server.address());
    EXPECT_GE(handle, 0) << failureText(library).toStdString();
    library.NMailPop3Close(handle);
    expectScriptPlayed(server);
}

} // namespace
