#pragma once
// One check of the mailbox, as the menu starts it: its steps with the server, in their order, in
// run(). Each library call is handed to the library's thread and waited for with the event loop
// running, so the window paints and animates while the server answers; user input to the
// program's windows is dropped meanwhile (CheckGuard), except while a box waits for an answer.
//
// A check ends early, with no result, when the user stops it (Esc, or the 中止 button drawn with
// the progress) or the program abandons it (the main window was closed while it ran). Stopped,
// the library leaves the server at once and no further library call is made for the check; the
// window is released at once, without waiting for the library's thread to come back. Abandoned,
// nothing of it runs after the program's shutdown, not even the result display.
#include <functional>
#include <memory>
#include <optional>

class CheckGuard;
struct CertificateRefusal;
class LibraryThread;
class MailCheck;
class NMailApi;
class QAbstractButton;
class QEventLoop;
class QString;

class CheckRun {
public:
    struct View {
        // Shows how far the fetch is ("12/345  1.2 / 4.5 MB").
        std::function<void(const QString &text)> showProgress;
        // Drawn with the progress; its clicks get through to stop the check.
        QAbstractButton *stopButton = nullptr;
        // At the start of a check that reaches the server: the result display will want the tune.
        std::function<void()> prepareTune;
    };

    CheckRun(NMailApi &nmail, LibraryThread &thread, View view);
    ~CheckRun();
    CheckRun(const CheckRun &) = delete;
    CheckRun &operator=(const CheckRun &) = delete;

    // The count the result display shows, or nothing when the check ended without a result.
    std::optional<int> run();
    // The user's stop: the library leaves the server, and the check ends with no result.
    void stop();
    // The program is ending: the step in progress is not waited for, and no step follows.
    void abandon();

private:
    // false when the check ends with no result.
    bool checkServer(int *count);
    bool fetchMessages(const std::shared_ptr<MailCheck> &check, int count);
    // Runs call on the library's thread and returns its result (true for a call without one)
    // once it has run, or nothing when the check ends before that.
    template<class Call> auto callLibrary(Call call);
    bool waitForLibrary(std::function<void()> task);
    // false when the check was abandoned while the box was up.
    bool showErrorBox(const QString &text);
    // The user's answer to a certificate refusal, true once the certificate is trusted; nothing
    // when the check was abandoned while the box was up.
    std::optional<bool> askAboutCertificate(const CertificateRefusal &refusal);

    NMailApi &m_nmail;
    LibraryThread &m_thread;
    View m_view;
    std::shared_ptr<MailCheck> m_mailCheck;
    std::unique_ptr<CheckGuard> m_guard;
    QEventLoop *m_waiting = nullptr;
    bool m_abandoned = false;
    bool m_stopped = false;
};
