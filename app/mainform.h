// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window room (app/): the main window, start-up and shutdown, and the check as the window
// runs it. It uses all the other rooms, and no other room includes an app/ header; the rooms
// below it hand back results and texts, and the check's boxes are shown from here.
//
// The main window: a small fixed window whose scene pane shows the character, a menu of two
// entries, and a row of controls (mostly outside the visible area) whose click actions the
// handlers call as plain operations. The window's outer size is set in twips and includes the
// frame and the menu bar as the window system draws them.
//
// Its collaborators come in through MainForm::Services: the POP3 library and the thread its
// calls run on during a check, the media-command layer and the remote access layer, so tests can
// put recording fakes in their place.
//
// A check (CheckMail) runs its steps with the server through CheckRun (checkrun.h), then shows
// its result here, or, stopped, the scene it had. The menu and the controls are laid out in
// mainformlayout.cpp.
#include "app/checkrun.h"
#include "ui/form.h"

#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class BackgroundTune;
class CommonDialog;
class GifPane;
class LibraryThread;
class MediaCommandLayer;
class NMailApi;
class PictureBox;
class QAction;
class QFrame;
class QToolButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class RemoteAccess;

// The file-selection component: holds its initial folder and filter; nothing opens it.
class CommonDialog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    QString InitDir;
    QString Filter = QStringLiteral("テキストファイル(*.txt)|*.txt");
    QString DefaultExt = QStringLiteral("txt");
};

class MainForm : public Form {
    Q_OBJECT
public:
    static inline const QString Title = QStringLiteral("ブリンドル");
    static inline const QString HomePage = QStringLiteral("https://www.example.com/");

    struct Services {
        NMailApi &nmail;
        MediaCommandLayer &media;
        RemoteAccess &remoteAccess;
        LibraryThread &nmailThread;
    };

    explicit MainForm(Services services);
    ~MainForm() override;

    // Outer size in twips, frame and menu bar included.
    void setOuterWidthTwips(int width);
    void setOuterHeightTwips(int height);
    QSize outerSizeTwips() const;
    void setPicture2WidthTwips(int width);
    void setPicture2HeightTwips(int height);

    // Controls, by the names the handlers use.
    QWidget *client() const { return m_client; }
    QMenuBar *menuBar() const { return m_menuBar; }
    PictureBox *Picture2() const { return m_picture2; }
    GifPane *WebBrowser1() const { return m_webBrowser1; }
    QLineEdit *Text3() const { return m_text3; }
    QLineEdit *Text6() const { return m_text6; }
    QCheckBox *Check1() const { return m_check1; }
    // How far a check's fetching is ("12/345", and "1.2 / 4.5 MB" under it), and the button
    // that stops the check; made at the first check.
    QLabel *progressLabel() const { return m_progress; }
    QLabel *progressBytesLabel() const { return m_progressBytes; }
    QToolButton *stopButton() const { return m_stopButton; }
    QTimer *Timer1() { return &m_timer1; }
    QTimer *Timer2() { return &m_timer2; }
    QTimer *tmrCharaStep() { return &m_tmrCharaStep; }
    CommonDialog *commonDialog() const { return m_commonDialog; }
    QAction *menuAction(const QString &name) const;

    // Window events.
    void Form_Load();
    void Form_Unload();

    // Click actions and menu commands.
    void Picture1_Click();
    void Picture7_Click();
    void Picture8_Click();
    void Picture8_MouseMove();
    void Picture10_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void mcheck_Click();
    void mset_Click();
    void mzenmen_Click();
    void mhikyaku_Click();
    void mmodosu_Click();
    void mhp_Click();
    void mhenkou_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    // Starts a check and returns at once; checkEnded() follows when it has ended.
    void CheckMail();
    bool isChecking() const { return m_check != nullptr; }

    // Speaks a short text to a screen reader where the user is (accessibility.h); the result of
    // a check and a stopped check are spoken through it.
    void announce(const QString &text);
    void announceStopped();

signals:
    void checkEnded();

protected:
    void loadStep() override { Form_Load(); }
    void unloadStep() override { Form_Unload(); }
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    // The scene pictures, by their names relative to the program folder.
    static inline const QString IdleScene = QStringLiteral("/★MailData/Yatai.gif");
    static inline const QString EventScene1 = QStringLiteral("/★MailData/nande.gif");
    static inline const QString EventScene2 = QStringLiteral("/★MailData/nande2.gif");

    void buildControls();
    // Names, roles and buddies for a screen reader (mainformaccessibility.cpp).
    void describeControls();
    void nameScene();
    void describeProgress();
    void announceResult(int count);
    void buildMenu();
    QAction *addMenuItem(
        QMenu *menu, const QString &name, const QString &caption, void (MainForm::*handler)());
    QString sceneAddress(const QString &relativeName) const;
    void enterIdleScene();
    void applyOuterSize();
    QSize currentOuterTwips() const;
    void measureFrame();

    void makeProgress();
    void showProgress(const CheckProgress &progress);
    void checkFinished(CheckRun::Outcome outcome, int count);
    void showCheckResult(int count);

    Services m_services;
    std::unique_ptr<BackgroundTune> m_tune;
    bool m_alwaysOnTop = false;
    QSize m_outerTwips;
    QSize m_frameExtra { 0, 0 }; // what the window system adds around the widget, in pixels

    QMenuBar *m_menuBar = nullptr;
    QWidget *m_client = nullptr;
    PictureBox *m_picture3 = nullptr;
    QLineEdit *m_text6 = nullptr;
    QLabel *m_label4 = nullptr;
    QPushButton *m_command2 = nullptr;
    QCheckBox *m_check1 = nullptr;
    QPushButton *m_command6 = nullptr;
    QPushButton *m_command4 = nullptr;
    QPushButton *m_command3 = nullptr;
    QLineEdit *m_text3 = nullptr;
    PictureBox *m_picture2 = nullptr;
    GifPane *m_webBrowser1 = nullptr;
    QPushButton *m_command1 = nullptr;
    PictureBox *m_picture8 = nullptr;
    PictureBox *m_picture1 = nullptr;
    PictureBox *m_picture7 = nullptr;
    PictureBox *m_picture10 = nullptr;
    QPushButton *m_command5 = nullptr;
    QLineEdit *m_text2 = nullptr;
    QTimer m_timer1;
    QTimer m_timer2;
    QTimer m_tmrCharaStep;
    QTimer m_frameTimer;
    int m_frameChecksLeft = 0;
    CheckRun *m_check = nullptr; // while a check runs
    QFrame *m_progressBox = nullptr;
    QLabel *m_progress = nullptr;
    QLabel *m_progressBytes = nullptr;
    QToolButton *m_stopButton = nullptr;
    CommonDialog *m_commonDialog = nullptr;
};
