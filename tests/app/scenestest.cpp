// SPDX-License-Identifier: GPL-3.0-or-later
#include "apptestsupport.h"

#include "scenes/backgroundtune.h"
#include "scenes/gifpane.h"
#include "dialogs/henkouform.h"

#include <QCheckBox>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>

class ScenesTest : public MainFormTest {
protected:
    MainForm &ready()
    {
        MainForm &form = loadForm();
        m_media.commands.clear();
        return form;
    }
    QString openCommand() const
    {
        return QStringLiteral("open \"") + m_program
            + QStringLiteral("/Sound/Kouka.mid\" alias bgm");
    }
    QString address(const char *name) const
    {
        return QStringLiteral("file://") + m_program + QStringLiteral("/★MailData/")
            + QLatin1String(name);
    }
};

TEST_F(ScenesTest, EventSceneShowsTheChosenPictureAndStartsTheTune)
{
    setOptionNumber(2);
    MainForm &form = ready();
    form.Timer2()->stop();
    QSignalSpy navigations(form.WebBrowser1(), &GifPane::navigated);

    form.menuAction(QStringLiteral("mhikyaku"))->trigger();
    EXPECT_EQ(m_media.commands, QStringList({ openCommand(), "play bgm" }));
    EXPECT_TRUE(form.Timer2()->isActive());
    EXPECT_EQ(form.outerSizeTwips(), QSize(4000, 4000));
    // 4000 twips at 96 dots per inch; without a window manager the window has no frame.
    EXPECT_EQ(form.size(), QSize(267, 267));
    EXPECT_EQ(form.Picture2()->size(), QSize(267, 267));
    EXPECT_EQ(form.WebBrowser1()->geometry(), twipsRect(-170, -300, 5055, 3735))
        << "the pane keeps its place inside the picture box";
    ASSERT_EQ(navigations.size(), 1);
    EXPECT_EQ(form.WebBrowser1()->currentAddress(), address("nande2.gif"));

    // Entering it again repeats every step: the open fails (alias in use), play goes on, and
    // the picture loads again.
    forms().henkouForm.get().Option1()->setChecked(true);
    form.Command3_Click();
    EXPECT_EQ(
        m_media.commands, QStringList({ openCommand(), "play bgm", openCommand(), "play bgm" }));
    ASSERT_EQ(navigations.size(), 2);
    EXPECT_EQ(form.WebBrowser1()->currentAddress(), address("nande.gif"));
}

TEST_F(ScenesTest, EventSceneWithoutChoiceKeepsThePicture)
{
    MainForm &form = ready();
    QSignalSpy navigations(form.WebBrowser1(), &GifPane::navigated);
    form.Command3_Click();
    EXPECT_TRUE(forms().henkouForm.isLoaded()) << "the choice is read from the image dialog";
    EXPECT_FALSE(forms().henkouForm.get().isVisible());
    EXPECT_EQ(navigations.size(), 0);
    EXPECT_EQ(form.WebBrowser1()->currentAddress(), address("Yatai.gif"));
    EXPECT_EQ(form.outerSizeTwips(), QSize(4000, 4000));
}

TEST_F(ScenesTest, IdleSceneShrinksAndClosesTheTuneButLeavesTheWatcher)
{
    setOptionNumber(1);
    QFile::copy(QStringLiteral(BRINDLE_SOURCE_DIR "/assets/★MailData/Yatai.gif"),
        m_program + QStringLiteral("/★MailData/Yatai.gif"));
    MainForm &form = ready();
    form.Command3_Click();
    m_media.commands.clear();
    QSignalSpy navigations(form.WebBrowser1(), &GifPane::navigated);

    form.menuAction(QStringLiteral("mmodosu"))->trigger();
    EXPECT_EQ(m_media.commands, QStringList({ "stop bgm", "close bgm" }));
    EXPECT_TRUE(form.Timer2()->isActive());
    EXPECT_EQ(form.outerSizeTwips(), QSize(1555, 1955));
    EXPECT_EQ(form.size(), QSize(104, 130));
    EXPECT_EQ(form.Picture2()->size(), QSize(97, 97));
    ASSERT_EQ(navigations.size(), 1);
    EXPECT_EQ(form.WebBrowser1()->currentAddress(), address("Yatai.gif"));
    EXPECT_TRUE(form.WebBrowser1()->hasPicture());
}

TEST_F(ScenesTest, WatcherLoopsWhileTheLoopBoxIsTicked)
{
    MainForm &form = ready();
    form.Command4_Click();
    m_media.commands.clear();
    m_media.statusReplies = { "playing", "stopped", "stoppedXYZ", "stoppe" };
    form.Timer2_Timer();
    form.Timer2_Timer();
    form.Timer2_Timer();
    form.Timer2_Timer();
    EXPECT_EQ(m_media.commands,
        QStringList({ "status bgm mode [255]", "status bgm mode [255]", "play bgm from 0",
            "status bgm mode [255]", "play bgm from 0", "status bgm mode [255]" }));
    EXPECT_TRUE(form.Timer2()->isActive());
}

TEST_F(ScenesTest, WatcherClosesTheTuneWhenTheLoopBoxIsClear)
{
    MainForm &form = ready();
    form.Check1()->setChecked(false);
    form.Command4_Click();
    m_media.commands.clear();
    m_media.statusReplies = { "stopped" };
    form.Timer2_Timer();
    EXPECT_EQ(m_media.commands, QStringList({ "status bgm mode [255]", "stop bgm", "close bgm" }));
    EXPECT_FALSE(form.Timer2()->isActive());

    // Closed: the query fails and leaves no reply, so a tick does nothing more.
    form.Timer2()->start();
    m_media.commands.clear();
    form.Timer2_Timer();
    EXPECT_EQ(m_media.commands, QStringList({ "status bgm mode [255]" }));

    // A later play opens the file afresh and enables the watcher again.
    form.Timer2()->stop();
    m_media.commands.clear();
    form.Command4_Click();
    EXPECT_EQ(m_media.commands, QStringList({ openCommand(), "play bgm" }));
    EXPECT_TRUE(form.Timer2()->isActive());
}

TEST_F(ScenesTest, StopClosesAndDisablesTheWatcher)
{
    MainForm &form = ready();
    form.Command6_Click();
    EXPECT_EQ(m_media.commands, QStringList({ "stop bgm", "close bgm" }));
    EXPECT_FALSE(form.Timer2()->isActive());
}

TEST(BackgroundTuneTest, ProgramFolderAtTheRootGivesTwoSlashes)
{
    setProgramFolderForTesting(QStringLiteral("/"));
    EXPECT_EQ(
        BackgroundTune::openCommand(), QStringLiteral("open \"//Sound/Kouka.mid\" alias bgm"));
    setProgramFolderForTesting(QString());
}
