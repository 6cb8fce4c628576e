// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/mailsettings.h"
#include "core/programfolder.h"
#include "settingstestutil.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/file.h>

using namespace SettingsTest;

namespace {

// Runs each test in a folder of its own, which is both the current directory (for vbmail.ini) and
// the program folder (for ★MailData/).
class MailSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_savedCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        setProgramFolderForTesting(m_dir.path());
        ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("★MailData")));
    }
    void TearDown() override
    {
        QDir::setCurrent(m_savedCurrent);
        setProgramFolderForTesting(QString());
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_savedCurrent;
};

MailSettings parsed(const QByteArray &bytes)
{
    MailSettings settings;
    parseServerSettings(bytes, settings);
    return settings;
}

TEST(ServerSettingsParse, Lines)
{
    const QByteArray longValue(150, 'a');
    const QString longJapanese(150, QChar(0x3042));
    const struct {
        QByteArray file;
        QString smtp, pop3, mail;
    } rows[] = {
        { "POP3=pop.example.jp", "", "pop.example.jp", "" },
        { "pop3=pop.example.jp\r\n", "", "", "" },
        { "POP3= pop \r\n", "", " pop ", "" },
        { "POP3 =x\r\nPOP3\r\nPOP\r\n", "", "", "" },
        { "SMTP=" + longValue + "\r\n", QString(100, u'a'), "", "" },
        { "SMTP=" + longJapanese.toUtf8(), longJapanese.left(100), "", "" },
        { "MAIL=first@x\r\nMAIL=second@x\r\n", "", "", "second@x" },
        { "SMTP=s\nPOP3=p\nMAIL=m\n", "s", "p", "m" },
        { "SMTP=s\rPOP3=p\rMAIL=m", "s", "p", "m" },
        { "SMTP=s\r\n\nPOP3=p\n\r\nMAIL=m\r\n", "s", "p", "m" },
        { "junk\r\n[EXEINI]\r\nMAIL=m\r\nSMTP=s\r\n; POP3=x\r\n", "s", "", "m" },
        { "\xEF\xBB\xBFPOP3=bom", "", "bom", "" },
        { "MAIL=\x8E\x52\x93\x63@example.jp\r\n", "", "", QStringLiteral("山田@example.jp") },
        { "MAIL==a=b;c\"d\"\r\n", "", "", "=a=b;c\"d\"" },
        { "SMTP=\r\n", "", "", "" },
        { "SMTP=a\tb\r\n", "a\tb", "", "" },
        { QByteArray("SMTP=a\0b\r\n", 10), QString::fromUtf8("a\0b", 3), "", "" },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        const MailSettings settings = parsed(row.file);
        EXPECT_EQ(settings.SmtpServer, row.smtp);
        EXPECT_EQ(settings.Pop3Server, row.pop3);
        EXPECT_EQ(settings.MailAddress, row.mail);
        EXPECT_EQ(settings.UseApop, 0);
        EXPECT_TRUE(settings.UserId.isEmpty());
    }
}

TEST(ServerSettingsParse, ApopNumber)
{
    const struct {
        const char *value;
        qint16 expected;
    } rows[] = {
        { "1", 1 },
        { "0", 0 },
        { "abc", 0 },
        { "", 0 },
        { "2.5", 2 },
        { "3.5", 4 },
        { "0.5", 0 },
        { "1.5", 2 },
        { "-2.5", -2 },
        { "2.6", 3 },
        { " 1 ", 1 },
        { "1 2", 12 },
        { "-1", -1 },
        { "+7", 7 },
        { "--1", 0 },
        { "1x", 1 },
        { ".5", 0 },
        { ".", 0 },
        { "1e2", 100 },
        { "1E-1", 0 },
        { "2D1", 20 },
        { "1e", 1 },
        { "1e+", 1 },
        { "32767", 32767 },
        { "32768", 32767 },
        { "-32768", -32768 },
        { "-32769", -32768 },
        { "99999999999999999999", 32767 },
        { "1e999", 32767 },
        { "-1e999", -32768 },
        { "1e-999", 0 },
        { "\xEF\xBC\x91", 0 },
        { "32767.5", 32767 },
        { "-32768.5", -32768 },
        { "&H10", 0 },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(parseApopValue(QString::fromUtf8(row.value)), row.expected);
        EXPECT_EQ(parsed(QByteArray("APOP=") + row.value + "\r\n").UseApop, row.expected);
    }
    // The value is cut to 100 characters before it is read.
    EXPECT_EQ(parsed("APOP=" + QByteArray(99, ' ') + "12\r\n").UseApop, 1);
}

TEST(ServerSettingsParse, KeepsSettingsTheFileDoesNotName)
{
    MailSettings settings;
    settings.SmtpServer = "old-smtp";
    settings.UseApop = 1;
    settings.UserId = "id";
    parseServerSettings("POP3=new\r\n", settings);
    EXPECT_EQ(settings.SmtpServer, "old-smtp");
    EXPECT_EQ(settings.Pop3Server, "new");
    EXPECT_EQ(settings.UseApop, 1);
    EXPECT_EQ(settings.UserId, "id");
}

TEST_F(MailSettingsTest, ReadServerSettingsFromTheCurrentDirectory)
{
    EXPECT_EQ(serverSettingsPath(), "vbmail.ini");
    MailSettings settings;
    ReadServerSettings(settings); // missing: nothing changes
    EXPECT_TRUE(settings.Pop3Server.isEmpty());

    writeFile(path("vbmail.ini"),
        "SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=a@b\r\nAPOP=1\r\n");
    // The program folder's copy is never looked at.
    writeFile(path("★MailData/vbmail.ini"), "POP3=wrong\r\n");
    ReadServerSettings(settings);
    EXPECT_EQ(settings.SmtpServer, "smtp.example.jp");
    EXPECT_EQ(settings.Pop3Server, "pop.example.jp");
    EXPECT_EQ(settings.MailAddress, "a@b");
    EXPECT_EQ(settings.UseApop, 1);
}

TEST_F(MailSettingsTest, DirectoryNamedVbmailIniIsNotRead)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("vbmail.ini"));
    MailSettings settings;
    settings.Pop3Server = "kept";
    ReadServerSettings(settings);
    EXPECT_EQ(settings.Pop3Server, "kept");

    QString error;
    EXPECT_FALSE(WriteServerSettings(settings, &error));
    EXPECT_TRUE(error.contains("vbmail.ini")) << qPrintable(error);
    EXPECT_TRUE(QFileInfo(path("vbmail.ini")).isDir());
}

TEST_F(MailSettingsTest, WriteServerSettingsRewritesTheWholeFile)
{
    writeFile(path("vbmail.ini"), "OTHER=1\r\nPOP3=old\r\n");
    MailSettings settings;
    settings.SmtpServer = " smtp ";
    settings.Pop3Server = QStringLiteral("ポップ.example.jp");
    settings.MailAddress = "a=b;c@x";
    settings.UseApop = 1;
    QString error = "unchanged";
    ASSERT_TRUE(WriteServerSettings(settings, &error)) << qPrintable(error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(readFile(path("vbmail.ini")),
        QStringLiteral("SMTP= smtp \r\nPOP3=ポップ.example.jp\r\nMAIL=a=b;c@x\r\nAPOP=1\r\n")
            .toUtf8());

    MailSettings back;
    ReadServerSettings(back);
    EXPECT_EQ(back.SmtpServer, settings.SmtpServer);
    EXPECT_EQ(back.Pop3Server, settings.Pop3Server);
    EXPECT_EQ(back.MailAddress, settings.MailAddress);
    EXPECT_EQ(back.UseApop, 1);

    settings.UseApop = -5;
    ASSERT_TRUE(WriteServerSettings(settings));
    EXPECT_TRUE(readFile(path("vbmail.ini")).endsWith("APOP=-5\r\n"));
}

TEST_F(MailSettingsTest, Cp932ServerSettingsAreWrittenBackInCp932)
{
    // "SMTP=送信.jp" and "POP3=受信.jp" as written on a Japanese Windows system.
    writeFile(path("vbmail.ini"), "SMTP=\x91\x97\x90\x4D.jp\r\nPOP3=\x8E\xF3\x90\x4D.jp\r\n");
    MailSettings settings;
    ReadServerSettings(settings);
    ASSERT_EQ(settings.SmtpServer, QStringLiteral("送信.jp"));
    settings.MailAddress = QStringLiteral("ｱ@x"); // half-width katakana: one byte in CP932
    ASSERT_TRUE(WriteServerSettings(settings));
    EXPECT_EQ(readFile(path("vbmail.ini")),
        "SMTP=\x91\x97\x90\x4D.jp\r\nPOP3=\x8E\xF3\x90\x4D.jp\r\nMAIL=\xB1@x\r\nAPOP=0\r\n");

    // A character CP932 lacks: UTF-8, as for a new file.
    settings.MailAddress = QStringLiteral("한@x");
    ASSERT_TRUE(WriteServerSettings(settings));
    EXPECT_EQ(readFile(path("vbmail.ini")),
        QStringLiteral("SMTP=送信.jp\r\nPOP3=受信.jp\r\nMAIL=한@x\r\nAPOP=0\r\n").toUtf8());
}

// A save killed between creating its temporary file and renaming it leaves the temporary file;
// the next save of the same file removes it, and leaves every other file alone.
TEST_F(MailSettingsTest, SavesRemoveTheStrayTemporariesOfTheirFile)
{
    WriteAccount("taro", "secret", true);
    const QString data = path("★MailData");
    const QStringList strays = { path(".vbmail.ini.tmp-1f2e3d4c5b6a7988"),
        data + "/.iniIdPass.ini.tmp-a1", data + "/.iniIdPass.ini.tmp-b2" };
    for (const QString &stray : strays)
        writeFile(stray, "[EXEINI]\r\nNAME2=secret");
    const QStringList others = { path(".vbmail.ini.tmp-notours"), path("vbmail.ini.tmp-1"),
        path(".other.ini.tmp-1"), data + "/.ini.ini.tmp-1", path(".vbmail.ini.tmp-") };
    for (const QString &other : others)
        writeFile(other, "x");
    // A save under way in another process holds a lock on its temporary file: that one stays.
    const QString busy = path(".vbmail.ini.tmp-c3");
    writeFile(busy, "x");
    QFile held(busy);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(held.handle(), LOCK_EX), 0);

    MailSettings settings;
    settings.Pop3Server = "pop";
    ASSERT_TRUE(WriteServerSettings(settings));
    // The account file is unchanged by this save and so not rewritten; its strays go all the same.
    WriteAccount("taro", "secret", true);

    for (const QString &stray : strays)
        EXPECT_FALSE(QFileInfo::exists(stray)) << qPrintable(stray);
    for (const QString &other : others + QStringList { busy })
        EXPECT_TRUE(QFileInfo::exists(other)) << qPrintable(other);
    EXPECT_EQ(parsed(readFile(path("vbmail.ini"))).Pop3Server, "pop");
    EXPECT_EQ(ReadAccountValue("NAME2"), "secret");
    EXPECT_EQ(QDir(data).entryList(QDir::Files | QDir::Hidden),
        QStringList({ ".ini.ini.tmp-1", "iniIdPass.ini" }));
}

TEST_F(MailSettingsTest, ServerSettingsWithLineBreakAreRefused)
{
    const QByteArray old = "POP3=old\r\n";
    writeFile(path("vbmail.ini"), old);
    MailSettings settings;
    settings.Pop3Server = "pop\r\nAPOP=1";
    const Profile::Status status = saveServerSettings(settings);
    EXPECT_EQ(status.code, Profile::ErrorCode::InvalidValue);
    EXPECT_TRUE(status.text.contains("vbmail.ini"));
    EXPECT_EQ(readFile(path("vbmail.ini")), old);
}

TEST_F(MailSettingsTest, OptionNumber)
{
    EXPECT_EQ(optionFilePath(), m_dir.path() + QStringLiteral("/★MailData/ini.ini"));
    EXPECT_EQ(ReadOptionNumber(), 0);

    WriteOptionNumber(1);
    EXPECT_EQ(ReadOptionNumber(), 1);
    EXPECT_EQ(readFile(optionFilePath()), "[EXEINI]\r\nNUMBER=1\r\n");
    WriteOptionNumber(2);
    EXPECT_EQ(ReadOptionNumber(), 2);
    WriteOptionNumber(0);
    EXPECT_EQ(ReadOptionNumber(), 0);
    EXPECT_EQ(readFile(optionFilePath()), "[EXEINI]\r\nNUMBER=0\r\n");
    WriteOptionNumber(2);
    WriteOptionNumber(std::nullopt);
    EXPECT_EQ(ReadOptionNumber(), 0);
    EXPECT_EQ(readFile(optionFilePath()), "[EXEINI]\r\n");

    writeFile(optionFilePath(), "[exeini]\r\nnumber = 7 apples\r\n");
    EXPECT_EQ(ReadOptionNumber(), 7);
}

TEST_F(MailSettingsTest, WritesIntoAMissingMailDataFolderAreSilentlyDropped)
{
    ASSERT_TRUE(QDir(path("★MailData")).removeRecursively());
    WriteOptionNumber(1);
    WriteAccount("id", "pw", true);
    EXPECT_FALSE(QFileInfo::exists(path("★MailData")));
    EXPECT_EQ(ReadOptionNumber(), 0);
    EXPECT_EQ(ReadAccountValue("NAME"), "");
}

TEST_F(MailSettingsTest, AccountStoreAndDecline)
{
    EXPECT_EQ(accountFilePath(), m_dir.path() + QStringLiteral("/★MailData/iniIdPass.ini"));
    EXPECT_EQ(ReadAccountValue("NAME"), "");

    WriteAccount("taro", " p=a;s#s\"", true);
    EXPECT_EQ(readFile(accountFilePath()),
        "[EXEINI]\r\nNAME=taro\r\nNAME2=\" p=a;s#s\"\"\r\nNAME3=1\r\n");
    EXPECT_EQ(fileMode(accountFilePath()), 0600);
    EXPECT_EQ(ReadAccountValue("NAME"), "taro");
    EXPECT_EQ(ReadAccountValue("NAME2"), " p=a;s#s\"");

    // Declining keeps what an earlier OK stored.
    WriteAccount("other", "other", false);
    EXPECT_EQ(readFile(accountFilePath()),
        "[EXEINI]\r\nNAME=taro\r\nNAME2=\" p=a;s#s\"\"\r\nNAME3=0\r\n");
    EXPECT_EQ(fileMode(accountFilePath()), 0600);

    // An empty ID is written as an empty value.
    WriteAccount("", "pw", true);
    EXPECT_EQ(readFile(accountFilePath()), "[EXEINI]\r\nNAME=\r\nNAME2=pw\r\nNAME3=1\r\n");
    EXPECT_EQ(ReadAccountValue("NAME"), "");
}

TEST_F(MailSettingsTest, AccountWithALineBreakIsNotStoredAtAll)
{
    WriteAccount("taro", "old", true);
    const QByteArray stored = readFile(accountFilePath());
    // Pasted text may carry a line break; neither half of such an account is stored.
    WriteAccount("hanako", "new\npass", true);
    WriteAccount("hana\r\nko", "new", true);
    EXPECT_EQ(readFile(accountFilePath()), stored);
}

TEST_F(MailSettingsTest, DeclineWithoutEarlierStoreWritesOnlyTheFlag)
{
    WriteAccount("id", "pw", false);
    EXPECT_EQ(readFile(accountFilePath()), "[EXEINI]\r\nNAME3=0\r\n");
    EXPECT_EQ(fileMode(accountFilePath()), 0600);
    EXPECT_EQ(ReadAccountValue("NAME"), "");
    EXPECT_EQ(ReadAccountValue("NAME2"), "");
}

TEST_F(MailSettingsTest, AccountValuesAreCutAt255Bytes)
{
    const QString longId(300, u'i');
    const QString japanese = QStringLiteral("山田太郎");
    WriteAccount(longId, japanese, true);
    EXPECT_EQ(ReadAccountValue("NAME"), longId.left(255));
    EXPECT_EQ(ReadAccountValue("NAME2"), japanese);
}

TEST_F(MailSettingsTest, AccountFileWithWideModeIsNarrowed)
{
    writeFile(accountFilePath(), "[EXEINI]\r\nNAME=a\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(accountFilePath()).constData(), 0644), 0);
    WriteAccount("b", "c", true);
    EXPECT_EQ(fileMode(accountFilePath()), 0600);
    EXPECT_EQ(ReadAccountValue("NAME"), "b");

    // Even when the values written are the ones already stored.
    ASSERT_EQ(::chmod(QFile::encodeName(accountFilePath()).constData(), 0640), 0);
    WriteAccount("b", "c", true);
    EXPECT_EQ(fileMode(accountFilePath()), 0600);
}

TEST(MailSettingsRecord, OneRecordStartingEmpty)
{
    MailSettings &settings = mailSettings();
    EXPECT_EQ(&settings, &mailSettings());
    EXPECT_EQ(MailSettings().UseApop, 0);
    EXPECT_TRUE(MailSettings().Pop3Server.isEmpty());
}

} // namespace
