// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window and POP3 library against servers that misbehave in the middle of a
// message: the check comes back within the library's time-out, tells the user, shows the
// result, and the program goes on working.
#include "app/mainform.h"
#include "checkfrommenu.h"
#include "fakes/fakemedia.h"
#include "fakes/fakepop3server.h"
#include "fakes/fakeprompter.h"
#include "fakes/fakeras.h"
#include "fakes/programenvironment.h"
#include "mail/librarythread.h"
#include "mail/pop3library.h"
#include "qtprinters.h"
#include "dialogs/forms.h"
#include "dialogs/setform.h"
#include "settings/mailsettings.h"
#include "core/programfolder.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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
        EXPECT_TRUE(checkFromMenu(*m_form)) << "the check did not end";
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
    ASSERT_TRUE(checkFromMenu(*m_form));

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

namespace {

// Where a server stops answering (HOLD: and reports any byte the client sends after it): the
// stop or the close comes there.
const struct {
    const char *name;
    QList<QByteArray> script;
} HeldServers[] = {
    { "greeting withheld", { "HOLD" } },
    { "in the login",
        { "S: +OK ready", "C: CAPA", "S: -ERR unknown command", "C: USER bob", "HOLD" } },
    { "mid-message", Login + QList<QByteArray> { "R:Subject: half\r\nbody li", "HOLD" } },
    { "at QUIT",
        { "S: +OK ready", "C: CAPA", "S: -ERR", "C: USER bob", "S: +OK", "C: PASS secret", "S: +OK",
            "C: STAT", "S: +OK 0 0", "C: QUIT", "HOLD" } },
};

const QList<QByteArray> EmptyMailbox = { "S: +OK ready", "C: CAPA", "S: -ERR", "C: USER bob",
    "S: +OK", "C: PASS secret", "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK" };

} // namespace

// However far the check has got, a stop leaves the server at once: no byte after it (QUIT
// included), the connection closed; the window is back with its scene, a ticked hang-up is
// made, and the next check works.
TEST_F(HostileServerTest, AStopInEveryStateLeavesTheServerAtOnce)
{
    m_library.setTimeouts(30s, 30s);
    m_ras.active = { { "/ac/1", "modem", "gsm" } };
    forms().setForm.get().Check1()->setChecked(true);
    for (const auto &row : HeldServers) {
        SCOPED_TRACE(row.name);
        m_ras.calls.clear();
        const QString text = m_form->Text3()->text();
        FakePop3Server server(row.script);
        ASSERT_TRUE(server.begin());
        mailSettings().Pop3Server = server.address();
        m_form->menuAction(QStringLiteral("mcheck"))->trigger();
        // The check goes on through the event loop, step by step.
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.playedAllRows(); }, 10000));
        QTest::keyClick(m_form.get(), Qt::Key_Escape);
        EXPECT_FALSE(m_form->isChecking());
        ASSERT_TRUE(server.wait(10000)) << "the connection stayed open";
        EXPECT_TRUE(server.problems().isEmpty()) << server.problems().join('\n').toStdString();
        EXPECT_EQ(m_form->Text3()->text(), text);
        EXPECT_TRUE(m_prompter.fake.boxes.isEmpty());
        EXPECT_EQ(m_ras.calls, QStringList({ "enum", "hangUp /ac/1" }));

        FakePop3Server next(EmptyMailbox);
        ASSERT_TRUE(next.begin());
        mailSettings().Pop3Server = next.address();
        ASSERT_TRUE(checkFromMenu(*m_form));
        EXPECT_TRUE(next.problems().isEmpty()) << next.problems().join('\n').toStdString();
        EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メールなし。"));
        m_form->Text3()->clear();
    }
}

TEST_F(HostileServerTest, ClosingTheWindowInEveryStateLeavesTheServerAndEndsTheProgram)
{
    m_library.setTimeouts(30s, 30s);
    for (const auto &row : HeldServers) {
        SCOPED_TRACE(row.name);
        FakePop3Server server(row.script);
        ASSERT_TRUE(server.begin());
        mailSettings().Pop3Server = server.address();
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, m_form.get(), [&] {
            if (server.playedAllRows())
                m_form->close();
        });
        QTimer::singleShot(0, m_form.get(), [&] {
            m_form->menuAction(QStringLiteral("mcheck"))->trigger();
            ticker.start();
        });
        const QPointer<MainForm> window(m_form.get());
        EXPECT_EQ(QCoreApplication::exec(), 0);
        ASSERT_TRUE(server.wait(10000)) << "the connection stayed open";
        EXPECT_TRUE(server.problems().isEmpty()) << server.problems().join('\n').toStdString();
        EXPECT_TRUE(m_nmailThread.waitUntilDone(10s));
        if (!window)
            (void)m_form.release();
        forms().destroyAllWithoutUnload();
        m_form = std::make_unique<MainForm>(
            MainForm::Services { m_library, m_media, m_ras, m_nmailThread });
        m_form->load();
    }
}

// Every message is read before QUIT, and nothing depends on its answer: a server silent after
// it holds the result a few seconds at most, not a reply's whole time.
TEST_F(HostileServerTest, AServerSilentAfterQuitStillGivesTheResult)
{
    m_library.setTimeouts(30s, 30s);
    FakePop3Server server({ "S: +OK ready", "C: CAPA", "S: -ERR", "C: USER bob", "S: +OK",
        "C: PASS secret", "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "STALL" });
    ASSERT_TRUE(server.begin());
    mailSettings().Pop3Server = server.address();
    ASSERT_TRUE(checkFromMenu(*m_form, 20000)) << "the result waited for QUIT's reply";
    EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メールなし。"));
}
