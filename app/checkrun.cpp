// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/checkrun.h"

#include "app/certificatequestion.h"
#include "app/checkguard.h"
#include "core/programfolder.h"
#include "dialogs/forms.h"
#include "dialogs/idpassform.h"
#include "mail/checkmail.h"
#include "mail/librarythread.h"
#include "mail/nmail.h"
#include "mail/servertrust.h"
#include "settings/mailsettings.h"
#include "ui/prompter.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <chrono>
#include <utility>

namespace {

// How often the progress of the fetch is brought up to date.
constexpr std::chrono::milliseconds ProgressInterval { 50 };

} // namespace

CheckRun::CheckRun(
    NMailApi &nmail, LibraryThread &thread, QAbstractButton *stopButton, QObject *parent)
    : QObject(parent)
    , m_nmail(nmail)
    , m_thread(thread)
    , m_stopButton(stopButton)
{
    connect(&m_thread, &LibraryThread::finished, this, &CheckRun::takeFinished);
    m_progressTimer.setInterval(ProgressInterval);
    connect(&m_progressTimer, &QTimer::timeout, this, &CheckRun::showFetchProgress);
}

CheckRun::~CheckRun()
{
    abandon();
}

void CheckRun::setState(State state)
{
    m_state = state;
    CheckProgress::Phase phase = m_progress.phase;
    if (state == State::Connecting)
        phase = CheckProgress::Phase::Connecting;
    else if (state == State::LoggingIn)
        phase = CheckProgress::Phase::LoggingIn;
    else if (state == State::Fetching)
        phase = CheckProgress::Phase::Fetching;
    else
        return;
    m_progress.phase = phase;
    emit progressChanged(m_progress);
}

template<class Result, class Call> void CheckRun::post(Call call, void (CheckRun::*handler)(Result))
{
    auto result = std::make_shared<Result>();
    m_taskDone = [this, result, handler] { (this->*handler)(std::move(*result)); };
    m_task = m_thread.start([call = std::move(call), result] { *result = call(); });
}

void CheckRun::post(std::function<void()> call, void (CheckRun::*handler)())
{
    m_taskDone = [this, handler] { (this->*handler)(); };
    m_task = m_thread.start(std::move(call));
}

void CheckRun::takeFinished(int task)
{
    // A task of a check that ended before it came back, or the release after a stop.
    if (task != m_task || m_state == State::Ended)
        return;
    m_task = 0;
    std::exchange(m_taskDone, nullptr)();
}

void CheckRun::openBox(
    const QString &text, int style, const QString &caption, void (CheckRun::*answered)(int))
{
    // The box is answered with the mouse or keyboard like any other.
    m_guard->setActive(false);
    m_box = prompter().open(text, style, caption, this, [this, answered](int answer) {
        m_box = nullptr;
        if (m_state == State::Ended)
            return;
        m_guard->setActive(true);
        (this->*answered)(answer);
    });
}

void CheckRun::closeBox()
{
    delete m_box.data();
}

void CheckRun::start()
{
    if (m_state != State::Idle)
        return;
    m_guard = std::make_unique<CheckGuard>([this] { stop(); });
    m_guard->setStopButton(m_stopButton);
    MailSettings &settings = mailSettings();
    // An empty server name makes no call and shows no box: the result display follows at once.
    if (settings.Pop3Server.isEmpty()) {
        QTimer::singleShot(0, this, [this] { end(Outcome::Counted); });
        return;
    }
    m_mailCheck = std::make_shared<MailCheck>(m_nmail, settings.Pop3Server, settings.UseApop != 0);
    emit reachingServer();
    setState(State::Connecting);
    post<bool>([check = m_mailCheck] { return check->connect(); }, &CheckRun::connected);
}

void CheckRun::stop()
{
    if (m_state == State::Ended)
        return;
    end(Outcome::Stopped);
}

void CheckRun::abandon()
{
    if (m_state == State::Ended)
        return;
    closeBox();
    m_progressTimer.stop();
    leaveServer();
    m_state = State::Ended;
    m_guard.reset();
}

void CheckRun::end(Outcome outcome)
{
    if (m_state == State::Ended)
        return;
    closeBox();
    m_progressTimer.stop();
    if (outcome == Outcome::Stopped)
        leaveServer();
    m_state = State::Ended;
    m_task = 0;
    m_taskDone = nullptr;
    m_guard.reset();
    emit finished(outcome, outcome == Outcome::Counted ? m_count : 0);
}

void CheckRun::leaveServer()
{
    m_task = 0;
    m_taskDone = nullptr;
    if (!m_mailCheck)
        return;
    // The call in progress, if any, comes back at once with a failure that nobody reads; the
    // connection is released on the thread that made it, behind that call.
    m_mailCheck->stop();
    m_thread.start([check = m_mailCheck] { check->close(); });
}

void CheckRun::connected(bool ok)
{
    if (ok) {
        logIn();
        return;
    }
    // A certificate the user has not trusted (yet) for this server stopped the connection before
    // any credential went out: ask, instead of the plain error. Yes trusts it and connects again,
    // once; a refusal after that (the server changed its certificate meanwhile) asks again.
    std::optional<CertificateRefusal> refusal = m_nmail.takeCertificateRefusal();
    if (refusal && m_questionsAsked < 2) {
        ++m_questionsAsked;
        m_refusal = std::make_unique<CertificateRefusal>(std::move(*refusal));
        setState(State::AskingTrust);
        openBox(certificateQuestion(*m_refusal),
            Prompter::YesNo | Prompter::Exclamation | Prompter::DefaultButton2,
            QStringLiteral("証明書の確認"), &CheckRun::certificateAnswered);
        return;
    }
    // No close for a connection that was never made.
    m_closeAfterError = false;
    setState(State::ReadingFailure);
    post<QString>([check = m_mailCheck] { return check->failureText(); }, &CheckRun::failureRead);
}

void CheckRun::certificateAnswered(int answer)
{
    const std::unique_ptr<CertificateRefusal> refusal = std::move(m_refusal);
    // No: the check ends as a failed connection, without a box.
    if (answer != Prompter::IdYes) {
        end(Outcome::Counted);
        return;
    }
    if (!m_nmail.trustCertificate(*refusal)) {
        m_closeAfterError = false;
        setState(State::ShowingError);
        openBox(QStringLiteral("この証明書を信頼したことを %1 に記録できませんでした。"
                               "パスワードは送信していません。")
                    .arg(userStateFolder()),
            Prompter::OkOnly, QStringLiteral("エラー"), &CheckRun::errorAnswered);
        return;
    }
    setState(State::Connecting);
    post<bool>([check = m_mailCheck] { return check->connect(); }, &CheckRun::connected);
}

void CheckRun::failureRead(QString text)
{
    setState(State::ShowingError);
    openBox(text, Prompter::OkOnly, QStringLiteral("エラー"), &CheckRun::errorAnswered);
}

void CheckRun::errorAnswered(int)
{
    if (!m_closeAfterError) {
        end(Outcome::Counted);
        return;
    }
    setState(State::Closing);
    post([check = m_mailCheck] { check->close(); }, &CheckRun::closed);
}

void CheckRun::logIn()
{
    // The account is read afresh at every check, never taken from the dialog.
    MailSettings &settings = mailSettings();
    const QString id = ReadAccountValue(QStringLiteral("NAME"));
    const QString password = ReadAccountValue(QStringLiteral("NAME2"));
    IdPassForm &account = forms().idPassForm.get();
    account.IdText()->setText(id);
    account.PassText()->setText(password);
    settings.UserId = id;
    settings.UserPassword = password;
    if (id.isEmpty() || password.isEmpty()) {
        forms().idPassForm.show();
        setState(State::Closing);
        post([check = m_mailCheck] { check->close(); }, &CheckRun::closed);
        return;
    }
    setState(State::LoggingIn);
    post<int>([check = m_mailCheck, id, password] { return check->authenticate(id, password); },
        &CheckRun::loggedIn);
}

void CheckRun::loggedIn(int count)
{
    m_count = count;
    if (count < 0) {
        m_closeAfterError = true;
        setState(State::ReadingFailure);
        post<QString>(
            [check = m_mailCheck] { return check->failureText(); }, &CheckRun::failureRead);
        return;
    }
    if (count == 0) {
        setState(State::Closing);
        post([check = m_mailCheck] { check->close(); }, &CheckRun::closed);
        return;
    }
    // Status, size and text of every message, in one task: the library's thread goes from one
    // message to the next without waiting for the window, and the window shows how far it has
    // got at a pace that can be read.
    m_progress.reached = 1;
    m_progress.count = count;
    m_progress.totalOctets = m_mailCheck->mailboxOctets();
    m_progress.readOctets = 0;
    m_octetsBefore = m_nmail.receivedOctets();
    setState(State::Fetching);
    m_progressTimer.start();
    post([check = m_mailCheck, count] { check->fetchAll(count); }, &CheckRun::fetched);
}

void CheckRun::showFetchProgress()
{
    CheckProgress progress = m_progress;
    progress.reached = std::max(1, m_mailCheck->reached());
    progress.readOctets = m_nmail.receivedOctets() - m_octetsBefore;
    if (progress == m_progress)
        return;
    m_progress = progress;
    emit progressChanged(m_progress);
}

void CheckRun::fetched()
{
    m_progressTimer.stop();
    setState(State::Closing);
    post([check = m_mailCheck] { check->close(); }, &CheckRun::closed);
}

void CheckRun::closed()
{
    end(Outcome::Counted);
}
