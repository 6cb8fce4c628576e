// SPDX-License-Identifier: GPL-3.0-or-later
#include "apptestsupport.h"

#include "scenes/gifpane.h"
#include "dialogs/henkouform.h"
#include "dialogs/idpassform.h"
#include "dialogs/optionform.h"
#include "dialogs/setform.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace {

QRect twips(int l, int t, int w, int h)
{
    return twipsRect(l, t, w, h);
}

// Records the addresses the desktop was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

} // namespace

TEST_F(MainFormTest, LayoutMatchesTheWindowsMakeUp)
{
    MainForm form(MainForm::Services { m_nmail, m_media, m_ras, m_nmailThread });
    EXPECT_EQ(form.windowTitle(), QStringLiteral("ブリンドル"));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the user cannot resize the window";

    struct Expected {
        const char *name;
        const char *container;
        QRect rect;
        bool hidden;
    };
    const Expected expected[] = {
        { "Picture3", "client", twips(2760, 3120, 1695, 300), false },
        { "Text6", "Picture3", twips(680, 0, 375, 270), false },
        { "Label4", "Picture3", twips(-40, 20, 735, 255), false },
        { "Command2", "client", twips(20, 3120, 1320, 260), false },
        { "Check1", "client", twips(3720, 6000, 1995, 510), false },
        { "Command6", "client", twips(5760, 5880, 975, 255), false },
        { "Command4", "client", twips(5760, 6120, 975, 255), false },
        { "Command3", "client", twips(5760, 5520, 1215, 375), false },
        { "Text3", "client", twips(1320, 3120, 1455, 300), false },
        { "Picture2", "client", twips(0, 0, 4575, 3495), false },
        { "WebBrowser1", "Picture2", twips(-170, -300, 5055, 3735), false },
        { "Command1", "client", twips(120, 5400, 1215, 375), true },
        { "Picture8", "client", twips(1200, 6000, 315, 315), true },
        { "Picture1", "client", twips(480, 6000, 315, 315), false },
        { "Picture7", "client", twips(120, 6000, 315, 315), true },
        { "Picture10", "client", twips(840, 6000, 315, 315), true },
        { "Command5", "client", twips(5760, 6360, 1095, 375), true },
        { "Text2", "client", twips(1680, 6000, 150, 375), true },
    };
    for (const Expected &e : expected) {
        auto *w = form.findChild<QWidget *>(QLatin1String(e.name));
        ASSERT_TRUE(w) << e.name;
        EXPECT_EQ(w->parentWidget()->objectName(), QLatin1String(e.container)) << e.name;
        EXPECT_EQ(w->geometry(), e.rect) << e.name;
        EXPECT_EQ(w->isHidden(), e.hidden) << e.name;
    }

    EXPECT_EQ(form.findChild<QLabel *>("Label4")->text(), QStringLiteral("　新着数"));
    EXPECT_EQ(form.findChild<QPushButton *>("Command2")->text(), QStringLiteral("元のサイズ"));
    EXPECT_EQ(form.findChild<QPushButton *>("Command3")->text(), QStringLiteral("イベント開始"));
    EXPECT_EQ(form.findChild<QPushButton *>("Command5")->text(), QStringLiteral("切断"));
    EXPECT_EQ(form.findChild<QLineEdit *>("Text2")->text(), QStringLiteral("Text2"));
    EXPECT_TRUE(form.Text3()->text().isEmpty());
    EXPECT_TRUE(form.Check1()->isChecked());
    EXPECT_EQ(form.Check1()->text(), QStringLiteral("ループ"));

    // Earlier in the list lies above: in the client's child order, later is higher.
    const QObjectList order = form.client()->children();
    auto z = [&](const char *name) { return order.indexOf(form.findChild<QWidget *>(name)); };
    EXPECT_GT(z("Command2"), z("Picture2"));
    EXPECT_GT(z("Text3"), z("Picture2"));
    EXPECT_GT(z("Picture3"), z("Text3"));
    EXPECT_GT(z("Picture2"), z("Text2"));

    EXPECT_EQ(form.Timer1()->interval(), 1000);
    EXPECT_EQ(form.Timer2()->interval(), 100);
    EXPECT_EQ(form.tmrCharaStep()->interval(), 300);
    EXPECT_TRUE(form.Timer1()->isActive());
    EXPECT_TRUE(form.Timer2()->isActive());
    EXPECT_TRUE(form.tmrCharaStep()->isActive());
    EXPECT_EQ(form.commonDialog()->Filter, QStringLiteral("テキストファイル(*.txt)|*.txt"));
}

TEST_F(MainFormTest, MenuTreeInOrder)
{
    MainForm form(MainForm::Services { m_nmail, m_media, m_ras, m_nmailThread });
    const QList<QAction *> top = form.menuBar()->actions();
    ASSERT_EQ(top.size(), 2);
    EXPECT_EQ(top[0]->text(), QStringLiteral("ファイル"));
    EXPECT_EQ(top[1]->text(), QStringLiteral("画像"));

    QStringList file;
    for (QAction *a : top[0]->menu()->actions())
        file << a->objectName() + QLatin1Char('=')
                + (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(file,
        QStringList({ "mcheck=新着メールチェック", "mline2=-", "mset=設定", "mzenmen=常に前面表示",
            "mline3=-", "mhikyaku=なんでだろ♪", "mmodosu=なんでだろを戻す", "mline=-",
            "mhp=作者のホームページ" }));
    const QList<QAction *> picture = top[1]->menu()->actions();
    ASSERT_EQ(picture.size(), 1);
    EXPECT_EQ(picture[0]->objectName(), QStringLiteral("mhenkou"));
    EXPECT_EQ(picture[0]->text(), QStringLiteral("画像を変える"));
    for (QAction *a : top[0]->menu()->actions()) {
        EXPECT_TRUE(a->isEnabled());
        EXPECT_FALSE(a->isChecked());
        EXPECT_TRUE(a->shortcut().isEmpty());
    }
}

TEST_F(MainFormTest, StartUpWithNothingStoredAsksForServerAndAccount)
{
    MainForm &form = loadForm();
    EXPECT_EQ(m_nmail.calls, QStringList({ "InitializeWinSock", "SetOption 1 8192" }));
    EXPECT_EQ(m_media.commands, QStringList({ "stop bgm", "close bgm" }));
    ASSERT_TRUE(forms().optionForm.isLoaded());
    EXPECT_TRUE(forms().optionForm.get().isVisible());
    ASSERT_TRUE(forms().idPassForm.isLoaded());
    EXPECT_TRUE(forms().idPassForm.get().isVisible());
    // A missing option number counts as 0: the hub dialog is loaded with its box clear, and
    // the image dialog is left alone.
    ASSERT_TRUE(forms().setForm.isLoaded());
    EXPECT_FALSE(forms().setForm.get().Check1()->isChecked());
    EXPECT_FALSE(forms().henkouForm.isLoaded());

    EXPECT_EQ(form.outerSizeTwips(), QSize(1555, 1955));
    EXPECT_EQ(form.Picture2()->size(), QSize(twipsToPixels(1455), twipsToPixels(1455)));
    EXPECT_EQ(form.WebBrowser1()->currentAddress(),
        QStringLiteral("file://") + m_program + QStringLiteral("/★MailData/Yatai.gif"));
    EXPECT_EQ(form.commonDialog()->InitDir, QDir::currentPath());
    EXPECT_TRUE(form.Text3()->text().isEmpty()) << "start-up runs no check";
}

TEST_F(MainFormTest, StartUpRestoresTheOptionNumber)
{
    struct Row {
        int number;
        bool setFormLoaded;
        bool check1;
        bool henkouLoaded;
        bool option1;
        bool option2;
    };
    const Row rows[] = {
        { 0, true, false, false, false, false },
        { 1, true, true, true, true, false },
        { 2, false, false, true, false, true },
        { 7, false, false, false, false, false },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.number);
        setOptionNumber(row.number);
        setServer("pop.example");
        setAccount("bob", "secret");
        loadForm();
        EXPECT_FALSE(forms().optionForm.isLoaded());
        EXPECT_FALSE(forms().idPassForm.get().isVisible());
        EXPECT_EQ(forms().setForm.isLoaded(), row.setFormLoaded);
        EXPECT_EQ(forms().henkouForm.isLoaded(), row.henkouLoaded);
        if (row.setFormLoaded)
            EXPECT_EQ(forms().setForm.get().Check1()->isChecked(), row.check1);
        if (row.henkouLoaded) {
            EXPECT_EQ(forms().henkouForm.get().Option1()->isChecked(), row.option1);
            EXPECT_EQ(forms().henkouForm.get().Option2()->isChecked(), row.option2);
        }
        EXPECT_EQ(mailSettings().Pop3Server, QStringLiteral("pop.example"));
        m_form.reset();
        forms().destroyAllWithoutUnload();
    }
}

TEST_F(MainFormTest, VbmailBesideTheProgramIsNotRead)
{
    writeFile(m_program + QStringLiteral("/vbmail.ini"), "POP3=pop.example\r\n");
    loadForm();
    EXPECT_TRUE(mailSettings().Pop3Server.isEmpty());
    EXPECT_TRUE(forms().optionForm.get().isVisible());
}

TEST_F(MainFormTest, ShutdownStoresNothingFromOpenDialogs)
{
    setOptionNumber(1);
    setServer("pop.example");
    setAccount("bob", "secret");
    MainForm &form = loadForm();
    forms().setForm.show().Check1()->setChecked(false);
    forms().henkouForm.show().Option2()->setChecked(true);
    m_media.commands.clear();
    m_nmail.calls.clear();

    // Closing the window ends the application's event loop, and with it the program.
    bool watcherActive = true;
    QTimer::singleShot(0, &form, [&form, &watcherActive] {
        form.close();
        watcherActive = form.Timer2()->isActive();
    });
    const QPointer<MainForm> window(&form);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(window.isNull()) << "the window is unloaded";
    if (window.isNull())
        (void)m_form.release();
    EXPECT_EQ(m_media.commands, QStringList({ "stop bgm", "close bgm" }));
    EXPECT_FALSE(watcherActive);
    EXPECT_EQ(m_nmail.calls, QStringList({ "EndWinSock" }));
    forms().destroyAllWithoutUnload();
    EXPECT_EQ(readFile(optionFile()), QByteArray("[EXEINI]\r\nNUMBER=1\r\n"));
}

TEST_F(MainFormTest, AlwaysOnTopTogglesAfterItsMessage)
{
    MainForm &form = loadForm();
    bool onTopWhileBoxOpen = true;
    m_prompter.fake.onBox = [&](const FakePrompter::Box &) {
        onTopWhileBoxOpen = form.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    };
    form.Picture8_Click();
    EXPECT_FALSE(onTopWhileBoxOpen) << "the stacking changes only after the box is closed";
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    form.menuAction(QStringLiteral("mzenmen"))->trigger();
    EXPECT_TRUE(onTopWhileBoxOpen);
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    ASSERT_EQ(m_prompter.fake.boxes.size(), 2);
    EXPECT_EQ(m_prompter.fake.boxes[0].text, QStringLiteral("常に手前表示が設定されました。"));
    EXPECT_EQ(m_prompter.fake.boxes[0].style, 64);
    EXPECT_EQ(m_prompter.fake.boxes[1].text, QStringLiteral("常に手前表示が解除されました。"));
    EXPECT_EQ(m_prompter.fake.boxes[1].style, 64);
    EXPECT_TRUE(m_prompter.fake.boxes[1].caption.isEmpty());

    form.Picture8_MouseMove();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("常に手前表示"));
}

TEST_F(MainFormTest, HomePageOpensOnlyOnYes)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    MainForm &form = loadForm();

    m_prompter.fake.setNextAnswer(Prompter::IdNo);
    form.menuAction(QStringLiteral("mhp"))->trigger();
    EXPECT_TRUE(recorder.opened.isEmpty());

    m_prompter.fake.setNextAnswer(Prompter::IdYes);
    form.Picture10_Click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_EQ(recorder.opened[0], QUrl(MainForm::HomePage));

    ASSERT_EQ(m_prompter.fake.boxes.size(), 2);
    EXPECT_EQ(m_prompter.fake.boxes[0].text,
        QStringLiteral("「ポプリ亭」作者のホームページです。ちょっと見てみますか？"));
    EXPECT_EQ(m_prompter.fake.boxes[0].caption, QStringLiteral("確認"));
    EXPECT_EQ(m_prompter.fake.boxes[0].style, 36);
}

TEST_F(MainFormTest, SettingsAndImageCommandsShowTheOneSharedDialog)
{
    setServer("pop.example");
    setAccount("bob", "secret");
    MainForm &form = loadForm();
    form.menuAction(QStringLiteral("mset"))->trigger();
    SetForm *first = &forms().setForm.get();
    EXPECT_TRUE(first->isVisible());
    form.Picture1_Click();
    EXPECT_EQ(&forms().setForm.get(), first);

    form.menuAction(QStringLiteral("mhenkou"))->trigger();
    HenkouForm *image = &forms().henkouForm.get();
    EXPECT_TRUE(image->isVisible());
    form.mhenkou_Click();
    EXPECT_EQ(&forms().henkouForm.get(), image);
    EXPECT_TRUE(form.isEnabled()) << "the dialogs are modeless";
}

TEST_F(MainFormTest, KeyboardReachesOnlyTheControlsInViewAndF10OpensTheFirstMenu)
{
    setServer("pop.example");
    setAccount("bob", "secret");
    MainForm &form = loadForm();
    m_media.commands.clear();
    form.showForm();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const QSize idle = form.size();
    QWindow *window = form.windowHandle();

    // In the idle size every control lies outside the window or is hidden.
    for (Qt::Key key : { Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Space })
        QTest::keyClick(window, key);
    EXPECT_EQ(form.size(), idle);
    EXPECT_TRUE(m_media.commands.isEmpty()) << m_media.commands.join(u'|').toStdString();
    EXPECT_EQ(QApplication::focusWidget(), nullptr);

    // The enlarged window shows the lower row, whose controls Tab then visits in turn.
    form.Command3_Click();
    QStringList reached;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(window, Qt::Key_Tab);
        reached << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                : QStringLiteral("none"));
    }
    EXPECT_EQ(reached[3], reached[0]);
    reached.removeLast();
    reached.sort();
    EXPECT_EQ(reached, QStringList({ "Command2", "Text3", "Text6" }));

    // Space on 元のサイズ shrinks the window, and the button leaves the keyboard's reach.
    auto *command2 = form.findChild<QPushButton *>(QStringLiteral("Command2"));
    command2->setFocus(Qt::TabFocusReason);
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(form.size(), idle);
    EXPECT_EQ(QApplication::focusWidget(), nullptr);
    EXPECT_TRUE(form.Check1()->isChecked());

    QMenu *file = form.menuAction(QStringLiteral("mfile"))->menu();
    QTest::keyClick(window, Qt::Key_F10);
    EXPECT_TRUE(file->isVisible());
    EXPECT_EQ(form.menuBar()->activeAction(), file->menuAction());
    file->close();
}

#include "mainformtest.moc"
