#include "core/programfolder.h"
#include "settings/serverrecords.h"
#include "settingstestutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace SettingsTest;

namespace {

const QByteArray DigestA = QByteArray(32, '\xab');
const QByteArray DigestB
    = QByteArray::fromHex("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");

TEST(ServerRecordsTest, RecordsAreTheUsersAloneAndOutliveTheirReader)
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

    // Two missing folders are made for the owner only.
    const QString folder = dir.filePath(QStringLiteral("state/brindle"));
    ServerRecords records(folder);
    EXPECT_FALSE(records.offeredTls(QStringLiteral("pop.example.org:110")));
    EXPECT_TRUE(records.pinnedFingerprint(QStringLiteral("pop.example.org:110")).isEmpty());
    ASSERT_TRUE(records.rememberTls(QStringLiteral("pop.example.org:110")).ok());
    ASSERT_TRUE(records.rememberTls(QStringLiteral("[2001:db8::1]:995")).ok());
    ASSERT_TRUE(records.rememberTls(QStringLiteral("pop.example.org:110")).ok());
    ASSERT_TRUE(records.pin(QStringLiteral("pop.example.org:110"), DigestA).ok());
    ASSERT_TRUE(records.pin(QStringLiteral("mail.example.jp:1110"), DigestB).ok());
    ASSERT_TRUE(records.pin(QStringLiteral("pop.example.org:110"), DigestB).ok());
    EXPECT_EQ(fileMode(dir.filePath(QStringLiteral("state"))), 0700);
    EXPECT_EQ(fileMode(folder), 0700);
    EXPECT_EQ(fileMode(records.tlsServersFile()), 0600);
    EXPECT_EQ(fileMode(records.pinnedCertificatesFile()), 0600);
    EXPECT_EQ(readFile(records.tlsServersFile()).count("pop.example.org:110\n"), 1);
    EXPECT_TRUE(readFile(records.pinnedCertificatesFile())
                    .contains("pop.example.org:110 00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:"
                              "FF:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF\n"));
    EXPECT_FALSE(records.pin(QStringLiteral("pop.example.org:110"), "short").ok());
    EXPECT_FALSE(records.rememberTls(QStringLiteral("two words:110")).ok());

    // A folder made wider by someone else is narrowed at the next write.
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    ServerRecords again(folder);
    EXPECT_TRUE(again.offeredTls(QStringLiteral("[2001:db8::1]:995")));
    EXPECT_FALSE(again.offeredTls(QStringLiteral("pop.example.org:995")));
    EXPECT_EQ(again.pinnedFingerprint(QStringLiteral("pop.example.org:110")), DigestB);
    EXPECT_EQ(again.pinnedFingerprint(QStringLiteral("mail.example.jp:1110")), DigestB);
    ASSERT_TRUE(again.rememberTls(QStringLiteral("other:110")).ok());
    EXPECT_EQ(fileMode(folder), 0700);
}

TEST(ServerRecordsTest, TornOrEditedLinesCountAsNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ServerRecords records(dir.path());
    const QByteArray fingerprintA = ServerRecords::formatFingerprint(DigestA).toLatin1();
    writeFile(records.tlsServersFile(),
        "# comment\n"
        "  good.example:110  \r\n"
        "with extra:110 words\n"
        "\x01\xff\xfe garbage\n"
        "tab.example:110\tx\n"
        "torn.exam"); // "torn.example:110" cut short
    writeFile(records.pinnedCertificatesFile(),
        "good.example:110 " + fingerprintA.toLower()
            + "\n"
              "cut.example:110 "
            + fingerprintA.left(40)
            + "\n"
              "nohex.example:110 "
            + QByteArray(95, 'Z')
            + "\n"
              "alone.example:110\n"
              "twice.example:110 "
            + fingerprintA + " and more\n" + QByteArray("\0\0\0", 3)
            + "\n"
              "last.example:110 "
            + fingerprintA.left(94));
    EXPECT_TRUE(records.offeredTls(QStringLiteral("good.example:110")));
    for (const char *broken :
        { "with", "with extra:110", "tab.example:110", "garbage", "torn.exam" })
        EXPECT_FALSE(records.offeredTls(QString::fromLatin1(broken))) << broken;
    EXPECT_EQ(records.pinnedFingerprint(QStringLiteral("good.example:110")), DigestA);
    for (const char *broken : { "cut.example:110", "nohex.example:110", "alone.example:110",
             "twice.example:110", "last.example:110" })
        EXPECT_TRUE(records.pinnedFingerprint(QString::fromLatin1(broken)).isEmpty()) << broken;

    // The next write keeps the entries and drops what did not read as one.
    ASSERT_TRUE(records.pin(QStringLiteral("new.example:110"), DigestB).ok());
    ASSERT_TRUE(records.rememberTls(QStringLiteral("new.example:110")).ok());
    EXPECT_EQ(records.pinnedFingerprint(QStringLiteral("good.example:110")), DigestA);
    EXPECT_EQ(records.pinnedFingerprint(QStringLiteral("new.example:110")), DigestB);
    EXPECT_TRUE(records.offeredTls(QStringLiteral("good.example:110")));
    EXPECT_FALSE(readFile(records.pinnedCertificatesFile()).contains("cut.example"));
    EXPECT_FALSE(readFile(records.tlsServersFile()).contains("garbage"));

    // Not a file at all: nothing remembered, and a write fails with a reason.
    ServerRecords odd(dir.filePath(QStringLiteral("odd")));
    ASSERT_TRUE(QDir().mkpath(odd.tlsServersFile()));
    EXPECT_FALSE(odd.offeredTls(QStringLiteral("good.example:110")));
    const Profile::Status status = odd.rememberTls(QStringLiteral("good.example:110"));
    EXPECT_EQ(status.code, Profile::ErrorCode::NotAFile);
    EXPECT_FALSE(status.text.isEmpty());
}

} // namespace
