// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/mailsettings.h"
#include "core/programfolder.h"
#include "settingstestutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace SettingsTest;

namespace {

// An installed program: a program folder that cannot be written, shipping ★MailData/ini.ini, and
// a per-user data folder that does not exist yet.
class PerUserSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkpath(m_program + QStringLiteral("/★MailData")));
        writeFile(m_program + QStringLiteral("/★MailData/ini.ini"), Shipped);
        for (const QString &folder : { m_program + QStringLiteral("/★MailData"), m_program })
            ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        m_savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data));
        setProgramFolderForTesting(m_program);

        // Root writes through any mode: there the folder is declared read-only instead.
        QFile probe(m_program + QStringLiteral("/probe"));
        if (probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            probe.remove();
            setProgramFolderWritableForTesting(false);
        }
    }
    void TearDown() override
    {
        setProgramFolderForTesting(QString());
        setProgramFolderWritableForTesting(std::nullopt);
        qputenv("XDG_DATA_HOME", m_savedDataHome);
        for (const QString &folder : { m_program, m_program + QStringLiteral("/★MailData") })
            ::chmod(QFile::encodeName(folder).constData(), 0755);
    }

    static inline const QByteArray Shipped = "[EXEINI]\r\nNUMBER=2\r\n";
    QTemporaryDir m_dir;
    const QString m_program = m_dir.filePath(QStringLiteral("program"));
    const QString m_data = m_dir.filePath(QStringLiteral("data"));
    const QString m_own = m_data + QStringLiteral("/brindle/★MailData");
    QByteArray m_savedDataHome;
};

TEST_F(PerUserSettingsTest, ReadsFallBackAndWritesGoToTheUser)
{
    EXPECT_FALSE(programFolderWritable());
    EXPECT_EQ(userDataFolder(), m_data + QStringLiteral("/brindle"));
    EXPECT_EQ(ReadOptionNumber(), 2);
    EXPECT_EQ(ReadAccountValue("NAME"), "");
    EXPECT_FALSE(QFileInfo::exists(m_data));

    WriteOptionNumber(1);
    EXPECT_EQ(ReadOptionNumber(), 1);
    EXPECT_EQ(optionFilePath(), m_own + QStringLiteral("/ini.ini"));
    EXPECT_EQ(readFile(m_program + QStringLiteral("/★MailData/ini.ini")), Shipped);
    EXPECT_EQ(fileMode(m_data + QStringLiteral("/brindle")), 0700);
    EXPECT_EQ(fileMode(m_own), 0700);

    WriteAccount("taro", "pw", true);
    EXPECT_EQ(accountFilePath(), m_own + QStringLiteral("/iniIdPass.ini"));
    EXPECT_EQ(fileMode(accountFilePath()), 0600);
    EXPECT_EQ(ReadAccountValue("NAME"), "taro");
    EXPECT_EQ(ReadAccountValue("NAME2"), "pw");
    EXPECT_FALSE(QFileInfo::exists(m_program + QStringLiteral("/★MailData/iniIdPass.ini")));
}

TEST_F(PerUserSettingsTest, TheUsersCopyStartsFromTheProgramFoldersFile)
{
    WriteOptionNumber(std::nullopt);
    EXPECT_EQ(readFile(m_own + QStringLiteral("/ini.ini")), "[EXEINI]\r\n");
    EXPECT_EQ(ReadOptionNumber(), 0);

    // Declining to store keeps an account that the program folder's file holds.
    const QByteArray mailData = QFile::encodeName(m_program + QStringLiteral("/★MailData"));
    ASSERT_EQ(::chmod(mailData.constData(), 0755), 0);
    writeFile(m_program + QStringLiteral("/★MailData/iniIdPass.ini"),
        "[EXEINI]\r\nNAME=hanako\r\nNAME2=secret\r\nNAME3=1\r\n");
    ASSERT_EQ(::chmod(mailData.constData(), 0555), 0);
    EXPECT_EQ(ReadAccountValue("NAME"), "hanako");
    WriteAccount("x", "y", false);
    EXPECT_EQ(readFile(m_own + QStringLiteral("/iniIdPass.ini")),
        "[EXEINI]\r\nNAME=hanako\r\nNAME2=secret\r\nNAME3=0\r\n");
    EXPECT_EQ(fileMode(m_own + QStringLiteral("/iniIdPass.ini")), 0600);
}

// What the program learns about servers is kept apart from the settings, where the XDG rules
// say: an absolute $XDG_STATE_HOME, else ~/.local/state.
TEST(ProgramFolderTest, TheStateFolderFollowsAnAbsoluteXdgStateHome)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
    EXPECT_EQ(userStateFolder(), dir.filePath(QStringLiteral("state/brindle")));
    qputenv("XDG_STATE_HOME", "relative/ignored");
    EXPECT_EQ(userStateFolder(), QDir::homePath() + QStringLiteral("/.local/state/brindle"));
    if (saved.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", saved);
}

TEST(ProgramFolderTest, FoldersBelowUsrAreNeverWritten)
{
    // Root may write there, but the package manager owns it.
    setProgramFolderForTesting(QStringLiteral("/usr/lib"));
    EXPECT_FALSE(programFolderWritable());
    setProgramFolderForTesting(QString());
}

// Started through a symbolic link (as /usr/bin/brindle links to /usr/lib/brindle/brindle), the
// program folder is still the folder of the executable itself. The test runs its own binary
// through a link, which reports its program folder into a file.
TEST(ProgramFolderTest, IsTheExecutablesFolderWhenStartedThroughALink)
{
    const QString report = qEnvironmentVariable("BRINDLE_REPORT_PROGRAM_FOLDER");
    if (!report.isEmpty()) {
        writeFile(report, programFolder().toUtf8());
        return;
    }
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("bin")));
    const QString link = dir.filePath(QStringLiteral("bin/brindle"));
    ASSERT_TRUE(QFile::link(QCoreApplication::applicationFilePath(), link));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("BRINDLE_REPORT_PROGRAM_FOLDER"), dir.filePath("report"));
    child.setProcessEnvironment(environment);
    child.start(link,
        { QStringLiteral(
            "--gtest_filter=ProgramFolderTest.IsTheExecutablesFolderWhenStartedThroughALink") });
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(readFile(dir.filePath("report")), QCoreApplication::applicationDirPath().toUtf8());
}

} // namespace
