// SPDX-License-Identifier: GPL-3.0-or-later
// The protocol code against canned server bytes: exact control over where the stream splits,
// and what the client sent.
#include "cannedtransport.h"
#include "failuretext.h"

#include "mail/pop3headers.h"
#include "mail/pop3library.h"
#include "mail/pop3session.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

const QByteArray Login = "+OK ready\r\n"
                         "-ERR no CAPA\r\n"
                         "+OK\r\n"
                         "+OK\r\n"
                         "+OK 1 100\r\n";

struct Fetch {
    int status = 0;
    int size = 0;
    int mail = 0;
    QByteArray body;
    QByteArray subject;
    QByteArray sent;
};

// Logs in and fetches message 1 with the server stream cut into chunks.
Fetch fetchOne(const QList<QByteArray> &chunks, size_t bodySize = 0)
{
    Pop3Library library;
    auto transport = std::make_unique<CannedTransport>(chunks);
    const auto sent = transport->sent();
    Fetch f;
    const int handle = library.attachTransport(std::move(transport), "test");
    if (handle < 0 || library.NMailPop3Authenticate(handle, "u", "p", 0) != 1)
        return f;
    std::array<char, 64> subject {}, from {}, date {}, id {};
    f.status = library.NMailPop3GetMailStatus(handle, 1, subject, from, date, id, 0);
    f.size = library.NMailPop3GetMailSize(handle, 1);
    std::vector<char> body(bodySize ? bodySize : size_t(std::max(f.size, 0)) + 1, '#');
    f.mail = library.NMailPop3GetMail(handle, 1, subject, from, date, id, body, 0, 0);
    f.body = QByteArray(body.data());
    f.subject = QByteArray(subject.data());
    library.NMailPop3Close(handle);
    f.sent = *sent;
    return f;
}

TEST(Pop3Stream, TerminatorAndStuffingSplitAtEveryOffset)
{
    const QByteArray message = "Subject: split\r\n\r\n.dot\r\nline\r\n.\r\n";
    const QByteArray wire = "Subject: split\r\n\r\n..dot\r\nline\r\n..\r\n.\r\n";
    const QByteArray stream = Login + "+OK 1 " + QByteArray::number(message.size()) + "\r\n+OK\r\n"
        + wire + "+OK bye\r\n";
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        const Fetch f = fetchOne({ stream.left(cut), stream.mid(cut) });
        ASSERT_EQ(f.mail, 0) << "cut at " << cut;
        EXPECT_EQ(f.body, message) << "cut at " << cut;
        EXPECT_EQ(f.subject, "split");
    }
    // And every byte in a read of its own.
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes << QByteArray(1, c);
    const Fetch f = fetchOne(bytes);
    EXPECT_EQ(f.body, message);
    EXPECT_EQ(f.sent.count("RETR 1"), 1);
    EXPECT_TRUE(f.sent.endsWith("QUIT\r\n"));
}

TEST(Pop3Stream, BareLineFeedsNulAndEightBitBytesPassThrough)
{
    static const char messageBytes[] = "Subject: \xe6\x97\xa5\xe6\x9c\xac\n\nA\0B\xff\n.x\n";
    static const char wireBytes[] = "Subject: \xe6\x97\xa5\xe6\x9c\xac\n\nA\0B\xff\n..x\n.\n";
    const QByteArray message(messageBytes, sizeof messageBytes - 1);
    const QByteArray wire(wireBytes, sizeof wireBytes - 1);
    const QByteArray size = QByteArray::number(message.size());
    const Fetch f = fetchOne(
        { "+OK ready\n-ERR\n+OK\n+OK\n+OK 1 " + size + "\n+OK 1 " + size + "\n+OK\n" + wire });
    EXPECT_EQ(f.mail, 0);
    EXPECT_EQ(f.subject, "日本");
    // The body keeps its NUL; the caller's view ends there.
    EXPECT_EQ(f.body, "Subject: 日本\n\nA");
}

TEST(Pop3Stream, MessageLargerThanListedIsCutToTheBuffer)
{
    const Fetch f = fetchOne({ Login + "+OK 1 4\r\n+OK\r\nabcdefgh\r\n.\r\n" });
    EXPECT_EQ(f.size, 4);
    EXPECT_EQ(f.body, "abcd");
    // A body buffer of size 0 gets nothing; one of size 1 just the NUL.
    EXPECT_EQ(fetchOne({ Login + "+OK 1 4\r\n+OK\r\nabcdefgh\r\n.\r\n" }, 1).body, "");
}

TEST(Pop3Stream, SeveralRepliesInOneReadAndTerminatorAfterUnendedLine)
{
    // All replies in one chunk; then a message whose last line has no line end: the "." is
    // part of that line, the reply never ends, and the closed connection is reported.
    const Fetch f = fetchOne({ Login + "+OK 1 3\r\n+OK\r\nabc.\r\n" });
    EXPECT_EQ(f.status, int(Pop3Error::ConnectionLost));
    EXPECT_EQ(f.size, -1); // the connection is gone, even though LIST was answered
    EXPECT_EQ(f.mail, int(Pop3Error::ConnectionLost));
    EXPECT_EQ(f.body, "") << "a failed call leaves the body buffer an empty text";
}

TEST(Pop3Stream, SizesOfTwoGibibytesAndMoreAreRefused)
{
    for (const QByteArray &size : { QByteArray("2147483648"), QByteArray("99999999999999"),
             QByteArray("999999999999999999999") }) {
        const Fetch f = fetchOne({ Login + "+OK 1 " + size + "\r\n+OK\r\n" });
        EXPECT_EQ(f.size, -1) << size.toStdString();
        EXPECT_LT(f.status, 0);
        EXPECT_LT(f.mail, 0);
        EXPECT_FALSE(f.sent.contains("RETR")) << size.toStdString();
    }
    EXPECT_EQ(fetchOne({ Login + "+OK 1 2147483647\r\n+OK\r\nx\r\n.\r\n" }, 8).size, 2147483647);
}

TEST(Pop3Stream, DataPipelinedAheadOfTheTlsHandshakeIsDiscarded)
{
    Pop3Library library;
    auto transport
        = std::make_unique<CannedTransport>(QList<QByteArray> { "+OK ready\r\n+OK\r\nSTLS\r\n.\r\n",
            // The reply to STLS, with a forged CAPA answer and login replies behind it.
            "+OK go ahead\r\n+OK\r\nUSER\r\n.\r\n+OK\r\n+OK\r\n+OK 9 9\r\n",
            CannedTransport::TlsMarker, "+OK\r\nUSER\r\n.\r\n+OK\r\n+OK\r\n+OK 2 20\r\n" });
    const auto sent = transport->sent();
    const int handle = library.attachTransport(std::move(transport), "test");
    EXPECT_EQ(library.NMailPop3Authenticate(handle, "u", "p", 0), 2);
    EXPECT_EQ(*sent, "CAPA\r\nSTLS\r\nCAPA\r\nUSER u\r\nPASS p\r\nSTAT\r\n");
}

TEST(Pop3Stream, LineBreaksInCredentialsAreRefused)
{
    Pop3Library library;
    auto transport = std::make_unique<CannedTransport>(QList<QByteArray> { "+OK\r\n-ERR\r\n" });
    const auto sent = transport->sent();
    const int handle = library.attachTransport(std::move(transport), "test");
    EXPECT_EQ(library.NMailPop3Authenticate(handle, "u", "p\r\nDELE 1", 0),
        int(Pop3Error::InvalidArgument));
    // Only the connection's CAPA went out.
    EXPECT_EQ(*sent, "CAPA\r\n");
}

// The next messages' LIST and RETR go out with this one's only where the server offers
// PIPELINING, a window of them in one write; a message sent ahead but not asked for next is read
// past; the head buffer kept from one message to the next holds only the current message's bytes.
TEST(Pop3Stream, RequestsGoAheadOnlyWithPipeliningAndEachMessageStaysItsOwn)
{
    QByteArray big = "Subject: big\r\nX-Long: " + QByteArray(20000, 'h') + "\r\n\r\n";
    while (big.size() < 2 * 1024 * 1024)
        big += ".dotted line " + QByteArray::number(big.size()) + "\r\n";
    const QList<QByteArray> messages
        = { big, "Subject: two\r\n\r\nsecond\r\n", "Subject: three\r\n\r\nthird\r\n" };
    // Each reply in a read of its own, so that what went out before each wait shows.
    QList<QByteArray> replies;
    for (int n = 1; n <= 3; ++n) {
        QByteArray stuffed = messages[n - 1];
        stuffed.replace("\r\n.", "\r\n..");
        replies << "+OK " + QByteArray::number(n) + ' ' + QByteArray::number(messages[n - 1].size())
                + "\r\n"
                << "+OK\r\n" + stuffed + ".\r\n";
    }
    replies << "+OK bye\r\n";
    const auto login = [](bool pipelining) {
        return QList<QByteArray> { "+OK ready\r\n",
            pipelining ? "+OK\r\nPIPELINING\r\n.\r\n" : "-ERR no CAPA\r\n", "+OK\r\n", "+OK\r\n",
            "+OK 3 9\r\n" };
    };
    std::array<char, 64> subject {}, from {}, date {}, id {};
    std::vector<char> body(3 * 1024 * 1024, ' ');

    for (const bool pipelining : { true, false }) {
        // Without PIPELINING each command waits for its reply; the server's replies are the same.
        Pop3Library library;
        auto transport = std::make_unique<CannedTransport>(login(pipelining) + replies);
        const auto batches = transport->batches();
        const int handle = library.attachTransport(std::move(transport), "test");
        ASSERT_EQ(library.NMailPop3Authenticate(handle, "u", "p", 0), 3);
        const qsizetype loginBatches = batches->size();
        ASSERT_EQ(library.NMailPop3GetMailStatus(handle, 1, subject, from, date, id, 0), 0);
        ASSERT_EQ(library.NMailPop3GetMail(handle, 1, subject, from, date, id, body, 0, 0), 0);
        EXPECT_EQ(QByteArray(body.data()), big);
        // Message 2: status only, so the rest of it is read past before message 3.
        ASSERT_EQ(library.NMailPop3GetMailStatus(handle, 2, subject, from, date, id, 0), 0);
        EXPECT_STREQ(subject.data(), "two");
        ASSERT_EQ(library.NMailPop3GetMailStatus(handle, 3, subject, from, date, id, 0), 0);
        EXPECT_STREQ(subject.data(), "three");
        ASSERT_EQ(library.NMailPop3GetMail(handle, 3, subject, from, date, id, body, 0, 0), 0);
        EXPECT_EQ(QByteArray(body.data()), messages[2]);
        library.NMailPop3Close(handle);

        const QList<QByteArray> sent = batches->mid(loginBatches);
        if (pipelining)
            EXPECT_EQ(sent,
                QList<QByteArray>({ "LIST 1\r\nRETR 1\r\nLIST 2\r\nRETR 2\r\nLIST 3\r\nRETR 3\r\n",
                    "QUIT\r\n" }));
        else
            EXPECT_EQ(sent,
                QList<QByteArray>({ "LIST 1\r\n", "RETR 1\r\n", "LIST 2\r\n", "RETR 2\r\n",
                    "LIST 3\r\n", "RETR 3\r\n", "QUIT\r\n" }));
    }

    // Sent ahead and not asked for: message 2's replies are read past on the way to message 3.
    Pop3Library library;
    const int handle
        = library.attachTransport(std::make_unique<CannedTransport>(login(true) + replies), "test");
    ASSERT_EQ(library.NMailPop3Authenticate(handle, "u", "p", 0), 3);
    ASSERT_EQ(library.NMailPop3GetMailStatus(handle, 1, subject, from, date, id, 0), 0);
    ASSERT_EQ(library.NMailPop3GetMail(handle, 3, subject, from, date, id, body, 0, 0), 0);
    EXPECT_STREQ(subject.data(), "three");
    EXPECT_EQ(QByteArray(body.data()), messages[2]);
    EXPECT_EQ(library.NMailPop3Close(handle), 0);

    // Twenty messages in order, asked for as a check does (status, size, text): the first write
    // asks for 1 to 17 (16 ahead), the next, when 17 is reached, for the rest. A message the
    // server refuses inside the window (RETR 2, LIST 5) fails alone, and nothing is asked twice.
    QList<QByteArray> twenty { "+OK ready\r\n", "+OK\r\nPIPELINING\r\n.\r\n", "+OK\r\n", "+OK\r\n",
        "+OK 20 200\r\n" };
    QByteArray firstWindow, secondWindow;
    for (int n = 1; n <= 20; ++n) {
        const QByteArray number = QByteArray::number(n);
        const QByteArray list = n == 5 ? "-ERR no list\r\n" : "+OK " + number + " 9\r\n";
        twenty << list + (n == 2 ? "-ERR no retr\r\n" : "+OK\r\nmail " + number + "\r\n.\r\n");
        (n <= 17 ? firstWindow : secondWindow) += "LIST " + number + "\r\nRETR " + number + "\r\n";
    }
    auto transport = std::make_unique<CannedTransport>(twenty << "+OK bye\r\n");
    const auto batches = transport->batches();
    Pop3Library windowed;
    const int twentyHandle = windowed.attachTransport(std::move(transport), "test");
    ASSERT_EQ(windowed.NMailPop3Authenticate(twentyHandle, "u", "p", 0), 20);
    const qsizetype loginBatches = batches->size();
    for (int n = 1; n <= 20; ++n) {
        const int status
            = windowed.NMailPop3GetMailStatus(twentyHandle, n, subject, from, date, id, 0);
        const int size = windowed.NMailPop3GetMailSize(twentyHandle, n);
        const int mail
            = windowed.NMailPop3GetMail(twentyHandle, n, subject, from, date, id, body, 0, 0);
        if (n == 2 || n == 5) {
            EXPECT_EQ(status, int(Pop3Error::ServerError)) << n;
            EXPECT_EQ(mail, int(Pop3Error::ServerError)) << n;
            EXPECT_EQ(size, n == 2 ? 9 : -1);
            EXPECT_TRUE(failureText(windowed).contains(n == 2 ? u"no retr" : u"no list"))
                << qPrintable(failureText(windowed));
            continue;
        }
        EXPECT_EQ(status, 0) << n;
        EXPECT_EQ(size, 9) << n;
        ASSERT_EQ(mail, 0) << n;
        EXPECT_EQ(QByteArray(body.data()), "mail " + QByteArray::number(n) + "\r\n");
    }
    windowed.NMailPop3Close(twentyHandle);
    EXPECT_EQ(
        batches->mid(loginBatches), QList<QByteArray>({ firstWindow, secondWindow, "QUIT\r\n" }));
}

TEST(Pop3Session, TimestampsAndDigest)
{
    EXPECT_EQ(Pop3Session::apopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"),
        "c4c9334bac560ecc979e58001b3e22fb");
    EXPECT_EQ(Pop3Session::findTimestamp("POP3 ready <1896.697170952@dbc.mtview.ca.us> x"),
        "<1896.697170952@dbc.mtview.ca.us>");
    for (const char *bad : { "no stamp", "<>", "<abc>", "<@host>", "<user@>", "<a@b@c>", "<a b@c>",
             "<a\x01@b>", "<a<b@c>", "<unclosed@x" })
        EXPECT_TRUE(Pop3Session::findTimestamp(bad).isEmpty()) << bad;
    EXPECT_TRUE(Pop3Session::findTimestamp("<" + QByteArray(300, 'a') + "@b>").isEmpty());
}

TEST(MailHeaders, DecodesEncodedWordsAndUnfolds)
{
    EXPECT_EQ(decodeHeaderValue("=?ISO-2022-JP?B?GyRCJEskWxsoQg==?="), QStringLiteral("にほ"));
    EXPECT_EQ(decodeHeaderValue("=?utf-8?q?caf=C3=A9_au_lait?="), QStringLiteral("café au lait"));
    // White space between adjacent encoded words goes; around plain text it stays.
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?B?5pel?= \t =?UTF-8?B?5pys?= text"),
        QStringLiteral("日本 text"));
    EXPECT_EQ(decodeHeaderValue("a =?UTF-8?Q?b?= c"), QStringLiteral("a b c"));
    // Malformed words are left as they are.
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?X?abc?="), QStringLiteral("=?UTF-8?X?abc?="));
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?B?abc"), QStringLiteral("=?UTF-8?B?abc"));
    EXPECT_EQ(decodeHeaderValue("=?unknown-charset?Q?abc?="), QStringLiteral("abc"));
    EXPECT_EQ(decodeHeaderValue("\xff\xfe"), QStringLiteral("\u00ff\u00fe"));

    const MailHeaderFields fields = parseMailHeaders("subject: first\r\n"
                                                     " part\r\n"
                                                     "From: a@b\r\n"
                                                     "Subject: second\r\n"
                                                     "X-Other: y\r\n"
                                                     "\r\n"
                                                     "Date: in the body\r\n");
    EXPECT_EQ(fields.subject, QStringLiteral("first part"));
    EXPECT_EQ(fields.from, QStringLiteral("a@b"));
    EXPECT_TRUE(fields.date.isEmpty());
}

TEST(MailHeaders, CutsNeverSplitACharacter)
{
    const QByteArray text = QStringLiteral("あいう").toUtf8(); // 3 bytes each
    for (size_t size = 1; size <= 11; ++size) {
        std::vector<char> buffer(size, '#');
        const qsizetype written = writeCutUtf8(buffer, text);
        EXPECT_EQ(written, qsizetype(std::min<size_t>((size - 1) / 3 * 3, 9)));
        EXPECT_EQ(buffer[size_t(written)], '\0');
    }
    std::vector<char> none;
    EXPECT_EQ(writeCutUtf8(none, text), 0);
}

} // namespace
