// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main window over recording fakes, in a program folder and a current directory of its own.
#include "app/mainform.h"
#include "fakes/fakemedia.h"
#include "fakes/fakenmail.h"
#include "fakes/fakeprompter.h"
#include "fakes/fakeras.h"
#include "fakes/programenvironment.h"
#include "mail/librarythread.h"
#include "qtprinters.h"
#include "dialogs/forms.h"
#include "settings/mailsettings.h"
#include "core/programfolder.h"
#include "ui/picturebox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_environment.isValid()); }
    void TearDown() override { m_form.reset(); }

    void writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QString optionFile() const { return m_program + QStringLiteral("/★MailData/ini.ini"); }
    QString accountFile() const { return m_program + QStringLiteral("/★MailData/iniIdPass.ini"); }

    void setOptionNumber(int n)
    {
        writeFile(optionFile(), QByteArray("[EXEINI]\r\nNUMBER=") + QByteArray::number(n) + "\r\n");
    }
    void setServer(const QByteArray &server, int apop = 0)
    {
        writeFile(m_current + QStringLiteral("/vbmail.ini"),
            "SMTP=\r\nPOP3=" + server + "\r\nMAIL=\r\nAPOP=" + QByteArray::number(apop) + "\r\n");
    }
    void setAccount(const QByteArray &id, const QByteArray &password)
    {
        writeFile(
            accountFile(), "[EXEINI]\r\nNAME=" + id + "\r\nNAME2=" + password + "\r\nNAME3=1\r\n");
    }

    // Creates the window and runs its load step.
    MainForm &loadForm()
    {
        m_form = std::make_unique<MainForm>(
            MainForm::Services { m_nmail, m_media, m_ras, m_nmailThread });
        m_form->load();
        return *m_form;
    }

    ProgramEnvironment m_environment;
    const QString m_program = m_environment.program();
    const QString m_current = m_environment.current();
    FakeNMail m_nmail;
    FakeMedia m_media;
    FakeRas m_ras;
    LibraryThread m_nmailThread;
    ScopedFakePrompter m_prompter;
    std::unique_ptr<MainForm> m_form;
};
