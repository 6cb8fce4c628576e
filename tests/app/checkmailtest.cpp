// SPDX-License-Identifier: GPL-3.0-or-later
#include "apptestsupport.h"
#include "checkfrommenu.h"

#include "scenes/gifpane.h"
#include "dialogs/idpassform.h"
#include "dialogs/setform.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <semaphore>

namespace {

// Holds the library's thread in the first call that starts with prefix until release(), so a
// test can look at the window while a library call blocks.
class HeldCall {
public:
    HeldCall(FakeNMail &nmail, const QString &prefix)
    {
        nmail.onCall = [this, prefix](const QString &call) {
            if (!call.startsWith(prefix) || m_held.exchange(true))
                return;
            m_entered.release();
            m_releasedInTime = m_release.try_acquire_for(std::chrono::seconds(20));
        };
    }
    // On the window's thread: whether the library's thread has come into the call.
    bool entered() { return m_entered.try_acquire(); }
    void release() { m_release.release(); }
    bool releasedInTime() const { return m_releasedInTime; }

private:
    std::atomic<bool> m_held = false;
    std::binary_semaphore m_entered { 0 };
    std::binary_semaphore m_release { 0 };
    std::atomic<bool> m_releasedInTime = false;
};

const QString Status = QStringLiteral("GetMailStatus 7 %1 8192 8192 8192 8192 0");
const QString Mail = QStringLiteral("GetMail 7 %1 8192 8192 8192 8192 0 0");

} // namespace

class CheckMailTest : public MainFormTest {
protected:
    // Loads the window and forgets what start-up did, so a test sees only the check.
    MainForm &ready()
    {
        MainForm &form = loadForm();
        m_nmail.calls.clear();
        m_media.commands.clear();
        m_prompter.fake.boxes.clear();
        return form;
    }
    void check(MainForm &form) { EXPECT_TRUE(checkFromMenu(form)) << "the check did not end"; }
};

TEST_F(CheckMailTest, EmptyServerMakesNoCallAndShowsNoMail)
{
    setAccount("bob", "secret");
    MainForm &form = ready();
    check(form);
    EXPECT_TRUE(m_nmail.calls.isEmpty());
    EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メールなし。"));
    EXPECT_EQ(form.Text6()->text(), QStringLiteral("0"));
    EXPECT_EQ(form.outerSizeTwips(), QSize(4000, 4000))
        << "the event scene starts after every check";
}

TEST_F(CheckMailTest, FailedConnectIsToldButNeitherReadsTheAccountNorCloses)
{
    setServer("pop.example");
    setAccount("bob", "secret");
    MainForm &form = ready();
    forms().idPassForm.get().IdText()->setText(QStringLiteral("typed"));
    m_nmail.connectResult = -1;
    m_nmail.failureText = QByteArray("接続できません\0left over", 25);
    QString textWhileBoxOpen = QStringLiteral("unchanged");
    m_prompter.fake.onBox
        = [&](const FakePrompter::Box &) { textWhileBoxOpen = form.Text3()->text(); };
    check(form);
    EXPECT_EQ(m_nmail.calls, QStringList({ "Connect pop.example", "GetMessage 0 8192 8192" }));
    EXPECT_EQ(forms().idPassForm.get().IdText()->text(), QStringLiteral("typed"));
    ASSERT_EQ(m_prompter.fake.boxes.size(), 1);
    EXPECT_EQ(m_prompter.fake.boxes[0].text, QStringLiteral("接続できません"));
    EXPECT_EQ(m_prompter.fake.boxes[0].caption, QStringLiteral("エラー"));
    EXPECT_EQ(m_prompter.fake.boxes[0].style, 0);
    EXPECT_TRUE(textWhileBoxOpen.isEmpty()) << "the box comes before the result";
    EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メールなし。"));
    EXPECT_EQ(form.Text6()->text(), QStringLiteral("0"));
}

TEST_F(CheckMailTest, MissingAccountOpensTheDialogInsteadOfLoggingIn)
{
    setServer("pop.example");
    setAccount("bob", "");
    MainForm &form = ready();
    forms().idPassForm.destroyWithoutUnload();
    check(form);
    EXPECT_EQ(m_nmail.calls, QStringList({ "Connect pop.example", "Close 7" }));
    ASSERT_TRUE(forms().idPassForm.isLoaded());
    EXPECT_TRUE(forms().idPassForm.get().isVisible());
    EXPECT_EQ(forms().idPassForm.get().IdText()->text(), QStringLiteral("bob"));
    EXPECT_EQ(mailSettings().UserId, QStringLiteral("bob"));
    EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メールなし。"));
}

TEST_F(CheckMailTest, AccountComesFromTheFileAtEveryCheck)
{
    setServer("pop.example");
    setAccount(QByteArray(300, 'a'), "secret");
    MainForm &form = ready();
    forms().idPassForm.get().IdText()->setText(QStringLiteral("typed-but-not-saved"));
    check(form);
    const QString id(255, QLatin1Char('a'));
    EXPECT_EQ(m_nmail.calls.value(1), QStringLiteral("Authenticate 7 %1 secret 0").arg(id));
    EXPECT_EQ(forms().idPassForm.get().IdText()->text(), id);
    EXPECT_EQ(forms().idPassForm.get().PassText()->text(), QStringLiteral("secret"));
}

TEST_F(CheckMailTest, ThreeMessagesAreFetchedInOrder)
{
    setServer("pop.example", 2);
    setAccount("bob", "secret");
    MainForm &form = ready();
    m_nmail.authenticateResult = 3;
    m_nmail.sizes = { 10, -1, 5 };
    check(form);
    EXPECT_EQ(m_nmail.calls,
        QStringList({ "Connect pop.example", "Authenticate 7 bob secret -1", Status.arg(1),
            "GetMailSize 7 1", Mail.arg(1), Status.arg(2), "GetMailSize 7 2", Mail.arg(2),
            Status.arg(3), "GetMailSize 7 3", Mail.arg(3), "Close 7" }));
    // The body buffer is the size plus one; a failed size gives an empty buffer, never a
    // negative one.
    EXPECT_EQ(m_nmail.bodyBufferSizes, QList<qsizetype>({ 11, 0, 6 }));
    EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(form.Text6()->text(), QStringLiteral("3"));
}

TEST_F(CheckMailTest, EmptyMailboxFetchesNothing)
{
    setServer("pop.example", 1);
    setAccount("bob", "secret");
    MainForm &form = ready();
    check(form);
    EXPECT_EQ(m_nmail.calls,
        QStringList({ "Connect pop.example", "Authenticate 7 bob secret -1", "Close 7" }));
    EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メールなし。"));
    EXPECT_EQ(form.Text6()->text(), QStringLiteral("0"));
}

TEST_F(CheckMailTest, RefusedLoginShowsTheTextUpToItsNulThenTheResult)
{
    setServer("pop.example");
    setAccount("bob", "wrong");
    MainForm &form = ready();
    m_nmail.authenticateResult = -5;
    m_nmail.failureText = QByteArray("-ERR [AUTH] nope\0left over", 26);
    QString textWhileBoxOpen = QStringLiteral("unchanged");
    m_prompter.fake.onBox
        = [&](const FakePrompter::Box &) { textWhileBoxOpen = form.Text3()->text(); };
    check(form);
    EXPECT_EQ(m_nmail.calls,
        QStringList({ "Connect pop.example", "Authenticate 7 bob wrong 0", "GetMessage 0 8192 8192",
            "Close 7" }));
    ASSERT_EQ(m_prompter.fake.boxes.size(), 1);
    EXPECT_EQ(m_prompter.fake.boxes[0].text, QStringLiteral("-ERR [AUTH] nope"));
    EXPECT_EQ(m_prompter.fake.boxes[0].caption, QStringLiteral("エラー"));
    EXPECT_EQ(m_prompter.fake.boxes[0].style, 0);
    EXPECT_TRUE(textWhileBoxOpen.isEmpty()) << "the box comes before the result";
    EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メールなし。"));
    EXPECT_EQ(form.Text6()->text(), QStringLiteral("-5"));
}

TEST_F(CheckMailTest, HangUpFollowsEveryKindOfCheckWhenTicked)
{
    setAccount("bob", "secret");
    m_ras.active = { { "/ac/1", "modem", "gsm" }, { "/ac/2", "dsl", "pppoe" } };
    struct Row {
        const char *server;
        int connect;
        int auth;
    };
    const Row rows[] = { { "", 7, 0 }, { "pop.example", -1, 0 }, { "pop.example", 7, -3 },
        { "pop.example", 7, 0 }, { "pop.example", 7, 2 } };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.server) + " " + std::to_string(row.auth));
        setServer(row.server);
        setOptionNumber(1);
        MainForm &form = ready();
        m_nmail.connectResult = row.connect;
        m_nmail.authenticateResult = row.auth;
        m_nmail.sizes = { 1, 1 };
        m_ras.calls.clear();
        bool textsSetBeforeHangUp = false;
        QObject::connect(form.Text6(), &QLineEdit::textChanged,
            [&] { textsSetBeforeHangUp = m_ras.calls.isEmpty(); });
        check(form);
        EXPECT_TRUE(textsSetBeforeHangUp);
        EXPECT_EQ(m_ras.calls, QStringList({ "enum", "hangUp /ac/1", "hangUp /ac/2" }));

        forms().setForm.get().Check1()->setChecked(false);
        m_ras.calls.clear();
        check(form);
        EXPECT_TRUE(m_ras.calls.isEmpty());
        m_form.reset();
        forms().destroyAllWithoutUnload();
    }
}

TEST_F(CheckMailTest, HangUpOptionIsReadLiveFromTheHubDialog)
{
    setOptionNumber(2); // the hub dialog is not loaded by start-up and loads unticked
    setAccount("bob", "secret");
    m_ras.active = { { "/ac/1", "modem", "gsm" } };
    MainForm &form = ready();
    EXPECT_FALSE(forms().setForm.isLoaded());
    check(form);
    EXPECT_TRUE(forms().setForm.isLoaded());
    EXPECT_FALSE(forms().setForm.get().isVisible());
    EXPECT_TRUE(m_ras.calls.isEmpty());

    forms().setForm.get().Check1()->setChecked(true);
    check(form);
    EXPECT_EQ(m_ras.calls, QStringList({ "enum", "hangUp /ac/1" }));

    m_ras.calls.clear();
    m_ras.enumResult = 5; // listing fails: nothing is hung up, nothing is shown
    check(form);
    EXPECT_EQ(m_ras.calls, QStringList({ "enum" }));
    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty());
}

TEST_F(CheckMailTest, EventSceneStartsBeforeTheTextsChange)
{
    setOptionNumber(1);
    setAccount("bob", "secret");
    MainForm &form = ready();
    bool sceneBeforeTexts = false;
    QObject::connect(form.Text3(), &QLineEdit::textChanged, [&] {
        sceneBeforeTexts = m_media.commands.contains(QStringLiteral("play bgm"))
            && form.WebBrowser1()->currentAddress().endsWith(QStringLiteral("nande.gif"));
    });
    check(form);
    EXPECT_TRUE(sceneBeforeTexts);
}

TEST_F(CheckMailTest, WindowGoesOnWhileTheLibraryWaitsButDropsInput)
{
    setServer("pop.example");
    setAccount("bob", "secret");
    MainForm &form = ready();
    m_nmail.authenticateResult = 2;
    m_nmail.sizes = { 10, 20 };
    QLineEdit probe;
    probe.show();
    HeldCall held(m_nmail, QStringLiteral("GetMailStatus 7 2"));

    // A timer of the window's thread: it can only tick while the library call is held if the
    // thread is not blocked in it.
    int ticks = 0;
    int ticksAtEntry = -1;
    QString progress;
    bool busyCursor = false;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        if (ticksAtEntry < 0 && held.entered()) {
            ticksAtEntry = ticks;
            busyCursor = QApplication::overrideCursor()
                && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
            QTest::keyClicks(&probe, QStringLiteral("abc"));
            form.CheckMail(); // a second check while one runs starts nothing
        } else if (ticksAtEntry >= 0 && progress.isEmpty()) {
            // The progress is brought up to date while the library waits in message 2.
            if (form.progressLabel()->text() == QStringLiteral("2/2")
                || ticks > ticksAtEntry + 5000)
                progress = form.progressLabel()->isVisibleTo(&form) ? form.progressLabel()->text()
                                                                    : QStringLiteral("hidden");
        } else if (ticksAtEntry >= 0) {
            held.release();
        }
    });
    ticker.start();
    check(form);
    ticker.stop();

    EXPECT_TRUE(held.releasedInTime()) << "the window's timers stopped while the library waited";
    EXPECT_EQ(progress, QStringLiteral("2/2"));
    EXPECT_FALSE(form.progressLabel()->isVisibleTo(&form));
    EXPECT_TRUE(busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(probe.text().isEmpty()) << "input given during the check is dropped, not replayed";
    EXPECT_EQ(m_nmail.calls.count(QStringLiteral("Connect pop.example")), 1);
    EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(form.Text6()->text(), QStringLiteral("2"));
}

// Where a stop or a close finds the check: in a library call held on the library's thread, at
// the certificate question, or before the library's thread has reached the connect.
struct StopRow {
    const char *name;
    const char *held; // the call held, or empty
    bool atQuestion = false;
    bool beforeConnect = false;
};
const StopRow StopRows[] = {
    { "before the connect", "", false, true },
    { "in the connect", "Connect" },
    { "at the question", "", true },
    { "in the login", "Authenticate" },
    { "in the fetch", "GetMailStatus 7 2" },
    { "at QUIT", "Close" },
};

class CheckStopTest : public CheckMailTest {
protected:
    // Starts a check and returns once it has reached the row's state, the window's thread
    // free.
    MainForm &startAt(const StopRow &row)
    {
        setServer("pop.example");
        setAccount("bob", "secret");
        setOptionNumber(1); // hang up after each check
        m_ras.active = { { "/ac/1", "modem", "gsm" } };
        MainForm &form = ready();
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        m_ras.calls.clear();
        m_scene = form.WebBrowser1()->currentAddress();
        m_text = form.Text3()->text();
        m_nmail.authenticateResult = 2;
        m_nmail.sizes = { 10, 20 };
        if (row.atQuestion) {
            m_nmail.connectResult = -1;
            m_nmail.refusals = { CertificateRefusal { QStringLiteral("pop.example:110"),
                QSslCertificate(), { QStringLiteral("自己署名") }, {} } };
            m_prompter.fake.holdOpened = true;
        }
        if (*row.held)
            m_held = std::make_unique<HeldCall>(m_nmail, QString::fromLatin1(row.held));
        if (row.beforeConnect) // the library's thread is busy: the connect is still queued
            m_held = std::make_unique<HeldCall>(m_nmail, QStringLiteral("EndWinSock"));
        if (row.beforeConnect)
            m_nmailThread.start([this] { m_nmail.NMailEndWinSock(); });
        form.menuAction(QStringLiteral("mcheck"))->trigger();
        EXPECT_TRUE(form.isChecking());
        if (m_held)
            EXPECT_TRUE(QTest::qWaitFor([&] { return m_held->entered(); }, 10000));
        if (row.atQuestion)
            EXPECT_TRUE(QTest::qWaitFor([&] { return m_prompter.fake.openCount() == 1; }, 10000));
        m_recordedAtStop = m_nmail.recorded();
        return form;
    }
    // Lets the held call come back and the library's thread run out.
    void release()
    {
        if (m_held)
            m_held->release();
        QSignalSpy finished(&m_nmailThread, &LibraryThread::finished);
        while (m_nmailThread.isBusy())
            ASSERT_TRUE(finished.wait(10000));
    }
    // What reached the library after the stop: its abort, then at most the close that releases
    // the connection.
    void expectLeftAtOnce(const StopRow &row, const QStringList &after = {})
    {
        QStringList expected = m_recordedAtStop;
        expected << QStringLiteral("abortConnections");
        if (!row.atQuestion && !row.beforeConnect && QLatin1String(row.held) != "Close")
            expected << QStringLiteral("Close 7");
        expected << after;
        EXPECT_EQ(m_nmail.recorded(), expected);
        if (row.beforeConnect)
            EXPECT_FALSE(m_nmail.recorded().contains(QStringLiteral("Connect pop.example")));
    }

    std::unique_ptr<HeldCall> m_held;
    QStringList m_recordedAtStop;
    QString m_scene;
    QString m_text;
};

TEST_F(CheckStopTest, EscOrTheStopButtonInEveryStateEndsTheCheckAtOnceAndTheNextOneWorks)
{
    for (const StopRow &row : StopRows) {
        for (const bool byButton : { false, true }) {
            SCOPED_TRACE(std::string(row.name) + (byButton ? " 中止" : " Esc"));
            MainForm &form = startAt(row);
            // 中止 is there from the first moment, in the window, beside the phase.
            ASSERT_TRUE(form.stopButton()->isVisibleTo(&form));
            const QWidget *box = form.stopButton()->parentWidget();
            EXPECT_TRUE(form.rect().contains(QRect(box->mapTo(&form, QPoint()), box->size())));
            if (row.atQuestion) // the question is modal: only the program can stop the check
                QMetaObject::invokeMethod(form.stopButton(), &QAbstractButton::click);
            else if (byButton) // through the window, as the window system delivers a click
                QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                    form.stopButton()->mapTo(&form, form.stopButton()->rect().center()));
            else
                QTest::keyClick(&form, Qt::Key_Escape);

            // Ended at once, while the library may still be held: no result, the scene as it
            // was, no box left open, and the hang-up that every check ends with.
            EXPECT_FALSE(form.isChecking());
            EXPECT_FALSE(form.progressLabel()->isVisibleTo(&form));
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            EXPECT_EQ(form.WebBrowser1()->currentAddress(), m_scene);
            EXPECT_EQ(form.Text3()->text(), m_text);
            EXPECT_FALSE(m_media.commands.contains(QStringLiteral("play bgm")));
            EXPECT_EQ(m_prompter.fake.openCount(), 0);
            EXPECT_EQ(m_ras.calls, QStringList({ "enum", "hangUp /ac/1" }));
            release();
            expectLeftAtOnce(row);

            // The next check starts afresh and ends with its result.
            m_held.reset();
            m_nmail.onCall = nullptr;
            m_nmail.connectResult = 7;
            m_prompter.fake.holdOpened = false;
            check(form);
            EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メール有り。"));
            EXPECT_EQ(m_nmail.recorded().last(), QStringLiteral("Close 7"));
            m_form.reset();
            forms().destroyAllWithoutUnload();
        }
    }
}

TEST_F(CheckStopTest, ClosingTheWindowInEveryStateEndsTheProgramWithoutAResult)
{
    for (const StopRow &row : StopRows) {
        SCOPED_TRACE(row.name);
        MainForm &form = startAt(row);
        const QPointer<MainForm> window(&form);
        QTimer::singleShot(0, &form, [&] { form.close(); });
        EXPECT_EQ(QCoreApplication::exec(), 0);

        EXPECT_TRUE(m_ras.calls.isEmpty()) << "a hang-up followed shutdown";
        EXPECT_FALSE(m_media.commands.contains(QStringLiteral("play bgm")));
        EXPECT_EQ(m_prompter.fake.openCount(), 0);
        if (window)
            EXPECT_EQ(form.Text3()->text(), m_text) << "no result display after the close";
        // The connection is released on the library's thread, behind the held call.
        release();
        expectLeftAtOnce(row, { "EndWinSock" });
        if (!window)
            (void)m_form.release();
        m_held.reset();
        m_nmail.onCall = nullptr;
        m_nmail.connectResult = 7;
        m_prompter.fake.holdOpened = false;
        m_form.reset();
        forms().destroyAllWithoutUnload();
    }
}

TEST_F(CheckMailTest, TheProgressTellsThePhaseThenTheMessagesAndTheBytes)
{
    setServer("pop.example");
    setAccount("bob", "secret");
    MainForm &form = ready();
    m_nmail.authenticateResult = 2;
    m_nmail.sizes = { 10, 20 };
    m_nmail.mailboxOctetsResult = 2500000;
    QStringList shown;
    HeldCall held(m_nmail, QStringLiteral("GetMailStatus 7 2"));
    m_nmail.onCall = [&, hold = m_nmail.onCall](const QString &call) {
        if (call.startsWith(QStringLiteral("Authenticate")))
            m_nmail.received = 0;
        hold(call);
    };
    form.menuAction(QStringLiteral("mcheck"))->trigger();
    const auto seen = [&] {
        const QString now = form.progressLabel()->text() + u'|' + form.progressBytesLabel()->text();
        if (shown.isEmpty() || shown.last() != now)
            shown << now;
    };
    seen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.entered(); }, 10000));
    m_nmail.received = 1200000;
    QTRY_COMPARE_WITH_TIMEOUT(
        form.progressBytesLabel()->text(), QStringLiteral("1.2 / 2.5 MB"), 5000);
    seen();
    held.release();
    QSignalSpy ended(&form, &MainForm::checkEnded);
    ASSERT_TRUE(ended.wait(10000));
    EXPECT_EQ(shown.first(), QStringLiteral("|接続中…"));
    EXPECT_EQ(shown.last(), QStringLiteral("2/2|1.2 / 2.5 MB"));
    EXPECT_FALSE(form.progressLabel()->isVisibleTo(&form));
}

TEST_F(CheckMailTest, AnUntrustedCertificateIsAskedAboutAndOnlyYesTrustsItAndGoesOn)
{
    setServer("pop.example");
    setAccount("bob", "secret");
    const CertificateRefusal refusal { QStringLiteral("pop.example:110"), QSslCertificate(),
        { QStringLiteral("証明書が自己署名で、信頼されていません") }, {} };
    for (const int answer : { int(Prompter::IdNo), int(Prompter::IdYes) }) {
        SCOPED_TRACE(answer);
        MainForm &form = ready();
        m_nmail.connectResult = -1;
        m_nmail.refusals = { refusal };
        m_nmail.onCall = [&](const QString &call) {
            if (call.startsWith(QStringLiteral("trustCertificate")))
                m_nmail.connectResult = 7;
        };
        m_nmail.authenticateResult = 0;
        m_prompter.fake.setNextAnswer(answer);
        check(form);

        ASSERT_EQ(m_prompter.fake.boxes.size(), 1);
        const FakePrompter::Box &box = m_prompter.fake.boxes.first();
        EXPECT_EQ(box.caption, QStringLiteral("証明書の確認"));
        EXPECT_EQ(box.style & 0xf07,
            int(Prompter::YesNo | Prompter::DefaultButton2)); // No is the default
        EXPECT_TRUE(box.text.contains(QStringLiteral("自己署名"))) << box.text.toStdString();
        if (answer == Prompter::IdNo)
            EXPECT_EQ(m_nmail.recorded(), QStringList({ "Connect pop.example" }));
        else
            EXPECT_EQ(m_nmail.recorded(),
                QStringList({ "Connect pop.example", "trustCertificate pop.example:110",
                    "Connect pop.example", "Authenticate 7 bob secret 0", "Close 7" }));
        EXPECT_EQ(form.Text3()->text(), QStringLiteral("新着メールなし。"));
        EXPECT_EQ(form.Text6()->text(), QStringLiteral("0"));
        m_nmail.onCall = nullptr;
        m_form.reset();
        forms().destroyAllWithoutUnload();
    }
}
