// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One check of the mailbox, as the menu starts it: a state machine on the window's thread.
// Each step with the server is one task on the library's thread (librarythread.h), whose end
// comes back through LibraryThread::finished; each box the check shows is opened without
// waiting, and its answer comes back from the event loop. Nothing here waits: start(), stop()
// and every handler return at once, so the window paints and animates throughout, and a stop
// or the program's end is simply taken in whatever state the check is in. User input to the
// program's windows is dropped meanwhile (CheckGuard), except while a box waits for an answer.
//
// A check ends with finished(): counted, with the count the result display shows, or stopped.
// Stopped (Esc, the 中止 button), the library leaves the server at once, no further byte goes
// to it, and the check's connection is released on the library's thread. Abandoned (the main
// window was closed), the same, and nothing of the check runs after it, finished() included.
#include "app/checkprogress.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class CheckGuard;
struct CertificateRefusal;
class LibraryThread;
class MailCheck;
class NMailApi;
class QAbstractButton;

class CheckRun : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle, // not started
        Connecting, // look-up, connect, TLS, greeting, capabilities
        AskingTrust, // the certificate question is open
        ReadingFailure, // the failure's text is asked for
        ShowingError, // the エラー box is open
        LoggingIn,
        Fetching,
        Closing, // QUIT
        Ended,
    };
    enum class Outcome { Counted, Stopped };

    // stopButton: drawn with the progress; its clicks get through the dropped input.
    CheckRun(NMailApi &nmail, LibraryThread &thread, QAbstractButton *stopButton,
        QObject *parent = nullptr);
    ~CheckRun() override;

    State state() const { return m_state; }
    void start();
    // The user's stop: the check ends at once, stopped.
    void stop();
    // The program is ending: the check ends at once, and says nothing more.
    void abandon();

signals:
    void progressChanged(const CheckProgress &progress);
    // The check will reach the server: the result display will want the tune.
    void reachingServer();
    // count is what the result display shows (0 after a failed connection, the failure code
    // after a refused login).
    void finished(CheckRun::Outcome outcome, int count);

private:
    // The one place the state changes; it also tells the phase.
    void setState(State state);
    // Runs call on the library's thread; its result comes back to handler.
    template<class Result, class Call> void post(Call call, void (CheckRun::*handler)(Result));
    void post(std::function<void()> call, void (CheckRun::*handler)());
    void takeFinished(int task);
    void openBox(
        const QString &text, int style, const QString &caption, void (CheckRun::*answered)(int));
    void closeBox();
    void end(Outcome outcome);
    void leaveServer();

    // One handler for each step's end.
    void connected(bool ok);
    void certificateAnswered(int answer);
    void failureRead(QString text);
    void errorAnswered(int answer);
    void logIn();
    void loggedIn(int count);
    void fetched();
    void closed();

    void showFetchProgress();

    NMailApi &m_nmail;
    LibraryThread &m_thread;
    QPointer<QAbstractButton> m_stopButton;
    State m_state = State::Idle;
    // Shared with the library's thread: a task still running when the check ends keeps what it
    // writes to alive.
    std::shared_ptr<MailCheck> m_mailCheck;
    std::unique_ptr<CheckGuard> m_guard;
    int m_task = 0; // the task whose finished() the check waits for, or 0
    std::function<void()> m_taskDone;
    QPointer<QObject> m_box;
    std::unique_ptr<CertificateRefusal> m_refusal; // while the question is open
    int m_questionsAsked = 0;
    int m_count = 0;
    // Where the error box leads once answered: the close after a refused login, or the end.
    bool m_closeAfterError = false;
    CheckProgress m_progress;
    qint64 m_octetsBefore = 0;
    QTimer m_progressTimer;
};
