#pragma once
// One check of the mailbox, as the menu starts it: its steps with the server, in their order, in
// run(). Each library call is handed to the library's thread and waited for with the event loop
// running, so the window paints and animates while the server answers; user input to the
// program's windows is dropped meanwhile (CheckGuard), except while a box waits for an answer.
//
// A check the program abandons (the main window was closed while it ran) ends at its next step
// with no result: nothing of it runs after the program's shutdown, not even the result display.
#include <functional>
#include <memory>
#include <optional>

class CheckGuard;
class LibraryThread;
class MailCheck;
class NMailApi;
class QEventLoop;
class QString;

class CheckRun {
public:
    // Shows how far the fetch is: message n of count.
    using ProgressView = std::function<void(int n, int count)>;

    CheckRun(NMailApi &nmail, LibraryThread &thread, ProgressView showProgress);
    ~CheckRun();
    CheckRun(const CheckRun &) = delete;
    CheckRun &operator=(const CheckRun &) = delete;

    // The count the result display shows, or nothing when the check ended without a result.
    std::optional<int> run();
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

    NMailApi &m_nmail;
    LibraryThread &m_thread;
    ProgressView m_showProgress;
    std::unique_ptr<CheckGuard> m_guard;
    QEventLoop *m_waiting = nullptr;
    bool m_abandoned = false;
};
