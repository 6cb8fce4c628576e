// SPDX-License-Identifier: GPL-3.0-or-later
// The four settings dialogs, driven offscreen through their objects' names: the shared window
// lifetime, each dialog's OK, Cancel, Esc and close box with the files they leave, the option
// number both option dialogs share, and spot checks of the layouts.
#include "fakes/fakeprompter.h"
#include "dialogs/forms.h"
#include "dialogs/henkouform.h"
#include "dialogs/idpassform.h"
#include "dialogs/optionform.h"
#include "dialogs/setform.h"
#include "settings/mailsettings.h"
#include "core/programfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QInputMethodQueryEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Windows closed by their own buttons are deleted later; tests let that happen at once.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template<class W> W *control(QWidget *form, const char *name)
{
    W *widget = form->findChild<W *>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QRect twips(int left, int top, int width, int height)
{
    return twipsRect(left, top, width, height);
}

// The widgets Tab visits from `first`, in order, until it comes back round.
QStringList tabOrder(QWidget *first, int count)
{
    QStringList names;
    QWidget *w = first;
    for (int i = 0; i < count; ++i) {
        names << w->objectName();
        do {
            w = w->nextInFocusChain();
        } while (w != first && !(w->focusPolicy() & Qt::TabFocus));
    }
    return names;
}

// Shows a window and waits until it is the active one, so key events and shortcuts reach it.
bool showActive(Form &form)
{
    form.showForm();
    QApplication::setActiveWindow(&form);
    return QTest::qWaitForWindowActive(&form);
}

void pressKey(QWidget *target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(target, key, modifiers);
}

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_previousCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        m_program = m_dir.path() + QStringLiteral("/program");
        ASSERT_TRUE(QDir().mkpath(m_program + QStringLiteral("/★MailData")));
        setProgramFolderForTesting(m_program);
        mailSettings() = MailSettings();
    }

    void TearDown() override
    {
        forms().destroyAllWithoutUnload();
        flushDeletes();
        QDir::setCurrent(m_previousCurrent);
        setProgramFolderForTesting(QString());
        mailSettings() = MailSettings();
    }

    QString optionFile() const { return m_program + QStringLiteral("/★MailData/ini.ini"); }
    QString accountFile() const { return m_program + QStringLiteral("/★MailData/iniIdPass.ini"); }
    QString serverFile() const { return m_dir.path() + QStringLiteral("/vbmail.ini"); }
    void setNumber(const QByteArray &value)
    {
        writeBytes(optionFile(), "[EXEINI]\r\nNUMBER=" + value + "\r\n");
    }

    QTemporaryDir m_dir;
    QString m_previousCurrent;
    QString m_program;
    ScopedFakePrompter m_prompter;
};

// --- The shared lifetime -------------------------------------------------------------------

TEST_F(DialogsTest, TouchingAControlLoadsTheDialogHiddenWithItsLoadStep)
{
    setNumber("1");
    writeBytes(accountFile(), "[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\n");
    ASSERT_FALSE(forms().setForm.isLoaded());

    EXPECT_TRUE(forms().setForm.get().Check1()->isChecked());
    EXPECT_TRUE(forms().setForm.isLoaded());
    EXPECT_FALSE(forms().setForm.get().isVisible());

    EXPECT_TRUE(forms().henkouForm.get().Option1()->isChecked());
    EXPECT_FALSE(forms().henkouForm.get().isVisible());

    EXPECT_EQ(forms().idPassForm.get().IdText()->text(), QStringLiteral("taro"));
    EXPECT_EQ(forms().idPassForm.get().PassText()->text(), QStringLiteral("secret"));
    EXPECT_EQ(forms().idPassForm.get().PassText()->displayText(), QStringLiteral("******"));
    EXPECT_FALSE(forms().idPassForm.get().isVisible());

    // The same instance serves every later touch.
    SetForm *first = &forms().setForm.get();
    EXPECT_EQ(&forms().setForm.get(), first);
}

TEST_F(DialogsTest, ClosingUnloadsAndTheNextTouchLoadsAFreshDialog)
{
    setNumber("0");
    QPointer<SetForm> first = &forms().setForm.get();
    first->Check1()->setChecked(true);
    first->close();
    EXPECT_FALSE(forms().setForm.isLoaded());
    EXPECT_EQ(readBytes(optionFile()), QByteArray("[EXEINI]\r\nNUMBER=1\r\n"));
    flushDeletes();
    EXPECT_TRUE(first.isNull());

    SetForm &second = forms().setForm.get();
    EXPECT_TRUE(second.Check1()->isChecked()); // loaded afresh from the file just written
}

TEST_F(DialogsTest, ProgramExitDestroysEveryDialogWithoutStoringAnything)
{
    setNumber("2");
    const QByteArray before = readBytes(optionFile());
    forms().setForm.show().Check1()->setChecked(true);
    forms().henkouForm.show().Option1()->setChecked(true);
    forms().idPassForm.get().Check1()->setChecked(true);
    forms().idPassForm.get().IdText()->setText(QStringLiteral("x"));
    QPointer<HenkouForm> henkou = &forms().henkouForm.get();

    forms().destroyAllWithoutUnload();
    EXPECT_TRUE(henkou.isNull());
    EXPECT_FALSE(forms().setForm.isLoaded());
    EXPECT_FALSE(forms().henkouForm.isLoaded());
    EXPECT_FALSE(forms().idPassForm.isLoaded());
    EXPECT_EQ(readBytes(optionFile()), before);
    EXPECT_FALSE(QFile::exists(accountFile()));
    EXPECT_FALSE(QFile::exists(serverFile()));
}

// --- Server settings dialog ----------------------------------------------------------------

TEST_F(DialogsTest, OptionFormLoadsShownOnTopAndFilledFromTheMailSettings)
{
    mailSettings().SmtpServer = QStringLiteral("smtp.example.jp");
    mailSettings().Pop3Server = QStringLiteral(" pop.example.jp ");
    mailSettings().MailAddress = QStringLiteral("taro@example.jp");
    mailSettings().UseApop = 1;

    // Touching a control loads it, and this dialog's load step shows it.
    OptionForm &form = forms().optionForm.get();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.SmtpText()->text(), QStringLiteral("smtp.example.jp"));
    EXPECT_EQ(form.Pop3Text()->text(), QStringLiteral(" pop.example.jp "));
    EXPECT_EQ(form.MailText()->text(), QStringLiteral("taro@example.jp"));
    EXPECT_TRUE(form.ApopCheck()->isChecked());
    form.close();

    mailSettings().UseApop = 0;
    EXPECT_FALSE(forms().optionForm.get().ApopCheck()->isChecked());
}

TEST_F(DialogsTest, OptionFormOkStoresTheValuesAsTypedAndCloses)
{
    OptionForm &form = forms().optionForm.show();
    EXPECT_TRUE(form.SmtpText()->text().isEmpty());
    EXPECT_FALSE(form.ApopCheck()->isChecked());
    QTest::keyClicks(form.SmtpText(), QStringLiteral("smtp.example.jp"));
    QTest::keyClicks(form.Pop3Text(), QStringLiteral(" pop.example.jp"));
    form.MailText()->setText(QStringLiteral("太郎@example.jp"));
    QTest::mouseClick(form.ApopCheck(), Qt::LeftButton);
    QTest::mouseClick(form.OKCommand(), Qt::LeftButton);

    EXPECT_FALSE(forms().optionForm.isLoaded());
    EXPECT_EQ(mailSettings().SmtpServer, QStringLiteral("smtp.example.jp"));
    EXPECT_EQ(mailSettings().Pop3Server, QStringLiteral(" pop.example.jp"));
    EXPECT_EQ(mailSettings().MailAddress, QStringLiteral("太郎@example.jp"));
    EXPECT_EQ(mailSettings().UseApop, 1);
    EXPECT_EQ(readBytes(serverFile()),
        QStringLiteral("SMTP=smtp.example.jp\r\nPOP3= pop.example.jp\r\n"
                       "MAIL=太郎@example.jp\r\nAPOP=1\r\n")
            .toUtf8());
    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty());
}

TEST_F(DialogsTest, OptionFormOkWithAHandEditedApopValueStoresOne)
{
    mailSettings().UseApop = 7;
    mailSettings().Pop3Server = QStringLiteral("pop");
    OptionForm &form = forms().optionForm.show();
    EXPECT_TRUE(form.ApopCheck()->isChecked());
    QTest::mouseClick(form.OKCommand(), Qt::LeftButton);
    EXPECT_EQ(mailSettings().UseApop, 1);
    EXPECT_EQ(readBytes(serverFile()), QByteArray("SMTP=\r\nPOP3=pop\r\nMAIL=\r\nAPOP=1\r\n"));
}

TEST_F(DialogsTest, OptionFormCancelEscAndCloseBoxStoreNothing)
{
    mailSettings().Pop3Server = QStringLiteral("old");
    writeBytes(serverFile(), "POP3=old\r\n");

    auto typeSomething = [] {
        OptionForm &form = forms().optionForm.show();
        form.Pop3Text()->setText(QStringLiteral("new"));
        form.ApopCheck()->setChecked(true);
        return &form;
    };

    QTest::mouseClick(typeSomething()->CancelCommand(), Qt::LeftButton);
    EXPECT_FALSE(forms().optionForm.isLoaded());

    OptionForm *form = typeSomething();
    ASSERT_TRUE(showActive(*form));
    pressKey(form->Pop3Text(), Qt::Key_Escape);
    EXPECT_FALSE(forms().optionForm.isLoaded());

    typeSomething()->close();
    EXPECT_FALSE(forms().optionForm.isLoaded());

    EXPECT_EQ(mailSettings().Pop3Server, QStringLiteral("old"));
    EXPECT_EQ(mailSettings().UseApop, 0);
    EXPECT_EQ(readBytes(serverFile()), QByteArray("POP3=old\r\n"));

    // The next load shows the settings, not what was typed before.
    EXPECT_EQ(forms().optionForm.get().Pop3Text()->text(), QStringLiteral("old"));
}

TEST_F(DialogsTest, OptionFormEnterInATextBoxDoesNotStore)
{
    OptionForm &form = forms().optionForm.show();
    ASSERT_TRUE(showActive(form));
    form.Pop3Text()->setText(QStringLiteral("pop"));
    pressKey(form.Pop3Text(), Qt::Key_Return);
    EXPECT_TRUE(forms().optionForm.isLoaded());
    EXPECT_TRUE(mailSettings().Pop3Server.isEmpty());
    EXPECT_FALSE(QFile::exists(serverFile()));
}

TEST_F(DialogsTest, OptionFormShownAgainKeepsWhatWasTyped)
{
    OptionForm &form = forms().optionForm.show();
    form.SmtpText()->setText(QStringLiteral("typed"));
    // The hub's "POPサーバー" button while the dialog is open.
    QTest::mouseClick(forms().setForm.show().Command2(), Qt::LeftButton);
    EXPECT_EQ(&forms().optionForm.get(), &form);
    EXPECT_EQ(form.SmtpText()->text(), QStringLiteral("typed"));
    EXPECT_TRUE(forms().setForm.get().isVisible());
}

TEST_F(DialogsTest, OptionFormFailedSaveKeepsTheValuesAndTellsTheUser)
{
    ASSERT_TRUE(QDir().mkdir(serverFile())); // a folder where the file should be
    bool loadedWhileBoxOpen = true;
    m_prompter.fake.onBox = [&](const FakePrompter::Box &) {
        loadedWhileBoxOpen = forms().optionForm.isLoaded() && forms().optionForm.get().isVisible();
    };

    OptionForm &form = forms().optionForm.show();
    form.Pop3Text()->setText(QStringLiteral("pop.example.jp"));
    form.ApopCheck()->setChecked(true);
    QTest::mouseClick(form.OKCommand(), Qt::LeftButton);

    EXPECT_EQ(mailSettings().Pop3Server, QStringLiteral("pop.example.jp"));
    EXPECT_EQ(mailSettings().UseApop, 1);
    ASSERT_EQ(m_prompter.fake.boxes.size(), 1);
    const FakePrompter::Box &box = m_prompter.fake.boxes.first();
    EXPECT_EQ(box.style, Prompter::Exclamation);
    EXPECT_TRUE(box.caption.isEmpty());
    EXPECT_TRUE(box.text.contains(QStringLiteral("保存できません"))) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(QStringLiteral("vbmail.ini"))) << box.text.toStdString();
    // The box is not hidden behind the always-on-top dialog: that is gone first.
    EXPECT_FALSE(loadedWhileBoxOpen);
    EXPECT_FALSE(forms().optionForm.isLoaded());
    EXPECT_TRUE(QFileInfo(serverFile()).isDir());
}

TEST_F(DialogsTest, WindowsShareTheApplicationsDecodedIcon)
{
    const QIcon own = forms().henkouForm.get().windowIcon();
    ASSERT_FALSE(own.isNull());
    EXPECT_EQ(own.availableSizes(), QList<QSize> { QSize(32, 32) });

    QPixmap square(16, 16);
    square.fill(Qt::red);
    const QIcon application(square);
    QGuiApplication::setWindowIcon(application);
    const qint64 shared = forms().setForm.get().windowIcon().cacheKey();
    QGuiApplication::setWindowIcon(QIcon());
    EXPECT_EQ(shared, application.cacheKey());
}

TEST_F(DialogsTest, OptionFormLayout)
{
    OptionForm &form = forms().optionForm.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("サーバー設定"));
    EXPECT_EQ(form.size(), QSize(twipsToPixels(2895), twipsToPixels(3015)));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowIcon().isNull());

    EXPECT_EQ(control<QLabel>(&form, "Label1")->text(), QStringLiteral("SMTPサーバー名(&S)"));
    EXPECT_EQ(control<QLabel>(&form, "Label2")->geometry(), twips(120, 720, 1635, 195));
    EXPECT_EQ(control<QLabel>(&form, "Label3")->text(), QStringLiteral("メールアドレス(&M)"));
    EXPECT_EQ(control<QLineEdit>(&form, "SmtpText")->geometry(), twips(120, 360, 2652, 264));
    EXPECT_EQ(control<QLineEdit>(&form, "MailText")->geometry(), twips(120, 1560, 2652, 264));
    auto *apop = control<QCheckBox>(&form, "ApopCheck");
    EXPECT_EQ(apop->text(), QStringLiteral("APOP を使用する(&A)"));
    EXPECT_EQ(apop->geometry(), twips(480, 2040, 2172, 252));
    EXPECT_EQ(apop->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(form.Label1()->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(control<QPushButton>(&form, "OKCommand")->text(), QStringLiteral("設定"));
    EXPECT_EQ(
        control<QPushButton>(&form, "CancelCommand")->geometry(), twips(1860, 2520, 912, 372));
    EXPECT_FALSE(form.OKCommand()->isDefault());

    EXPECT_EQ(tabOrder(form.SmtpText(), 7),
        QStringList({ "SmtpText", "Pop3Text", "ApopCheck", "OKCommand", "CancelCommand", "MailText",
            "SmtpText" }));

    ASSERT_TRUE(showActive(form));
    EXPECT_EQ(QApplication::focusWidget(), form.SmtpText());
    // Centred on the screen; the frame the window manager adds may shift it by a few pixels.
    const QPoint offset = form.geometry().center() - form.screen()->availableGeometry().center();
    EXPECT_LE(std::abs(offset.x()), 4) << offset.x();
    EXPECT_LE(std::abs(offset.y()), 4) << offset.y();

    // Each access key moves the focus to its own field or box.
    const struct {
        Qt::Key key;
        QWidget *target;
    } accessKeys[] = { { Qt::Key_P, form.Pop3Text() }, { Qt::Key_M, form.MailText() },
        { Qt::Key_A, form.ApopCheck() }, { Qt::Key_S, form.SmtpText() } };
    for (const auto &k : accessKeys) {
        pressKey(QApplication::focusWidget(), k.key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), k.target) << k.target->objectName().toStdString();
    }
    for (QLineEdit *box : { form.SmtpText(), form.Pop3Text(), form.MailText() })
        EXPECT_TRUE(box->text().isEmpty()); // the keys typed nothing
}

TEST_F(DialogsTest, OneLineBoxesKeepThePastedTextUpToItsFirstLineBreak)
{
    // A line edit takes a pasted line break as it is, and draws it as a space.
    OptionForm &server = forms().optionForm.show();
    server.SmtpText()->setText(QStringLiteral("[]"));
    server.SmtpText()->setCursorPosition(1);
    QApplication::clipboard()->setText(QStringLiteral("smtp.example.org\r\nsecond line"));
    server.SmtpText()->paste();
    EXPECT_EQ(server.SmtpText()->text(), QStringLiteral("[smtp.example.org]"));
    EXPECT_EQ(server.SmtpText()->cursorPosition(), 17);
    for (const QString &pasted : { QStringLiteral("pop\u2028x"), QStringLiteral("pop\rx\ny") }) {
        server.Pop3Text()->clear();
        QApplication::clipboard()->setText(pasted);
        server.Pop3Text()->paste();
        EXPECT_EQ(server.Pop3Text()->text(), QStringLiteral("pop"));
    }
    QTest::mouseClick(server.OKCommand(), Qt::LeftButton);
    EXPECT_EQ(readBytes(serverFile()),
        QByteArray("SMTP=[smtp.example.org]\r\nPOP3=pop\r\nMAIL=\r\nAPOP=0\r\n"));
    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty());

    // The password box too; OK then stores the first line.
    IdPassForm &account = forms().idPassForm.show();
    QApplication::clipboard()->setText(QStringLiteral("secret\nmore"));
    account.PassText()->paste();
    EXPECT_EQ(account.PassText()->text(), QStringLiteral("secret"));
    QTest::keyClicks(account.IdText(), QStringLiteral("taro"));
    QTest::mouseClick(account.Check1(), Qt::LeftButton);
    QTest::mouseClick(account.OKCommand(), Qt::LeftButton);
    EXPECT_EQ(readBytes(accountFile()),
        QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n"));
}

TEST_F(DialogsTest, StoredValuesWithBreaksAreShownWholeAndOkWritesThemBack)
{
    // Breaks a line edit draws as spaces, kept in what was stored; an edit around them keeps
    // them too, and only a break the user brings in is cut.
    // NEL, form feed and U+2028 in the password, in UTF-8.
    writeBytes(accountFile(),
        "[EXEINI]\r\nNAME=ta\vro\r\nNAME2=se\xc2\x85"
        "c\x0c"
        "ret\xe2\x80\xa8"
        "x\r\nNAME3=1\r\n");
    const QByteArray stored = readBytes(accountFile());
    IdPassForm &form = forms().idPassForm.show();
    EXPECT_EQ(form.IdText()->text(), QStringLiteral("ta\vro"));
    // Undo and redo put back exactly what was there: restoring is not inserting.
    QLineEdit *id = form.IdText();
    QTest::keyClick(id, Qt::Key_End);
    QTest::keyClicks(id, QStringLiteral("x"));
    QTest::keyClick(id, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(id, Qt::Key_Delete);
    QTest::keySequence(id, QKeySequence::Undo);
    EXPECT_EQ(id->text(), QStringLiteral("ta\vrox"));
    QTest::keySequence(id, QKeySequence::Redo);
    EXPECT_EQ(id->text(), QString());
    QTest::keySequence(id, QKeySequence::Undo);
    QTest::keySequence(id, QKeySequence::Undo);
    EXPECT_EQ(id->text(), QStringLiteral("ta\vro"));
    QTest::mouseClick(form.Check1(), Qt::LeftButton);
    QTest::mouseClick(form.OKCommand(), Qt::LeftButton);
    EXPECT_EQ(readBytes(accountFile()), stored);

    mailSettings().Pop3Server = QStringLiteral("pop\u2029.example");
    OptionForm &server = forms().optionForm.show();
    server.Pop3Text()->end(false);
    QTest::keyClicks(server.Pop3Text(), QStringLiteral("x"));
    QApplication::clipboard()->setText(QStringLiteral("y\vz"));
    server.Pop3Text()->paste();
    EXPECT_EQ(server.Pop3Text()->text(), QStringLiteral("pop\u2029.examplexy"));
}

// --- Account dialog ------------------------------------------------------------------------

TEST_F(DialogsTest, IdPassFormOkWithTheBoxTickedStoresTheAccount)
{
    IdPassForm &form = forms().idPassForm.show();
    EXPECT_TRUE(form.IdText()->text().isEmpty());
    EXPECT_FALSE(form.Check1()->isChecked());
    QTest::keyClicks(form.IdText(), QStringLiteral("taro"));
    QTest::keyClicks(form.PassText(), QStringLiteral("p@ss word"));
    QTest::mouseClick(form.Check1(), Qt::LeftButton);
    QTest::mouseClick(form.OKCommand(), Qt::LeftButton);

    EXPECT_FALSE(forms().idPassForm.isLoaded());
    EXPECT_EQ(mailSettings().UserId, QStringLiteral("taro"));
    EXPECT_EQ(mailSettings().UserPassword, QStringLiteral("p@ss word"));
    EXPECT_EQ(readBytes(accountFile()),
        QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=p@ss word\r\nNAME3=1\r\n"));

    // A fresh load shows both again, with the box unchecked.
    IdPassForm &again = forms().idPassForm.get();
    EXPECT_EQ(again.IdText()->text(), QStringLiteral("taro"));
    EXPECT_EQ(again.PassText()->text(), QStringLiteral("p@ss word"));
    EXPECT_FALSE(again.Check1()->isChecked());
}

TEST_F(DialogsTest, IdPassFormOkWithTheBoxClearKeepsTheEarlierAccountInTheFile)
{
    writeBytes(accountFile(), "[EXEINI]\r\nNAME=taro\r\nNAME2=old\r\nNAME3=1\r\n");
    IdPassForm &form = forms().idPassForm.show();
    ASSERT_TRUE(showActive(form));
    form.IdText()->setText(QStringLiteral("jiro"));
    form.PassText()->setText(QString());
    pressKey(form.IdText(), Qt::Key_Return); // Enter presses OK

    EXPECT_FALSE(forms().idPassForm.isLoaded());
    EXPECT_EQ(mailSettings().UserId, QStringLiteral("jiro"));
    EXPECT_TRUE(mailSettings().UserPassword.isEmpty());
    EXPECT_EQ(
        readBytes(accountFile()), QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=old\r\nNAME3=0\r\n"));
    EXPECT_EQ(forms().idPassForm.get().IdText()->text(), QStringLiteral("taro"));
}

TEST_F(DialogsTest, IdPassFormOkStoresAnEmptyId)
{
    IdPassForm &form = forms().idPassForm.show();
    form.PassText()->setText(QStringLiteral("pw"));
    form.Check1()->setChecked(true);
    QTest::mouseClick(form.OKCommand(), Qt::LeftButton);
    EXPECT_EQ(readBytes(accountFile()), QByteArray("[EXEINI]\r\nNAME=\r\nNAME2=pw\r\nNAME3=1\r\n"));
}

TEST_F(DialogsTest, IdPassFormCancelEscAndCloseBoxStoreNothing)
{
    const QByteArray stored("[EXEINI]\r\nNAME=taro\r\nNAME2=pw\r\nNAME3=1\r\n");
    writeBytes(accountFile(), stored);
    mailSettings().UserId = QStringLiteral("before");

    auto typeSomething = [] {
        IdPassForm &form = forms().idPassForm.show();
        form.IdText()->setText(QStringLiteral("typed"));
        form.Check1()->setChecked(true);
        return &form;
    };
    QTest::mouseClick(typeSomething()->CancelCommand(), Qt::LeftButton);
    EXPECT_FALSE(forms().idPassForm.isLoaded());

    IdPassForm *form = typeSomething();
    ASSERT_TRUE(showActive(*form));
    pressKey(form->PassText(), Qt::Key_Escape);
    EXPECT_FALSE(forms().idPassForm.isLoaded());

    typeSomething()->close();
    EXPECT_FALSE(forms().idPassForm.isLoaded());

    EXPECT_EQ(mailSettings().UserId, QStringLiteral("before"));
    EXPECT_TRUE(mailSettings().UserPassword.isEmpty());
    EXPECT_EQ(readBytes(accountFile()), stored);
    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty());
}

TEST_F(DialogsTest, IdPassFormWithoutTheDataFolderClosesSilently)
{
    ASSERT_TRUE(QDir(m_program + QStringLiteral("/★MailData")).removeRecursively());
    IdPassForm &form = forms().idPassForm.show();
    form.IdText()->setText(QStringLiteral("taro"));
    form.PassText()->setText(QStringLiteral("pw"));
    form.Check1()->setChecked(true);
    QTest::mouseClick(form.OKCommand(), Qt::LeftButton);
    EXPECT_FALSE(forms().idPassForm.isLoaded());
    EXPECT_EQ(mailSettings().UserId, QStringLiteral("taro"));
    EXPECT_EQ(mailSettings().UserPassword, QStringLiteral("pw"));
    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty());
    EXPECT_FALSE(QDir(m_program + QStringLiteral("/★MailData")).exists());
}

// The program puts a proxy over the user's style; the password box still copies the user's.
TEST(IdPassFormStyleTest, PasswordBoxKeepsTheStyleUnderTheApplicationsProxy)
{
    const QString before = QApplication::style()->name();
    QApplication::setStyle(new QProxyStyle(QStringLiteral("windows")));
    QString base;
    {
        IdPassForm form;
        const auto *style = qobject_cast<const QProxyStyle *>(
            form.findChild<QLineEdit *>(QStringLiteral("PassText"))->style());
        if (style)
            base = style->baseStyle()->name();
    }
    QApplication::setStyle(QStyleFactory::create(before)); // before any check can return

    EXPECT_EQ(base, QStringLiteral("windows"));
}

TEST_F(DialogsTest, IdPassFormPasswordShowsStarsAndTakesNoInputMethod)
{
    IdPassForm &form = forms().idPassForm.show();
    QLineEdit *pass = control<QLineEdit>(&form, "PassText");
    ASSERT_TRUE(showActive(form));
    QTest::keyClicks(pass, QStringLiteral("abc"));
    EXPECT_EQ(pass->text(), QStringLiteral("abc"));
    EXPECT_EQ(pass->displayText(), QStringLiteral("***"));
    EXPECT_FALSE(pass->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(pass->inputMethodHints() & Qt::ImhHiddenText);
    EXPECT_TRUE(pass->inputMethodHints() & Qt::ImhSensitiveData);
    // What the platform input context asks before it starts a composition.
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QCoreApplication::sendEvent(pass, &query);
    EXPECT_FALSE(query.value(Qt::ImEnabled).toBool());
}

TEST_F(DialogsTest, IdPassFormLayout)
{
    IdPassForm &form = forms().idPassForm.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("ID,PASS"));
    EXPECT_EQ(form.size(), QSize(twipsToPixels(2880), twipsToPixels(1785)));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(control<QLabel>(&form, "Label1")->geometry(), twips(120, 180, 675, 255));
    EXPECT_EQ(control<QLineEdit>(&form, "IdText")->geometry(), twips(960, 120, 1632, 264));
    QLabel *password = control<QLabel>(&form, "Label2_0");
    QLabel *store = control<QLabel>(&form, "Label2_1");
    EXPECT_EQ(password, form.Label2(0));
    EXPECT_EQ(store, form.Label2(1));
    EXPECT_EQ(password->text(), QStringLiteral("Password"));
    EXPECT_EQ(store->property("index").toInt(), 1);
    EXPECT_EQ(store->text(), QStringLiteral("IDパスワードを保存する"));
    EXPECT_EQ(store->geometry(), twips(780, 1020, 1875, 255));
    EXPECT_EQ(store->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(control<QCheckBox>(&form, "Check1")->geometry(), twips(420, 1020, 255, 255));
    EXPECT_TRUE(form.Check1()->text().isEmpty());
    EXPECT_EQ(control<QPushButton>(&form, "OKCommand")->text(), QStringLiteral("OK"));
    EXPECT_EQ(
        control<QPushButton>(&form, "CancelCommand")->geometry(), twips(1860, 1380, 852, 312));

    EXPECT_EQ(tabOrder(form.IdText(), 6),
        QStringList({ "IdText", "PassText", "OKCommand", "CancelCommand", "Check1", "IdText" }));
    ASSERT_TRUE(showActive(form));
    EXPECT_EQ(QApplication::focusWidget(), form.IdText());
}

// --- Settings hub dialog -------------------------------------------------------------------

TEST_F(DialogsTest, SetFormLoadsItsBoxFromTheOptionNumber)
{
    struct Case {
        QByteArray stored; // empty: no file
        bool checked;
    };
    for (const Case &c : { Case { "1", true }, Case { "0", false }, Case { "2", false },
             Case { "-1", false }, Case { "", false } }) {
        if (c.stored.isEmpty())
            QFile::remove(optionFile());
        else
            setNumber(c.stored);
        EXPECT_EQ(forms().setForm.get().Check1()->isChecked(), c.checked) << c.stored.data();
        forms().setForm.destroyWithoutUnload();
    }
}

TEST_F(DialogsTest, SetFormButtonsOpenTheOtherDialogsAndItStaysOpen)
{
    SetForm &hub = forms().setForm.show();
    QTest::mouseClick(hub.Command1(), Qt::LeftButton);
    ASSERT_TRUE(forms().idPassForm.isLoaded());
    IdPassForm *account = &forms().idPassForm.get();
    EXPECT_TRUE(account->isVisible());
    account->IdText()->setText(QStringLiteral("typed"));

    // A second click brings the same dialog forward, with what it holds.
    QTest::mouseClick(hub.Command1(), Qt::LeftButton);
    EXPECT_EQ(&forms().idPassForm.get(), account);
    EXPECT_EQ(account->IdText()->text(), QStringLiteral("typed"));

    QTest::mouseClick(hub.Command2(), Qt::LeftButton);
    ASSERT_TRUE(forms().optionForm.isLoaded());
    EXPECT_TRUE(forms().optionForm.get().isVisible());

    EXPECT_TRUE(forms().setForm.isLoaded());
    EXPECT_TRUE(hub.isVisible());
}

TEST_F(DialogsTest, SetFormClosesOnlyByItsCloseBoxAndStoresTheBox)
{
    SetForm &hub = forms().setForm.show();
    ASSERT_TRUE(showActive(hub));
    pressKey(hub.Command2(), Qt::Key_Escape);
    EXPECT_TRUE(forms().setForm.isLoaded());
    EXPECT_FALSE(QFile::exists(optionFile()));

    QTest::mouseClick(hub.Check1(), Qt::LeftButton);
    EXPECT_TRUE(hub.Check1()->isChecked());
    hub.close();
    EXPECT_EQ(readBytes(optionFile()), QByteArray("[EXEINI]\r\nNUMBER=1\r\n"));

    forms().setForm.get().Check1()->setChecked(false);
    forms().setForm.get().close();
    EXPECT_EQ(readBytes(optionFile()), QByteArray("[EXEINI]\r\nNUMBER=0\r\n"));
}

TEST_F(DialogsTest, ClickingACheckBoxsCaptionTogglesTheBox)
{
    SetForm &hub = forms().setForm.show();
    IdPassForm &account = forms().idPassForm.show();
    const struct {
        QLabel *caption;
        QCheckBox *box;
    } pairs[] = { { hub.Label1(), hub.Check1() }, { account.Label2(1), account.Check1() } };
    for (const auto &p : pairs) {
        QTest::mouseClick(p.caption, Qt::LeftButton);
        EXPECT_TRUE(p.box->isChecked()) << p.caption->text().toStdString();
        EXPECT_EQ(p.box->window()->focusWidget(), p.box);
        QTest::mouseClick(p.caption, Qt::RightButton);
        EXPECT_TRUE(p.box->isChecked()) << "only the left button clicks";
        QTest::mouseClick(p.caption, Qt::LeftButton);
        EXPECT_FALSE(p.box->isChecked());
    }
}

TEST_F(DialogsTest, SetFormWithoutTheDataFolderClosesSilently)
{
    ASSERT_TRUE(QDir(m_program + QStringLiteral("/★MailData")).removeRecursively());
    forms().setForm.show().Check1()->setChecked(true);
    forms().setForm.get().close();
    EXPECT_FALSE(forms().setForm.isLoaded());
    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty());
    EXPECT_FALSE(forms().setForm.get().Check1()->isChecked());
}

TEST_F(DialogsTest, SetFormLayout)
{
    SetForm &hub = forms().setForm.show();
    EXPECT_EQ(hub.windowTitle(), QStringLiteral("設定"));
    EXPECT_EQ(hub.size(), QSize(twipsToPixels(3135), twipsToPixels(900)));
    EXPECT_EQ(hub.palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_TRUE(hub.autoFillBackground());
    QPushButton *account = control<QPushButton>(&hub, "Command1");
    QPushButton *server = control<QPushButton>(&hub, "Command2");
    EXPECT_EQ(account->text(), QStringLiteral("ID/PASS"));
    EXPECT_EQ(server->text(), QStringLiteral("POPサーバー"));
    EXPECT_EQ(account->geometry(), twips(120, 120, 1455, 375));
    EXPECT_EQ(server->geometry(), twips(1560, 120, 1455, 375));
    EXPECT_EQ(account->palette().color(QPalette::Button), QColor(255, 128, 0));
    EXPECT_EQ(server->palette().color(QPalette::Button), QColor(128, 128, 255));
    EXPECT_FALSE(account->isDefault() || server->isDefault());
    EXPECT_EQ(control<QCheckBox>(&hub, "Check1")->geometry(), twips(120, 600, 255, 255));
    QLabel *label = control<QLabel>(&hub, "Label1");
    EXPECT_EQ(label->text(), QStringLiteral("新着がなければ接続を切断する。"));
    EXPECT_EQ(label->geometry(), twips(480, 645, 2535, 255));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    EXPECT_EQ(tabOrder(server, 4), QStringList({ "Command2", "Command1", "Check1", "Command2" }));
    ASSERT_TRUE(showActive(hub));
    EXPECT_EQ(QApplication::focusWidget(), server);
}

// --- Image selection dialog ----------------------------------------------------------------

TEST_F(DialogsTest, HenkouFormLoadsItsOptionFromTheOptionNumber)
{
    struct Case {
        QByteArray stored; // empty: no file
        bool first;
        bool second;
    };
    for (const Case &c : { Case { "1", true, false }, Case { "2", false, true },
             Case { "0", false, false }, Case { "3", false, false }, Case { "", false, false } }) {
        if (c.stored.isEmpty())
            QFile::remove(optionFile());
        else
            setNumber(c.stored);
        HenkouForm &form = forms().henkouForm.get();
        EXPECT_EQ(form.Option1()->isChecked(), c.first) << c.stored.data();
        EXPECT_EQ(form.Option2()->isChecked(), c.second) << c.stored.data();
        forms().henkouForm.destroyWithoutUnload();
    }
}

TEST_F(DialogsTest, HenkouFormCloseBoxStoresTheChoiceOrRemovesTheKey)
{
    HenkouForm &form = forms().henkouForm.show();
    QTest::mouseClick(form.Option2(), Qt::LeftButton);
    EXPECT_TRUE(form.Option2()->isChecked());
    form.close();
    EXPECT_EQ(readBytes(optionFile()), QByteArray("[EXEINI]\r\nNUMBER=2\r\n"));
    EXPECT_TRUE(forms().henkouForm.get().Option2()->isChecked());

    // Clicking the selected option again does not clear it; the other one moves the choice.
    HenkouForm &again = forms().henkouForm.get();
    again.showForm();
    QTest::mouseClick(again.Option2(), Qt::LeftButton);
    EXPECT_TRUE(again.Option2()->isChecked());
    QTest::mouseClick(again.Option1(), Qt::LeftButton);
    EXPECT_TRUE(again.Option1()->isChecked());
    EXPECT_FALSE(again.Option2()->isChecked());
    again.close();
    EXPECT_EQ(readBytes(optionFile()), QByteArray("[EXEINI]\r\nNUMBER=1\r\n"));

    setNumber("0");
    HenkouForm &none = forms().henkouForm.get();
    EXPECT_FALSE(none.Option1()->isChecked() || none.Option2()->isChecked());
    none.close();
    EXPECT_FALSE(readBytes(optionFile()).contains("NUMBER"));
    EXPECT_EQ(ReadOptionNumber(), 0);
}

TEST_F(DialogsTest, HenkouFormLayoutAndStillPreviews)
{
    HenkouForm &form = forms().henkouForm.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("画像の選択"));
    EXPECT_EQ(form.size(), QSize(twipsToPixels(2880), twipsToPixels(2970)));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);

    QGroupBox *frame = control<QGroupBox>(&form, "Frame1");
    EXPECT_TRUE(frame->title().isEmpty());
    EXPECT_EQ(frame->geometry(), twips(120, 0, 495, 2895));
    QRadioButton *first = control<QRadioButton>(&form, "Option1");
    QRadioButton *second = control<QRadioButton>(&form, "Option2");
    EXPECT_EQ(first->parentWidget(), frame);
    EXPECT_EQ(first->geometry(), twips(120, 720, 255, 375));
    EXPECT_EQ(second->geometry(), twips(120, 2040, 255, 255));
    EXPECT_TRUE(first->text().isEmpty() && second->text().isEmpty());
    EXPECT_EQ(first->nextInFocusChain(), second);

    for (const char *name : { "Image1", "Image2" }) {
        QLabel *image = control<QLabel>(&form, name);
        EXPECT_TRUE(image->hasScaledContents()) << name;
        const QPixmap picture = image->pixmap();
        ASSERT_FALSE(picture.isNull()) << name;
        EXPECT_EQ(picture.size(), QSize(250, 200)) << name;
        EXPECT_EQ(image->movie(), nullptr) << name;
    }
    EXPECT_EQ(form.Image1()->geometry(), twips(840, 120, 1935, 1320));
    EXPECT_EQ(form.Image2()->geometry(), twips(840, 1560, 1935, 1320));
    EXPECT_NE(form.Image1()->pixmap().toImage(), form.Image2()->pixmap().toImage());
}

// --- The option number both dialogs share ----------------------------------------------------

TEST_F(DialogsTest, TheDialogClosedLastDecidesWhatTheOtherShows)
{
    forms().setForm.get().Check1()->setChecked(true);
    forms().setForm.get().close();
    EXPECT_TRUE(forms().henkouForm.get().Option1()->isChecked());

    forms().henkouForm.get().Option2()->setChecked(true);
    forms().henkouForm.get().close();
    forms().setForm.destroyWithoutUnload();
    EXPECT_FALSE(forms().setForm.get().Check1()->isChecked());

    // The hub stores 0; the image dialog then shows neither and, closed, removes the key.
    forms().setForm.get().close();
    EXPECT_EQ(readBytes(optionFile()), QByteArray("[EXEINI]\r\nNUMBER=0\r\n"));
    HenkouForm &henkou = forms().henkouForm.get();
    EXPECT_FALSE(henkou.Option1()->isChecked() || henkou.Option2()->isChecked());
    henkou.close();
    EXPECT_FALSE(readBytes(optionFile()).contains("NUMBER"));
}

// Captions are laid out for a narrower dialog font than the desktop's; none may be cut off.
TEST_F(DialogsTest, EveryLabelShowsItsWholeCaption)
{
    const QList<QWidget *> dialogs = { &forms().optionForm.show(), &forms().idPassForm.show(),
        &forms().setForm.show(), &forms().henkouForm.show() };
    int labels = 0;
    for (QWidget *dialog : dialogs) {
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label->text().isEmpty())
                continue;
            QString shown = label->text();
            if (label->buddy())
                shown.remove(shown.indexOf(QLatin1Char('&')), 1);
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(shown), label->width())
                << label->objectName().toStdString() << " " << shown.toStdString();
            EXPECT_GE(label->font().pointSizeF(), 6.0);
            ++labels;
        }
    }
    EXPECT_EQ(labels, 7);
}

// The shrunken caption is the largest half-point step below the control's size that fits, and
// mnemonic markers take no room.
TEST_F(DialogsTest, FittingACaptionPicksTheLargestHalfPointSizeThatFits)
{
    struct Row {
        const char *caption;
        bool buddy; // a label with a buddy shows "&S" as an underlined S
        qreal roomFraction; // of the caption's width at 10 points
    };
    const Row rows[] = {
        { "SMTPサーバー名(&S)", true, 0.93 }, { "SMTPサーバー名(&S)", true, 0.55 },
        { "A && B と C", true, 0.71 }, { "保存しますか&", false, 0.8 },
        { "とても長い説明のラベル", false, 0.05 }, // never fits: stops at 6 points
        { "短い", false, 1.2 }, // fits as it is
    };
    QWidget window;
    QLineEdit buddy(&window);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.caption);
        QLabel label(QString::fromUtf8(row.caption), &window);
        if (row.buddy)
            label.setBuddy(&buddy);
        QFont font = label.font();
        font.setPointSizeF(10);
        label.setFont(font);
        QString shown = QString::fromUtf8(row.caption);
        if (row.buddy) {
            shown.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
            shown.remove(QLatin1Char('&'));
            shown.replace(QStringLiteral("\x01"), QStringLiteral("&"));
        }
        const auto advance = [&](qreal size) {
            QFont f = font;
            f.setPointSizeF(size);
            return QFontMetrics(f).horizontalAdvance(shown);
        };
        label.setMargin(0);
        label.resize(int(advance(10) * row.roomFraction) + label.frameWidth() * 2, 20);
        const int room = label.contentsRect().width();

        fitCaptionToWidth(&label);
        const qreal size = label.font().pointSizeF();
        if (row.roomFraction >= 1) {
            EXPECT_EQ(size, 10);
            continue;
        }
        EXPECT_LT(size, 10);
        EXPECT_EQ(std::fmod(size * 2, 1.0), 0.0) << size;
        EXPECT_GE(size, 6);
        if (size > 6)
            EXPECT_LE(advance(size), room) << size; // at 6 points it may still not fit
        EXPECT_GT(advance(size + 0.5), room) << "a larger size would fit: " << size;
    }
}

} // namespace
