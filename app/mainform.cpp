#include "app/mainform.h"

#include "app/checkguard.h"
#include "app/picturebox.h"
#include "mail/checkmail.h"
#include "mail/hangup.h"
#include "mail/librarythread.h"
#include "mail/nmail.h"
#include "scenes/backgroundtune.h"
#include "scenes/gifpane.h"
#include "settings/dialogs/forms.h"
#include "settings/dialogs/henkouform.h"
#include "settings/dialogs/idpassform.h"
#include "settings/dialogs/optionform.h"
#include "settings/dialogs/prompter.h"
#include "settings/dialogs/setform.h"
#include "settings/mailsettings.h"
#include "settings/programfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMoveEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <type_traits>

namespace {

const QString IdleScene = QStringLiteral("/★MailData/Yatai.gif");
const QString EventScene1 = QStringLiteral("/★MailData/nande.gif");
const QString EventScene2 = QStringLiteral("/★MailData/nande2.gif");

constexpr int IdleWindowWidth = 1555;
constexpr int IdleWindowHeight = 1955;
constexpr int IdlePaneSize = 1455;
constexpr int EventSize = 4000;
// How often the progress of a check is brought up to date.
constexpr std::chrono::milliseconds ProgressInterval { 50 };

QPushButton *makeButton(QWidget *container, const char *name, const QString &caption, int left,
    int top, int width, int height)
{
    auto *button = makeControl<QPushButton>(container, name, QRect(left, top, width, height));
    button->setText(caption);
    return button;
}

PictureBox *makePictureButton(QWidget *container, const char *name, int left, int top)
{
    auto *box = makeControl<PictureBox>(container, name, QRect(left, top, 315, 315));
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    box->setPalette(palette);
    box->setPixmap(QPixmap(QStringLiteral(":/buttons/%1.gif").arg(QLatin1String(name))));
    return box;
}

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

QAction *MainForm::addMenuItem(
    QMenu *menu, const QString &name, const QString &caption, void (MainForm::*handler)())
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    return action;
}

void MainForm::buildMenu()
{
    QMenu *file = m_menuBar->addMenu(QStringLiteral("ファイル"));
    file->setObjectName(QStringLiteral("mfile"));
    file->menuAction()->setObjectName(QStringLiteral("mfile"));
    addMenuItem(file, QStringLiteral("mcheck"), QStringLiteral("新着メールチェック"),
        &MainForm::mcheck_Click);
    file->addSeparator()->setObjectName(QStringLiteral("mline2"));
    addMenuItem(file, QStringLiteral("mset"), QStringLiteral("設定"), &MainForm::mset_Click);
    addMenuItem(
        file, QStringLiteral("mzenmen"), QStringLiteral("常に前面表示"), &MainForm::mzenmen_Click);
    file->addSeparator()->setObjectName(QStringLiteral("mline3"));
    addMenuItem(
        file, QStringLiteral("mhikyaku"), QStringLiteral("なんでだろ♪"), &MainForm::mhikyaku_Click);
    addMenuItem(file, QStringLiteral("mmodosu"), QStringLiteral("なんでだろを戻す"),
        &MainForm::mmodosu_Click);
    file->addSeparator()->setObjectName(QStringLiteral("mline"));
    addMenuItem(
        file, QStringLiteral("mhp"), QStringLiteral("作者のホームページ"), &MainForm::mhp_Click);

    QMenu *picture = m_menuBar->addMenu(QStringLiteral("画像"));
    picture->setObjectName(QStringLiteral("mgazou"));
    picture->menuAction()->setObjectName(QStringLiteral("mgazou"));
    addMenuItem(picture, QStringLiteral("mhenkou"), QStringLiteral("画像を変える"),
        &MainForm::mhenkou_Click);

    // The captions carry no access keys; F10 opens the first menu, as on the desktop.
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, m_menuBar,
        [this, file] { m_menuBar->setActiveAction(file->menuAction()); });
}

QAction *MainForm::menuAction(const QString &name) const
{
    const auto actions = m_menuBar->findChildren<QAction *>(name);
    return actions.isEmpty() ? nullptr : actions.first();
}

void MainForm::buildControls()
{
    QWidget *window = m_client;

    m_picture3 = makeControl<PictureBox>(window, "Picture3", QRect(2760, 3120, 1695, 300));
    // A picture box's own background is the system's button face, not the window's dark red.
    QPalette boxPalette = m_picture3->palette();
    boxPalette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    m_picture3->setPalette(boxPalette);
    m_text6 = makeControl<QLineEdit>(m_picture3, "Text6", QRect(680, 0, 375, 270));
    m_label4 = makeControl<QLabel>(m_picture3, "Label4", QRect(-40, 20, 735, 255));
    m_label4->setText(QStringLiteral("　新着数"));
    m_label4->setAttribute(Qt::WA_TranslucentBackground);
    m_label4->setAutoFillBackground(false);
    QPalette labelPalette = m_label4->palette();
    labelPalette.setColor(QPalette::WindowText, QColor(64, 0, 0));
    m_label4->setPalette(labelPalette);
    m_label4->raise(); // within Picture3, Text6 lies above Label4
    m_text6->raise();

    m_command2 = makeButton(window, "Command2", QStringLiteral("元のサイズ"), 20, 3120, 1320, 260);
    m_check1 = makeControl<QCheckBox>(window, "Check1", QRect(3720, 6000, 1995, 510));
    m_check1->setText(QStringLiteral("ループ"));
    m_check1->setChecked(true);
    m_command6 = makeButton(window, "Command6", QStringLiteral("停止"), 5760, 5880, 975, 255);
    m_command4 = makeButton(window, "Command4", QStringLiteral("再生"), 5760, 6120, 975, 255);
    m_command3
        = makeButton(window, "Command3", QStringLiteral("イベント開始"), 5760, 5520, 1215, 375);
    m_text3 = makeControl<QLineEdit>(window, "Text3", QRect(1320, 3120, 1455, 300));

    m_picture2 = makeControl<PictureBox>(window, "Picture2", QRect(0, 0, 4575, 3495));
    m_picture2->setMouseTracking(false);
    QPalette panePalette = m_picture2->palette();
    panePalette.setColor(QPalette::Window, panePalette.color(QPalette::Base));
    m_picture2->setPalette(panePalette);
    m_webBrowser1 = makeControl<GifPane>(m_picture2, "WebBrowser1", QRect(-170, -300, 5055, 3735));
    // The picture sits at the page margin, so through the pane's negative offset its top-left
    // meets the picture box's top-left.
    m_webBrowser1->setPageMargin(QPoint(twipsToPixels(170), twipsToPixels(300)));

    m_command1 = makeButton(window, "Command1", QStringLiteral("Command1"), 120, 5400, 1215, 375);
    m_command1->hide();
    m_picture8 = makePictureButton(window, "Picture8", 1200, 6000);
    m_picture8->hide();
    m_picture1 = makePictureButton(window, "Picture1", 480, 6000);
    m_picture7 = makePictureButton(window, "Picture7", 120, 6000);
    m_picture7->hide();
    m_picture10 = makePictureButton(window, "Picture10", 840, 6000);
    m_picture10->hide();
    m_command5 = makeButton(window, "Command5", QStringLiteral("切断"), 5760, 6360, 1095, 375);
    m_command5->hide();
    m_text2 = makeControl<QLineEdit>(window, "Text2", QRect(1680, 6000, 150, 375));
    m_text2->setText(QStringLiteral("Text2"));
    m_text2->hide();

    // Stacking: a control listed earlier lies above every control listed after it.
    const QList<QWidget *> stacking = { m_picture3, m_command2, m_check1, m_command6, m_command4,
        m_command3, m_text3, m_picture2, m_command1, m_picture8, m_picture1, m_picture7,
        m_picture10, m_command5, m_text2 };
    for (auto it = stacking.rbegin(); it != stacking.rend(); ++it)
        (*it)->raise();

    const QList<QWidget *> tabOrder = { m_text2, m_command5, m_picture10, m_picture7, m_picture1,
        m_picture8, m_command1, m_picture2, m_webBrowser1, m_text3, m_command3, m_command4,
        m_command6, m_check1, m_command2, m_picture3, m_text6, m_label4 };
    for (int i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(m_command2, &QPushButton::clicked, this, &MainForm::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &MainForm::Command3_Click);
    connect(m_command4, &QPushButton::clicked, this, &MainForm::Command4_Click);
    connect(m_command5, &QPushButton::clicked, this, &MainForm::Command5_Click);
    connect(m_command6, &QPushButton::clicked, this, &MainForm::Command6_Click);
    connect(m_picture1, &PictureBox::clicked, this, &MainForm::Picture1_Click);
    connect(m_picture7, &PictureBox::clicked, this, &MainForm::Picture7_Click);
    connect(m_picture8, &PictureBox::clicked, this, &MainForm::Picture8_Click);
    connect(m_picture8, &PictureBox::mouseMoved, this, &MainForm::Picture8_MouseMove);
    connect(m_picture10, &PictureBox::clicked, this, &MainForm::Picture10_Click);

    m_commonDialog = new CommonDialog(this);
    m_commonDialog->setObjectName(QStringLiteral("CommonDialog"));
}

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
    m_tune->stopAndClose();
    m_timer2.stop();
    // Closed during a check, the library is in its thread's hands: the release queues behind.
    if (m_services.nmailThread.isBusy())
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
    noteCheckMoment("result");
}

void MainForm::Picture7_Click()
{
    CheckMail();
}

template<class Call> auto MainForm::callLibrary(Call call)
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

void MainForm::CheckMail()
{
    // Input cannot start a second check while one runs (it is dropped), but code could.
    if (m_checkGuard)
        return;
    CheckGuard guard;
    m_checkGuard = &guard;
    const auto done = qScopeGuard([this] { m_checkGuard = nullptr; });

    // An empty server name makes no call and shows no box. Every check ends with the result
    // display, unless the program is ending.
    int count = 0;
    if (mailSettings().Pop3Server.isEmpty() || checkServer(&count))
        showCheckResult(count);
}

bool MainForm::checkServer(int *count)
{
    MailSettings &settings = mailSettings();
    // Shared with the library's thread: a call still running when the program ends keeps what
    // it writes to alive.
    const auto check
        = std::make_shared<MailCheck>(m_services.nmail, settings.Pop3Server, settings.UseApop != 0);
    const std::optional<bool> connected = callLibrary([check] { return check->connect(); });
    if (!connected)
        return false;
    if (!*connected) {
        // No close call for a connection that was never made.
        const auto text = callLibrary([check] { return check->failureText(); });
        if (!text)
            return false;
        showErrorBox(*text);
        return true;
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
            if (!text)
                return false;
            showErrorBox(*text);
        }
    }
    return callLibrary([check] { check->close(); });
}

// Status, size and text of every message, in one task: the library's thread goes from one
// message to the next without waiting for the window, and the window shows how far it has got
// at a pace that can be read.
bool MainForm::fetchMessages(const std::shared_ptr<MailCheck> &check, int count)
{
    const auto reached = std::make_shared<std::atomic<int>>(1);
    int shown = 1;
    showProgress(shown, count);
    QTimer progress;
    progress.setInterval(ProgressInterval);
    connect(&progress, &QTimer::timeout, this, [&] {
        if (const int n = reached->load(std::memory_order_relaxed); n != shown)
            showProgress(shown = n, count);
    });
    progress.start();
    return callLibrary([check, count, reached] {
        for (int n = 1; n <= count; ++n) {
            reached->store(n, std::memory_order_relaxed);
            check->fetch(n);
        }
    });
}

void MainForm::Command5_Click()
{
    hangUpDialUpConnections(m_services.remoteAccess);
}

bool MainForm::waitForLibrary(std::function<void()> task)
{
    LibraryThread &thread = m_services.nmailThread;
    QEventLoop loop;
    bool done = false;
    const QMetaObject::Connection finished = connect(&thread, &LibraryThread::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    thread.start(std::move(task));
    // Returns at once, without the task, when the program is ending: the main window was
    // closed while this waited, or before.
    loop.exec();
    disconnect(finished);
    return done;
}

void MainForm::showErrorBox(const QString &text)
{
    // The box is answered with the mouse or keyboard like any other.
    m_checkGuard->setActive(false);
    prompter().msgBox(text, Prompter::OkOnly, QStringLiteral("エラー"));
    m_checkGuard->setActive(true);
}

void MainForm::showProgress(int n, int count)
{
    if (!m_progress) {
        m_progress = new QLabel(m_client);
        m_progress->setObjectName(QStringLiteral("Progress"));
        // Drawn like a tool tip, so it reads over any picture and the window's dark red.
        QPalette palette = m_progress->palette();
        palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::ToolTipBase));
        palette.setColor(
            QPalette::WindowText, QApplication::palette().color(QPalette::ToolTipText));
        m_progress->setPalette(palette);
        m_progress->setAutoFillBackground(true);
        m_progress->setFrameShape(QFrame::Box);
        m_progress->setMargin(2);
        m_progress->move(0, 0);
    }
    m_progress->setText(QStringLiteral("%1/%2").arg(n).arg(count));
    m_progress->adjustSize();
    m_progress->raise();
    m_progress->show();
}

void MainForm::showCheckResult(int count)
{
    if (m_progress)
        m_progress->hide();
    Command3_Click();
    // Shown from their start: a line edit given a text scrolls to its end.
    m_text3->setText(
        count > 0 ? QStringLiteral("新着メール有り。") : QStringLiteral("新着メールなし。"));
    m_text3->setCursorPosition(0);
    m_text6->setText(QString::number(count));
    m_text6->setCursorPosition(0);
    if (forms().setForm.get().Check1()->isChecked())
        Command5_Click();
}
