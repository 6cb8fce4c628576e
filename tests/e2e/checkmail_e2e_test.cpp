// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window, offscreen, checking a real Dovecot mailbox through the real POP3 library
// and the real media layer, from the menu command.
#include "app/mainform.h"
#include "checkfrommenu.h"
#include "fakes/dovecot.h"
#include "fakes/fakeprompter.h"
#include "fakes/fakeras.h"
#include "fakes/programenvironment.h"
#include "mail/librarythread.h"
#include "mail/pop3library.h"
#include "qtprinters.h"
#include "scenes/gifpane.h"
#include "scenes/mediainterpreter.h"
#include "dialogs/forms.h"
#include "dialogs/setform.h"
#include "settings/mailsettings.h"
#include "core/programfolder.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QByteArray message(int n)
{
    return "From: sender" + QByteArray::number(n) + "@example.org\r\nSubject: =?UTF-8?B?5paw552A?= "
        + QByteArray::number(n) + "\r\nMessage-ID: <" + QByteArray::number(n)
        + "@example.org>\r\n\r\nline one\r\n.dot line\r\n";
}

FluidSequencerOptions silentOptions()
{
    FluidSequencerOptions options;
    options.audioDrivers.clear();
    return options;
}

class CheckMailEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dovecot = new DovecotServer(DovecotServer::Security::Plain);
        ASSERT_TRUE(s_dovecot->start()) << s_dovecot->errorText().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete s_dovecot;
        s_dovecot = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_environment.isValid());
        const QString program = m_environment.program();
        QFile::copy(QStringLiteral(BRINDLE_SOURCE_DIR "/assets/Sound/Kouka.mid"),
            program + QStringLiteral("/Sound/Kouka.mid"));
        QFile::copy(QStringLiteral(BRINDLE_SOURCE_DIR "/assets/★MailData/nande.gif"),
            program + QStringLiteral("/★MailData/nande.gif"));
        m_library.setTimeouts(std::chrono::seconds(20), std::chrono::seconds(20));

        QFile option(program + QStringLiteral("/★MailData/ini.ini"));
        ASSERT_TRUE(option.open(QIODevice::WriteOnly));
        option.write("[EXEINI]\r\nNUMBER=1\r\n");
    }

    void TearDown() override { m_form.reset(); }

    void configure(const QString &user, const QString &password, int apop)
    {
        QFile vbmail(QStringLiteral("vbmail.ini"));
        ASSERT_TRUE(vbmail.open(QIODevice::WriteOnly));
        vbmail.write(QStringLiteral("SMTP=\r\nPOP3=127.0.0.1:%1\r\nMAIL=\r\nAPOP=%2\r\n")
                         .arg(s_dovecot->port())
                         .arg(apop)
                         .toUtf8());
        vbmail.close();
        WriteAccount(user, password, true);
        m_form = std::make_unique<MainForm>(
            MainForm::Services { m_library, m_media, m_ras, m_nmailThread });
        m_form->load();
    }

    int deletedCount() const
    {
        int deleted = 0;
        const QRegularExpression del(QStringLiteral("del=(\\d+)/"));
        for (auto it = del.globalMatch(s_dovecot->logText()); it.hasNext();)
            deleted += it.next().captured(1).toInt();
        return deleted;
    }

    static DovecotServer *s_dovecot;
    ProgramEnvironment m_environment;
    Pop3Library m_library;
    // The real tune, rendered but never sent to the machine's sound server.
    MediaCommandInterpreter m_media { silentOptions() };
    FakeRas m_ras;
    LibraryThread m_nmailThread;
    ScopedFakePrompter m_prompter;
    std::unique_ptr<MainForm> m_form;
};

DovecotServer *CheckMailEndToEnd::s_dovecot = nullptr;

TEST_F(CheckMailEndToEnd, TwoMessagesAreCountedAndEachRetrievedOnce)
{
    ASSERT_TRUE(s_dovecot->addUser(QStringLiteral("alice"), QStringLiteral("secret")));
    ASSERT_TRUE(s_dovecot->addMessage(QStringLiteral("alice"), message(1)));
    ASSERT_TRUE(s_dovecot->addMessage(QStringLiteral("alice"), message(2)));
    configure(QStringLiteral("alice"), QStringLiteral("secret"), 1);
    m_ras.active = { { QStringLiteral("/ac/1"), QStringLiteral("modem"), QStringLiteral("gsm") } };

    ASSERT_TRUE(checkFromMenu(*m_form));

    EXPECT_TRUE(m_prompter.fake.boxes.isEmpty());
    EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(m_form->Text6()->text(), QStringLiteral("2"));
    EXPECT_TRUE(m_form->WebBrowser1()->currentAddress().endsWith(QStringLiteral("/nande.gif")));
    EXPECT_EQ(m_ras.calls, QStringList({ "enum", "hangUp /ac/1" }));

    // Dovecot logs a session when it ends, a moment after the client has gone. Only this
    // test's sessions retrieve anything.
    auto sessionsRetrieving = [](int n) { return s_dovecot->retrCounts().count(n); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return sessionsRetrieving(2) == 1; }, 10000))
        << s_dovecot->logText().toStdString();
    EXPECT_EQ(deletedCount(), 0);

    // Mail is never removed: the next check counts the same two messages again.
    m_form->mcheck_Click();
    EXPECT_EQ(m_form->Text6()->text(), QStringLiteral("2"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return sessionsRetrieving(2) == 2; }, 10000));
    EXPECT_EQ(deletedCount(), 0);
    for (int retrieved : s_dovecot->retrCounts())
        EXPECT_TRUE(retrieved == 0 || retrieved == 2) << "each message is retrieved once a check";
}

TEST_F(CheckMailEndToEnd, WrongPasswordShowsTheServersTextThenNoMail)
{
    ASSERT_TRUE(s_dovecot->addUser(QStringLiteral("bob"), QStringLiteral("right")));
    configure(QStringLiteral("bob"), QStringLiteral("wrong"), 0);
    forms().setForm.get().Check1()->setChecked(false);

    ASSERT_TRUE(checkFromMenu(*m_form));

    ASSERT_EQ(m_prompter.fake.boxes.size(), 1);
    EXPECT_EQ(m_prompter.fake.boxes[0].caption, QStringLiteral("エラー"));
    EXPECT_TRUE(
        m_prompter.fake.boxes[0].text.contains(QStringLiteral("[AUTH] Authentication failed.")))
        << m_prompter.fake.boxes[0].text.toStdString();
    EXPECT_EQ(m_form->Text3()->text(), QStringLiteral("新着メールなし。"));
    EXPECT_LT(m_form->Text6()->text().toInt(), 0);
    EXPECT_TRUE(m_ras.calls.isEmpty());
}

} // namespace
