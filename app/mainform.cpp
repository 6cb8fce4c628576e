// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainform.h"

#include "app/checkrun.h"
#include "core/programfolder.h"
#include "dialogs/forms.h"
#include "dialogs/henkouform.h"
#include "dialogs/idpassform.h"
#include "dialogs/optionform.h"
#include "dialogs/setform.h"
#include "mail/librarythread.h"
#include "mail/nmail.h"
#include "remoteaccess/hangup.h"
#include "scenes/backgroundtune.h"
#include "scenes/gifpane.h"
#include "settings/mailsettings.h"
#include "ui/accessibility.h"
#include "ui/picturebox.h"
#include "ui/prompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMoveEvent>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <chrono>
#include <optional>

namespace {

constexpr int IdleWindowWidth = 1555;
constexpr int IdleWindowHeight = 1955;
constexpr int IdlePaneSize = 1455;
constexpr int EventSize = 4000;
// For bench/check: with BRINDLE_CHECK_TIMES naming a file, each check from the menu appends the
// moment it starts and the moment its result shows (steady clock, in nanoseconds).
void noteCheckMoment(const char *what)
{
    static const QString path = qEnvironmentVariable("BRINDLE_CHECK_TIMES");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(QByteArray(what) + ' '
            + QByteArray::number(
                qint64(std::chrono::steady_clock::now().time_since_epoch().count()))
            + '\n');
}

} // namespace

MainForm::MainForm(Services services)
    : m_services(services)
{
    setObjectName(QStringLiteral("MainForm"));
    setAccessibleRole(this, QAccessible::Window);
    setWindowTitle(Title);
    // The result row is laid out for a small dialog font.
    QFont small = font();
    small.setPointSizeF(9);
    setFont(small);

    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName(QStringLiteral("menuBar"));
    m_menuBar->setNativeMenuBar(false);
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setAutoFillBackground(true);
    QPalette palette = m_client->palette();
    palette.setColor(QPalette::Window, QColor(64, 0, 0));
    m_client->setPalette(palette);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(m_menuBar);
    layout->addWidget(m_client);

    buildMenu();
    buildControls();

    m_tune = std::make_unique<BackgroundTune>(
        m_services.media, m_timer2, [this] { return m_check1->isChecked(); });

    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(1000);
    connect(&m_timer1, &QTimer::timeout, this, &MainForm::Timer1_Timer);
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    m_timer2.setInterval(100);
    connect(&m_timer2, &QTimer::timeout, this, &MainForm::Timer2_Timer);
    m_tmrCharaStep.setObjectName(QStringLiteral("tmrCharaStep"));
    m_tmrCharaStep.setInterval(300);
    m_timer1.start();
    m_timer2.start();
    m_frameTimer.setInterval(50);
    connect(&m_frameTimer, &QTimer::timeout, this, &MainForm::measureFrame);
    m_tmrCharaStep.start();

    // The client area as laid out; start-up gives the window its idle size.
    const int menuHeight = m_menuBar->sizeHint().height();
    setFixedSize(twipsToPixels(4350), twipsToPixels(3345) + menuHeight);
}

MainForm::~MainForm() = default;

// ---- Window size -------------------------------------------------------------------------

void MainForm::setOuterWidthTwips(int width)
{
    if (m_outerTwips.isEmpty())
        m_outerTwips = currentOuterTwips();
    m_outerTwips.setWidth(width);
    applyOuterSize();
}

void MainForm::setOuterHeightTwips(int height)
{
    if (m_outerTwips.isEmpty())
        m_outerTwips = currentOuterTwips();
    m_outerTwips.setHeight(height);
    applyOuterSize();
}

QSize MainForm::currentOuterTwips() const
{
    const QSize outer = size() + m_frameExtra;
    return QSize(
        outer.width() * 1440 / twipsToPixels(1440), outer.height() * 1440 / twipsToPixels(1440));
}

QSize MainForm::outerSizeTwips() const
{
    return m_outerTwips;
}

void MainForm::applyOuterSize()
{
    if (m_outerTwips.isEmpty())
        return;
    const QSize outer(twipsToPixels(m_outerTwips.width()), twipsToPixels(m_outerTwips.height()));
    const QSize inner = (outer - m_frameExtra).expandedTo(QSize(1, 1));
    if (size() != inner || minimumSize() != inner || maximumSize() != inner)
        setFixedSize(inner);
}

void MainForm::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    // The window manager frames the window some time after it is shown, and tells nobody: look
    // at the frame for a moment, and fit the outer size again whenever it changes.
    m_frameChecksLeft = 20;
    m_frameTimer.start();
    measureFrame();
}

void MainForm::measureFrame()
{
    if (--m_frameChecksLeft <= 0)
        m_frameTimer.stop();
    if (!isVisible())
        return;
    const QSize extra = frameGeometry().size() - size();
    if (extra != m_frameExtra) {
        m_frameExtra = extra;
        applyOuterSize();
    }
}

void MainForm::moveEvent(QMoveEvent *event)
{
    Form::moveEvent(event);
    measureFrame();
}

void MainForm::setPicture2WidthTwips(int width)
{
    m_picture2->resize(twipsToPixels(width), m_picture2->height());
}

void MainForm::setPicture2HeightTwips(int height)
{
    m_picture2->resize(m_picture2->width(), twipsToPixels(height));
}

QString MainForm::sceneAddress(const QString &relativeName) const
{
    return QStringLiteral("file://") + programFolder() + relativeName;
}

// ---- Start-up and shutdown -----------------------------------------------------------------

void MainForm::Form_Load()
{
    Forms &dialogs = forms();

    switch (ReadOptionNumber()) {
    case 1:
        dialogs.setForm.get().Check1()->setChecked(true);
        break;
    case 0:
        dialogs.setForm.get().Check1()->setChecked(false);
        break;
    default:
        break;
    }

    ReadServerSettings(mailSettings());
    m_commonDialog->InitDir = QDir::currentPath();

    m_services.nmail.NMailInitializeWinSock();
    m_services.nmail.NMailSetOption(1, NMailApi::BufferSize);

    if (mailSettings().Pop3Server.isEmpty())
        dialogs.optionForm.show();

    IdPassForm &account = dialogs.idPassForm.get();
    if (account.IdText()->text().isEmpty() || account.PassText()->text().isEmpty())
        dialogs.idPassForm.show();

    // The idle size and picture, and no tune.
    enterIdleScene();

    switch (ReadOptionNumber()) {
    case 1:
        dialogs.henkouForm.get().Option1()->setChecked(true);
        break;
    case 2:
        dialogs.henkouForm.get().Option2()->setChecked(true);
        break;
    default:
        break;
    }
}

void MainForm::Form_Unload()
{
    // The program ends here, and a check that is still running ends with it: abandoned, it
    // leaves the server and takes no further step, not even its result display.
    if (m_check) {
        m_check->abandon();
        delete std::exchange(m_check, nullptr);
    }
    m_tune->stopAndClose();
    m_timer2.stop();
    // The library's connections were made on its thread and are released there, behind any
    // call still in hand, never here, where a server's silence could hold the window.
    if (m_services.nmailThread.hasStarted())
        m_services.nmailThread.start([&nmail = m_services.nmail] { nmail.NMailEndWinSock(); });
    else
        m_services.nmail.NMailEndWinSock();
    // exit(), not quit(): quitting would close, and so unload, every other window first.
    QCoreApplication::exit(0);
}

// ---- Window commands -----------------------------------------------------------------------

void MainForm::Picture1_Click()
{
    forms().setForm.show();
}

void MainForm::mset_Click()
{
    Picture1_Click();
}

void MainForm::mhenkou_Click()
{
    forms().henkouForm.show();
}

void MainForm::Picture8_Click()
{
    // The message comes first; the stacking changes once the box is closed.
    if (!m_alwaysOnTop)
        prompter().msgBox(QStringLiteral("常に手前表示が設定されました。"), Prompter::Information);
    else
        prompter().msgBox(QStringLiteral("常に手前表示が解除されました。"), Prompter::Information);
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, !m_alwaysOnTop);
    if (wasVisible)
        show();
    m_alwaysOnTop = !m_alwaysOnTop;
}

void MainForm::mzenmen_Click()
{
    Picture8_Click();
}

void MainForm::Picture8_MouseMove()
{
    setWindowTitle(QStringLiteral("常に手前表示"));
}

void MainForm::Picture10_Click()
{
    const int answer = prompter().msgBox(
        QStringLiteral("「ポプリ亭」作者のホームページです。ちょっと見てみますか？"),
        Prompter::YesNo | Prompter::Question, QStringLiteral("確認"));
    if (answer == Prompter::IdYes)
        QDesktopServices::openUrl(QUrl(HomePage)); // no browser: nothing opens, nothing fails
}

void MainForm::mhp_Click()
{
    Picture10_Click();
}

// ---- Scenes and tune -----------------------------------------------------------------------

void MainForm::Command2_Click()
{
    enterIdleScene();
}

void MainForm::enterIdleScene()
{
    setOuterHeightTwips(IdleWindowHeight);
    setOuterWidthTwips(IdleWindowWidth);
    setPicture2WidthTwips(IdlePaneSize);
    setPicture2HeightTwips(IdlePaneSize);
    m_webBrowser1->navigate(sceneAddress(IdleScene));
    // The watcher is left as it is: it polls a closed tune and does nothing.
    m_tune->stopAndClose();
}

void MainForm::mmodosu_Click()
{
    Command2_Click();
}

void MainForm::Command3_Click()
{
    Command4_Click();
    setPicture2WidthTwips(EventSize);
    setPicture2HeightTwips(EventSize);
    setOuterWidthTwips(EventSize);
    setOuterHeightTwips(EventSize);
    HenkouForm &choice = forms().henkouForm.get();
    if (choice.Option1()->isChecked())
        m_webBrowser1->navigate(sceneAddress(EventScene1));
    else if (choice.Option2()->isChecked())
        m_webBrowser1->navigate(sceneAddress(EventScene2));
}

void MainForm::mhikyaku_Click()
{
    Command3_Click();
}

void MainForm::Command4_Click()
{
    m_tune->play();
}

void MainForm::Command6_Click()
{
    m_tune->stop();
}

void MainForm::Timer2_Timer()
{
    m_tune->watchTick();
}

void MainForm::Timer1_Timer()
{
    // Ticks without effect: nothing but the menu starts a check.
}

// ---- Mail check ----------------------------------------------------------------------------

void MainForm::mcheck_Click()
{
    noteCheckMoment("start");
    Picture7_Click();
}

void MainForm::Picture7_Click()
{
    CheckMail();
}

void MainForm::CheckMail()
{
    // Input cannot start a second check while one runs (it is dropped), but code could.
    if (m_check)
        return;
    makeProgress();
    m_check = new CheckRun(m_services.nmail, m_services.nmailThread, m_stopButton, this);
    connect(m_check, &CheckRun::progressChanged, this, &MainForm::showProgress);
    connect(m_check, &CheckRun::reachingServer, this, [this] { m_tune->prepare(); });
    connect(m_check, &CheckRun::finished, this, &MainForm::checkFinished);
    m_check->start();
}

void MainForm::checkFinished(CheckRun::Outcome outcome, int count)
{
    m_check->deleteLater();
    m_check = nullptr;
    m_progressBox->hide();
    // Every check ends with the result display, unless it was stopped: a stopped check leaves
    // the window with the scene it showed before, and still hangs up when that is asked for.
    if (outcome == CheckRun::Outcome::Counted) {
        showCheckResult(count);
    } else {
        announceStopped();
        if (forms().setForm.get().Check1()->isChecked())
            Command5_Click();
    }
    noteCheckMoment("result");
    emit checkEnded();
}

void MainForm::Command5_Click()
{
    hangUpDialUpConnections(m_services.remoteAccess);
}

// The progress and its stop button, drawn like a tool tip so that they read over any picture
// and the window's dark red; made at the first check.
void MainForm::makeProgress()
{
    if (m_progressBox)
        return;
    m_progressBox = new QFrame(m_client);
    m_progressBox->setObjectName(QStringLiteral("ProgressBox"));
    QPalette palette = m_progressBox->palette();
    palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::ToolTipBase));
    palette.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::ToolTipText));
    m_progressBox->setPalette(palette);
    m_progressBox->setAutoFillBackground(true);
    m_progressBox->setFrameShape(QFrame::Box);
    // Two lines, the messages beside the button and the bytes under them, so that the whole
    // fits the idle window's width.
    auto *layout = new QGridLayout(m_progressBox);
    layout->setContentsMargins(2, 1, 1, 1);
    layout->setHorizontalSpacing(4);
    layout->setVerticalSpacing(0);
    m_progress = new QLabel(m_progressBox);
    m_progress->setObjectName(QStringLiteral("Progress"));
    layout->addWidget(m_progress, 0, 0);
    m_progressBytes = new QLabel(m_progressBox);
    m_progressBytes->setObjectName(QStringLiteral("ProgressBytes"));
    layout->addWidget(m_progressBytes, 1, 0, 1, 2);
    m_stopButton = new QToolButton(m_progressBox);
    m_stopButton->setObjectName(QStringLiteral("StopCheck"));
    m_stopButton->setText(QStringLiteral("中止"));
    m_stopButton->setAutoRaise(true);
    m_stopButton->setFocusPolicy(Qt::NoFocus);
    m_stopButton->setToolTip(QStringLiteral("チェックを中止します（Esc）"));
    connect(m_stopButton, &QToolButton::clicked, this, [this] {
        if (m_check)
            m_check->stop();
    });
    layout->addWidget(m_stopButton, 0, 1, Qt::AlignRight);
    m_progressBox->move(0, 0);
    m_progressBox->hide();
    describeProgress();
}

void MainForm::showProgress(const CheckProgress &progress)
{
    // The messages beside 中止 and under them the part of the mailbox read; before the fetch,
    // the phase under 中止, where the idle window has room for its longer text.
    const bool fetching = progress.phase == CheckProgress::Phase::Fetching;
    m_progress->setText(fetching ? progress.messagesText() : QString());
    const QString below = fetching ? progress.octetsText() : progress.messagesText();
    m_progressBytes->setText(below);
    m_progressBytes->setVisible(!below.isEmpty());
    m_progressBox->adjustSize();
    m_progressBox->raise();
    m_progressBox->show();
}

void MainForm::showCheckResult(int count)
{
    Command3_Click();
    // Shown from their start: a line edit given a text scrolls to its end.
    m_text3->setText(
        count > 0 ? QStringLiteral("新着メール有り。") : QStringLiteral("新着メールなし。"));
    m_text3->setCursorPosition(0);
    m_text6->setText(QString::number(count));
    m_text6->setCursorPosition(0);
    announceResult(count);
    if (forms().setForm.get().Check1()->isChecked())
        Command5_Click();
}
