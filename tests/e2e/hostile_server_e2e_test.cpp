// The real main window and POP3 library against servers that misbehave in the middle of a
// message: the check comes back within the library's time-out, tells the user, shows the
// result, and the program goes on working.
#include "app/mainform.h"
#include "fakes/fakemedia.h"
#include "fakes/fakepop3server.h"
#include "fakes/fakeprompter.h"
#include "fakes/fakeras.h"
#include "fakes/programenvironment.h"
#include "mail/librarythread.h"
#include "mail/pop3library.h"
#include "qtprinters.h"
#include "dialogs/forms.h"
#include "settings/mailsettings.h"
#include "core/programfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

const QList<QByteArray> Login = { "S: +OK ready", "C: CAPA", "S: -ERR unknown command",
    "C: USER bob", "S: +OK", "C: PASS secret", "S: +OK", "C: STAT", "S: +OK 2 200", "C: LIST 1",
    "S: +OK 1 100", "C: RETR 1", "S: +OK" };

class HostileServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_environment.isValid());
        WriteAccount(QStringLiteral("bob"), QStringLiteral("secret"), true);
        m_library.setTimeouts(2s, 700ms);
        m_form = std::make_unique<MainForm>(
            MainForm::Services { m_library, m_media, m_ras, m_nmailThread });
        m_form->load();
    }

    void TearDown() override { m_form.reset(); }

    // Runs one check against the script and returns how long it took.
    qint64 checkAgainst(const QList<QByteArray> &script)
    {
        FakePop3Server server(script);
        EXPECT_TRUE(server.begin());
        mailSettings().Pop3Server = server.address();
        QElapsedTimer clock;
        clock.start();
        m_form->menuAction(QStringLiteral("mcheck"))->trigger();
        return clock.elapsed();
    }

    ProgramEnvironment m_environment;
    Pop3Library m_library;
    FakeMedia m_media;
    FakeRas m_ras;
    LibraryThread m_nmailThread;
    ScopedFakePrompter m_prompter;
    std::unique_ptr<MainForm> m_form;
};

TEST_F(HostileServerTest, StallInTheMiddleOfAMessageEndsWithinTheTimeOut)
{
    const qint64 elapsed
        = checkAgainst(Login + QList<QByteArray> { "R:Subject: half\r\nbody li", "STALL" });
    // One reply time-out for the stalled message; every later call on the dead connection
    // fails at once instead of waiting again.
    EXPECT_LT(elapsed, 5000);
    EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(m_form->Text6()->text(), QStringLiteral("2"));
    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty()) << "fetch failures are not reported";
}

TEST_F(HostileServerTest, ServerClosingMidLineLeavesTheProgramWorking)
{
    checkAgainst(Login + QList<QByteArray> { "R:Subject: cut\r\nhalf a li", "CLOSE" });
    EXPECT_EQ(m_form->Text6()->text(), QStringLiteral("2"));

    // The next check works normally.
    checkAgainst({ "S: +OK ready", "C: CAPA", "S: -ERR", "C: USER bob", "S: +OK", "C: PASS secret",
        "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK" });
    EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メールなし。"));
    EXPECT_EQ(m_form->Text6()->text(), QStringLiteral("0"));
}

// How much memory such a message costs is measured by bench/pop3_retrieval; here, that the
// check reads through it and ends with its result.
TEST_F(HostileServerTest, HugeLineInsideAMessageStillEndsWithTheResult)
{
    const QByteArray line(100 * 1024 * 1024, 'x');
    checkAgainst(Login + QList<QByteArray> { "R:Subject: big\r\n\r\n" + line, "CLOSE" });
    EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(m_form->Text6()->text(), QStringLiteral("2"));
    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty()) << "fetch failures are not reported";
}

TEST_F(HostileServerTest, HugeStatusLineIsAProtocolErrorShownToTheUser)
{
    checkAgainst({ "S: +OK ready", "C: CAPA", "S: -ERR", "C: USER bob",
        "R:+OK " + QByteArray(1024 * 1024, 'y'), "STALL" });
    ASSERT_EQ(m_prompter.fake.boxes.size(), 1);
    EXPECT_EQ(m_prompter.fake.boxes[0].caption, QStringLiteral("エラー"));
    EXPECT_FALSE(m_prompter.fake.boxes[0].text.isEmpty());
    EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メールなし。"));
    EXPECT_LT(m_form->Text6()->text().toInt(), 0);
}

} // namespace

// A server that takes the connection and never greets is given up within the connection's
// time, not a reply's; a refused connection is told at once. Either way the user sees the
// library's text in the エラー box, then the usual result.
TEST_F(HostileServerTest, ConnectionsThatComeToNothingAreToldThenShowNoMail)
{
    m_library.setTimeouts(500ms, 30s);
    const qint64 elapsed = checkAgainst({ "STALL" });
    EXPECT_LT(elapsed, 10000) << "the greeting was waited for as a reply";

    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    mailSettings().Pop3Server = QStringLiteral("127.0.0.1:%1").arg(closedPort);
    m_form->menuAction(QStringLiteral("mcheck"))->trigger();

    ASSERT_EQ(m_prompter.fake.boxes.size(), 2);
    for (const FakePrompter::Box &box : m_prompter.fake.boxes) {
        EXPECT_EQ(box.caption, QStringLiteral("エラー"));
        EXPECT_EQ(box.style, 0);
    }
    EXPECT_NE(m_prompter.fake.boxes[0].text, m_prompter.fake.boxes[1].text);
    EXPECT_FALSE(m_prompter.fake.boxes[1].text.isEmpty());
    EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メールなし。"));
    EXPECT_EQ(m_form->Text6()->text(), QStringLiteral("0"));
}
