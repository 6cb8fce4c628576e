#include "app/checkrun.h"

#include "app/checkguard.h"
#include "mail/checkmail.h"
#include "mail/librarythread.h"
#include "mail/nmail.h"
#include "mail/servertrust.h"
#include "dialogs/forms.h"
#include "dialogs/idpassform.h"
#include "settings/mailsettings.h"
#include "core/programfolder.h"
#include "ui/prompter.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <type_traits>

namespace {

// How often the progress of a check is brought up to date.
constexpr std::chrono::milliseconds ProgressInterval { 50 };

} // namespace

CheckRun::CheckRun(NMailApi &nmail, LibraryThread &thread, View view)
    : m_nmail(nmail)
    , m_thread(thread)
    , m_view(std::move(view))
{
}

CheckRun::~CheckRun() = default;

// The steps below wait for each library call through this.
template<class Call> auto CheckRun::callLibrary(Call call)
{
    using Result = std::invoke_result_t<Call>;
    if constexpr (std::is_void_v<Result>) {
        return waitForLibrary(std::move(call));
    } else {
        auto result = std::make_shared<std::optional<Result>>();
        if (!waitForLibrary([call = std::move(call), result] { *result = call(); }))
            return std::optional<Result>();
        return std::move(*result);
    }
}

std::optional<int> CheckRun::run()
{
    m_guard = std::make_unique<CheckGuard>([this] { stop(); });
    m_guard->setStopButton(m_view.stopButton);
    const auto done = qScopeGuard([this] { m_guard.reset(); });

    // An empty server name makes no call and shows no box.
    int count = 0;
    if (!mailSettings().Pop3Server.isEmpty() && !checkServer(&count))
        return std::nullopt;
    return count;
}

void CheckRun::stop()
{
    if (m_stopped || m_abandoned)
        return;
    m_stopped = true;
    // The call in progress, if any, comes back on the library's thread with a failure that
    // nobody reads; the task it belongs to makes no further call.
    if (m_mailCheck)
        m_mailCheck->stop();
    m_nmail.abortConnections();
    if (m_waiting)
        m_waiting->quit();
}

void CheckRun::abandon()
{
    m_abandoned = true;
    if (m_waiting)
        m_waiting->quit();
}

bool CheckRun::checkServer(int *count)
{
    MailSettings &settings = mailSettings();
    // Shared with the library's thread: a call still running when the check ends keeps what it
    // writes to alive.
    const auto check
        = std::make_shared<MailCheck>(m_nmail, settings.Pop3Server, settings.UseApop != 0);
    m_mailCheck = check;
    if (m_view.prepareTune)
        m_view.prepareTune();
    std::optional<bool> connected = callLibrary([check] { return check->connect(); });
    if (!connected)
        return false;
    // A certificate the user has not trusted (yet) for this server stopped the connection before
    // any credential went out: ask, instead of the plain error. Yes trusts it and connects again,
    // once; a refusal after that (the server changed its certificate meanwhile) asks again.
    for (int asked = 0; !*connected && asked < 2; ++asked) {
        const std::optional<CertificateRefusal> refusal = m_nmail.takeCertificateRefusal();
        if (!refusal)
            break;
        const std::optional<bool> trusted = askAboutCertificate(*refusal);
        if (!trusted)
            return false;
        if (!*trusted)
            return true; // no: the check ends as a failed connection, without a box
        connected = callLibrary([check] { return check->connect(); });
        if (!connected)
            return false;
    }
    if (!*connected) {
        // No close call for a connection that was never made.
        const auto text = callLibrary([check] { return check->failureText(); });
        return text && showErrorBox(*text);
    }

    // The account is read afresh at every check, never taken from the dialog.
    const QString id = ReadAccountValue(QStringLiteral("NAME"));
    const QString password = ReadAccountValue(QStringLiteral("NAME2"));
    IdPassForm &account = forms().idPassForm.get();
    account.IdText()->setText(id);
    account.PassText()->setText(password);
    settings.UserId = id;
    settings.UserPassword = password;

    if (id.isEmpty() || password.isEmpty()) {
        forms().idPassForm.show();
    } else {
        const auto result
            = callLibrary([check, id, password] { return check->authenticate(id, password); });
        if (!result)
            return false;
        *count = *result;
        if (*count > 0 && !fetchMessages(check, *count))
            return false;
        if (*count < 0) {
            const auto text = callLibrary([check] { return check->failureText(); });
            if (!text || !showErrorBox(*text))
                return false;
        }
    }
    return callLibrary([check] { check->close(); });
}

// Status, size and text of every message, in one task: the library's thread goes from one
// message to the next without waiting for the window, and the window shows how far it has got
// at a pace that can be read.
bool CheckRun::fetchMessages(const std::shared_ptr<MailCheck> &check, int count)
{
    const auto reached = std::make_shared<std::atomic<int>>(1);
    const qint64 total = check->mailboxOctets();
    const qint64 before = m_nmail.receivedOctets();
    QString shown;
    const auto show = [&] {
        const QString text = formatProgress(reached->load(std::memory_order_relaxed), count,
            m_nmail.receivedOctets() - before, total);
        if (text != shown)
            m_view.showProgress(shown = text);
    };
    show();
    QTimer progress;
    progress.setInterval(ProgressInterval);
    QObject::connect(&progress, &QTimer::timeout, show);
    progress.start();
    return callLibrary([check, count, reached] {
        for (int n = 1; n <= count && !check->isStopped(); ++n) {
            reached->store(n, std::memory_order_relaxed);
            check->fetch(n);
        }
    });
}

bool CheckRun::waitForLibrary(std::function<void()> task)
{
    if (m_abandoned || m_stopped)
        return false;
    QEventLoop loop;
    bool done = false;
    int number = 0;
    const QMetaObject::Connection finished
        = QObject::connect(&m_thread, &LibraryThread::finished, &loop, [&](int task) {
              if (task != number)
                  return; // a task of a check that was stopped
              done = true;
              loop.quit();
          });
    number = m_thread.start(std::move(task));
    // Returns at once, without the task, when the program is ending: the main window was
    // closed while this waited, or before.
    m_waiting = &loop;
    loop.exec();
    m_waiting = nullptr;
    QObject::disconnect(finished);
    // The task may have finished in the same pass of the event loop as the main window's close
    // or the user's stop: the check ends all the same.
    return done && !m_abandoned && !m_stopped;
}

std::optional<bool> CheckRun::askAboutCertificate(const CertificateRefusal &refusal)
{
    m_guard->setActive(false);
    const int answer = prompter().msgBox(certificateQuestion(refusal),
        Prompter::YesNo | Prompter::Exclamation | Prompter::DefaultButton2,
        QStringLiteral("証明書の確認"));
    m_guard->setActive(true);
    if (m_abandoned)
        return std::nullopt;
    if (answer != Prompter::IdYes)
        return false;
    if (!m_nmail.trustCertificate(refusal)) {
        if (!showErrorBox(QStringLiteral("この証明書を信頼したことを %1 に記録できませんでした。"
                                         "パスワードは送信していません。")
                              .arg(userStateFolder())))
            return std::nullopt;
        return false;
    }
    return true;
}

bool CheckRun::showErrorBox(const QString &text)
{
    // The box is answered with the mouse or keyboard like any other.
    m_guard->setActive(false);
    prompter().msgBox(text, Prompter::OkOnly, QStringLiteral("エラー"));
    m_guard->setActive(true);
    return !m_abandoned;
}
