// SPDX-License-Identifier: GPL-3.0-or-later
// Pop3Library against a real Dovecot.
#include "fakes/dovecot.h"

#include "failuretext.h"
#include "mail/pop3library.h"

#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace std::chrono_literals;

namespace {

QByteArray testMessage(int n)
{
    QByteArray body;
    for (int line = 0; line < 40 * n; ++line)
        body += "line " + QByteArray::number(line) + (line % 7 == 0 ? "\r\n.dotted\r\n" : "\r\n");
    return "From: =?UTF-8?B?6Iqx5a2Q?= <hanako@example.jp>\r\n"
           "Subject: message "
        + QByteArray::number(n)
        + "\r\n"
          "Date: Tue, 3 Mar 2026 09:00:00 +0900\r\n"
          "Message-ID: <"
        + QByteArray::number(n) + "@example.jp>\r\n\r\n" + body;
}

// One plain and one TLS instance for the whole run: Dovecot's first connection is slow.
class DovecotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_plain = new DovecotServer(DovecotServer::Security::Plain);
        s_plainStarted = s_plain->start();
        s_tls = new DovecotServer(DovecotServer::Security::Tls);
        s_tlsStarted = s_tls->start();
    }
    static void TearDownTestSuite()
    {
        delete s_plain;
        delete s_tls;
        s_plain = s_tls = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_plainStarted) << s_plain->errorText().toStdString();
        ASSERT_TRUE(s_tlsStarted) << s_tls->errorText().toStdString();
        library.setTimeouts(20s, 20s);
    }
    static QString address(quint16 port) { return QStringLiteral("127.0.0.1:%1").arg(port); }

    static inline DovecotServer *s_plain = nullptr;
    static inline DovecotServer *s_tls = nullptr;
    static inline bool s_plainStarted = false;
    static inline bool s_tlsStarted = false;
    Pop3Library library;
};

TEST_F(DovecotTest, ThreeMessagesComeBackExactlyWithOneRetrEach)
{
    ASSERT_TRUE(s_plain->addUser("three", "pw3"));
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(s_plain->addMessage("three", testMessage(n)));
    const qsizetype logouts = s_plain->retrCounts().size();

    const int handle = library.NMailPop3Connect(address(s_plain->port()));
    ASSERT_GE(handle, 0) << failureText(library).toStdString();
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "three", "pw3", 0), 3)
        << failureText(library).toStdString();
    for (int n = 1; n <= 3; ++n) {
        std::array<char, NMailApi::BufferSize> subject {}, from {}, date {}, id {};
        ASSERT_EQ(library.NMailPop3GetMailStatus(handle, n, subject, from, date, id, 0), 0);
        EXPECT_EQ(QByteArray(subject.data()), "message " + QByteArray::number(n));
        EXPECT_STREQ(from.data(), "花子 <hanako@example.jp>");
        const int size = library.NMailPop3GetMailSize(handle, n);
        ASSERT_EQ(size, testMessage(n).size());
        std::vector<char> body(size_t(size) + 1, ' ');
        ASSERT_EQ(library.NMailPop3GetMail(handle, n, subject, from, date, id, body, 0, 0), 0);
        EXPECT_EQ(QByteArray(body.data(), size), testMessage(n));
        EXPECT_EQ(body.back(), '\0');
    }
    library.NMailPop3Close(handle);

    // The logout line is written just after QUIT; wait for it with a bound.
    ASSERT_TRUE(QTest::qWaitFor([&] { return s_plain->retrCounts().size() > logouts; }, 10000))
        << s_plain->logText().toStdString();
    EXPECT_EQ(s_plain->retrCounts().last(), 3);
}

TEST_F(DovecotTest, ApopLoginWrongPasswordAndEmptyMailbox)
{
    ASSERT_TRUE(s_plain->addUser("empty", "letmein"));
    int handle = library.NMailPop3Connect(address(s_plain->port()));
    ASSERT_GE(handle, 0);
    EXPECT_EQ(library.NMailPop3Authenticate(handle, "empty", "letmein", -1), 0)
        << failureText(library).toStdString();
    library.NMailPop3Close(handle);

    handle = library.NMailPop3Connect(address(s_plain->port()));
    ASSERT_GE(handle, 0);
    EXPECT_EQ(
        library.NMailPop3Authenticate(handle, "empty", "wrong", 0), int(Pop3Error::LoginRefused));
    EXPECT_TRUE(failureText(library).contains("[AUTH]")) << failureText(library).toStdString();
    library.NMailPop3Close(handle);

    handle = library.NMailPop3Connect(address(s_plain->port()));
    ASSERT_GE(handle, 0);
    EXPECT_EQ(
        library.NMailPop3Authenticate(handle, "empty", "wrong", -1), int(Pop3Error::LoginRefused));
    library.NMailPop3Close(handle);
}

TEST_F(DovecotTest, StlsAndImplicitTlsWithTheServersCertificate)
{
    ASSERT_TRUE(s_tls->addUser("secure", "pw"));
    ASSERT_TRUE(s_tls->addMessage("secure", testMessage(1)));

    // Not trusted: the connection fails at STLS, before any credential is sent.
    EXPECT_EQ(library.NMailPop3Connect(address(s_tls->port())), -1);
    EXPECT_TRUE(failureText(library).contains(QStringLiteral("証明書")));

    library.addCaCertificates(s_tls->certificate().toPem());
    int handle = library.NMailPop3Connect(address(s_tls->port()));
    ASSERT_GE(handle, 0);
    EXPECT_EQ(library.NMailPop3Authenticate(handle, "secure", "pw", 0), 1)
        << failureText(library).toStdString();
    library.NMailPop3Close(handle);

    library.setImplicitTlsPort(s_tls->tlsPort());
    handle = library.NMailPop3Connect(address(s_tls->tlsPort()));
    ASSERT_GE(handle, 0) << failureText(library).toStdString();
    EXPECT_EQ(library.NMailPop3Authenticate(handle, "secure", "pw", -1), 1)
        << failureText(library).toStdString();
    const int size = library.NMailPop3GetMailSize(handle, 1);
    ASSERT_EQ(size, testMessage(1).size());
    std::array<char, 64> subject {}, from {}, date {}, id {};
    std::vector<char> body(size_t(size) + 1);
    ASSERT_EQ(library.NMailPop3GetMail(handle, 1, subject, from, date, id, body, 0, 0), 0);
    EXPECT_EQ(QByteArray(body.data()), testMessage(1));
    library.NMailPop3Close(handle);
}

} // namespace
