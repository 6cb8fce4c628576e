// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/profile.h"
#include "settingstestutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace SettingsTest;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    QString path(const QString &name = QStringLiteral("ini.ini")) const
    {
        return m_dir.filePath(name);
    }

    QTemporaryDir m_dir;
};

// ---- Reading ----

TEST(ProfileParse, IntegerRules)
{
    const struct {
        const char *text;
        int expected;
    } rows[] = {
        { "0", 0 },
        { "1", 1 },
        { "  42", 42 },
        { "\t-7x", -7 },
        { "+5", 5 },
        { "- 5", 0 },
        { "abc", 0 },
        { "", 0 },
        { "12abc", 12 },
        { "3.9", 3 },
        { "007", 7 },
        { "2147483647", INT_MAX },
        { "-2147483648", INT_MIN },
        { "99999999999999999999", INT_MAX },
        { "-99999999999999999999", INT_MIN },
        { "\xEF\xBC\x91", 0 } /* full-width 1 */,
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Profile::parseInt(QString::fromUtf8(row.text)), row.expected);
    }
}

TEST(ProfileParse, ValueLookupRules)
{
    const struct {
        const char *file;
        const char *section;
        const char *key;
        std::optional<const char *> expected;
    } rows[] = {
        { "[EXEINI]\r\nNAME=abc\r\n", "EXEINI", "NAME", "abc" },
        { "[exeini]\nname=abc", "EXEINI", "NAME", "abc" },
        { "[EXEINI]\nNAME=abc", "ExeIni", "nAmE", "abc" },
        { "  [ EXEINI ]  \n  NAME  =  abc  \n", "EXEINI", "NAME", "abc" },
        { "[EXEINI]\nNAME=\" abc \"", "EXEINI", "NAME", " abc " },
        { "[EXEINI]\nNAME=\"\"x\"\"", "EXEINI", "NAME", "\"x\"" },
        { "[EXEINI]\nNAME=\"abc", "EXEINI", "NAME", "\"abc" },
        { "[EXEINI]\nNAME=\"", "EXEINI", "NAME", "\"" },
        { "[EXEINI]\nNAME='abc'", "EXEINI", "NAME", "'abc'" },
        { "[EXEINI]\nNAME=a;b # c", "EXEINI", "NAME", "a;b # c" },
        { "[EXEINI]\nNAME=a=b", "EXEINI", "NAME", "a=b" },
        { "[EXEINI]\nNAME=", "EXEINI", "NAME", "" },
        { "[EXEINI]\nNAME", "EXEINI", "NAME", "" },
        { "[EXEINI]\n;NAME=x", "EXEINI", "NAME", std::nullopt },
        { "[EXEINI]\n  #NAME=x", "EXEINI", "NAME", std::nullopt },
        { "NAME=x\n[EXEINI]\n", "EXEINI", "NAME", std::nullopt },
        { "[OTHER]\nNAME=x\n[EXEINI]\nNAME2=y", "EXEINI", "NAME", std::nullopt },
        { "[EXEINI]\nNAME=1\nNAME=2", "EXEINI", "NAME", "1" },
        { "[A]\nX=1\n[EXEINI]\nZ=b\n[A]\nNAME=2", "A", "NAME", "2" },
        { "[EXEINI\nNAME=1", "EXEINI", "NAME", std::nullopt },
        { "[EXEINI] ; note\nNAME=1", "EXEINI", "NAME", "1" },
        { "[EXEINI]\rNAME=x\rNAME2=y", "EXEINI", "NAME2", "y" },
        { "\xEF\xBB\xBF[EXEINI]\nNAME=x", "EXEINI", "NAME", "x" },
        { "[EXEINI]\nNAME=x", "", "NAME", std::nullopt },
        { "[EXEINI]\nNAME=x", "EXEINI", "", std::nullopt },
        { "[EXEINI]\nNAME=\xE6\x97\xA5\xE6\x9C\xAC", "EXEINI", "NAME", "\xE6\x97\xA5\xE6\x9C\xAC" },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file);
        const Profile::Document doc = Profile::Document::parse(QByteArray(row.file));
        const std::optional<QString> value
            = doc.value(QString::fromUtf8(row.section), QString::fromUtf8(row.key));
        if (row.expected) {
            ASSERT_TRUE(value.has_value());
            EXPECT_EQ(*value, QString::fromUtf8(*row.expected));
        } else {
            EXPECT_FALSE(value.has_value()) << qPrintable(*value);
        }
    }
}

TEST_F(ProfileTest, IntegerReadFromFile)
{
    writeFile(path(), "[EXEINI]\r\nNUMBER=  12 \r\nTEXT=abc\r\nEMPTY=\r\nQUOTED=\" -3\"\r\n");
    EXPECT_EQ(Profile::readInt("EXEINI", "NUMBER", 5, path()), 12);
    EXPECT_EQ(Profile::readInt("exeini", "number", 5, path()), 12);
    EXPECT_EQ(Profile::readInt("EXEINI", "TEXT", 5, path()), 0);
    EXPECT_EQ(Profile::readInt("EXEINI", "EMPTY", 5, path()), 0);
    EXPECT_EQ(Profile::readInt("EXEINI", "QUOTED", 5, path()), -3);
    EXPECT_EQ(Profile::readInt("EXEINI", "MISSING", 5, path()), 5);
    EXPECT_EQ(Profile::readInt("OTHER", "NUMBER", 5, path()), 5);
    EXPECT_EQ(Profile::readInt("EXEINI", "NUMBER", 5, path("missing.ini")), 5);
    EXPECT_EQ(Profile::readString("EXEINI", "NUMBER", "d", path("missing.ini")), "d");
    EXPECT_EQ(Profile::readString("EXEINI", "MISSING", "d", path()), "d");
}

TEST_F(ProfileTest, DirectoryInPlaceOfFileReadsAsMissing)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("ini.ini"));
    EXPECT_EQ(Profile::readInt("EXEINI", "NUMBER", 4, path()), 4);
    QString error;
    EXPECT_FALSE(Profile::writeString("EXEINI", "NUMBER", "1", path(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

TEST_F(ProfileTest, StringReadIsCutAt255BytesOfCp932BetweenCharacters)
{
    const QString ascii(300, u'x');
    const QString japanese = QString(200, QChar(0x3042)); // 2 bytes each in CP932
    const QString shortJapanese = QStringLiteral("山田太郎のパスワード");
    const QString mixed = u'a' + QString(127, QChar(0x3042)); // 255 bytes, 1 more cut
    const QString halfWidth = QString(300, QChar(0xFF71)); // half-width katakana: 1 byte each
    // Characters without a CP932 form count as their UTF-8 bytes: 3 for Korean, 4 for emoji.
    const QString korean = u'a' + QString(100, QChar(0xD55C));
    const QString emoji = QString(251, u'a') + QStringLiteral("😀😀");
    const std::pair<const char *, QString> rows[] = {
        { "ASCII", ascii },
        { "JA", japanese },
        { "SHORT", shortJapanese },
        { "MIXED", mixed },
        { "HALF", halfWidth },
        { "KO", korean },
        { "EMOJI", emoji },
    };
    for (const auto &[key, value] : rows)
        ASSERT_TRUE(Profile::writeString("EXEINI", key, value, path()));

    EXPECT_EQ(Profile::readString("EXEINI", "ASCII", "", path()), ascii.left(255));
    EXPECT_EQ(Profile::readString("EXEINI", "JA", "", path()), japanese.left(127));
    EXPECT_EQ(Profile::readString("EXEINI", "SHORT", "", path()), shortJapanese);
    EXPECT_EQ(Profile::readString("EXEINI", "MIXED", "", path()), mixed);
    EXPECT_EQ(Profile::readString("EXEINI", "HALF", "", path()), halfWidth.left(255));
    EXPECT_EQ(Profile::readString("EXEINI", "KO", "", path()), korean.left(85));
    EXPECT_EQ(Profile::readString("EXEINI", "EMOJI", "", path()), emoji.left(253));
    // The whole value stays in the file; only the read is capped.
    EXPECT_EQ(Profile::Document::parse(readFile(path())).value("EXEINI", "ASCII"), ascii);

    EXPECT_EQ(Profile::truncateCp932(mixed + u'x', 255), mixed);
    EXPECT_EQ(Profile::truncateCp932(QStringLiteral("aあ"), 2), QStringLiteral("a"));
    EXPECT_EQ(Profile::truncateCp932(QStringLiteral("a😀"), 4), QStringLiteral("a"));
}

TEST_F(ProfileTest, Cp932FileIsRewrittenInCp932WhileEveryCharacterFits)
{
    // "日本語①～\" in code page 932, with a CP932-only character (①) and the two code points
    // where CP932 and plain Shift_JIS disagree (～ is U+FF5E, 0x5C is a backslash).
    const QByteArray sjisValue("\x93\xFA\x96\x7B\x8C\xEA\x87\x40\x81\x60\x5C");
    const QString expected = QStringLiteral("日本語①～\\");
    const QByteArray comment("; \x83\x52\x83\x81\x83\x93\x83\x67\r\n"); // "; コメント"
    writeFile(path(), comment + "[EXEINI]\r\nNAME=" + sjisValue + "\r\n");
    EXPECT_EQ(Profile::readString("EXEINI", "NAME", "", path()), expected);

    // "太郎" in code page 932.
    ASSERT_TRUE(Profile::writeString("EXEINI", "NAME2", QStringLiteral("太郎"), path()));
    EXPECT_EQ(readFile(path()),
        comment + "[EXEINI]\r\nNAME=" + sjisValue + "\r\nNAME2=\x91\xBE\x98\x59\r\n");

    // A character without a CP932 form turns the whole file into UTF-8, and it stays so.
    ASSERT_TRUE(Profile::writeString("EXEINI", "NAME2", QStringLiteral("한"), path()));
    const QByteArray utf8 = QStringLiteral("; コメント\r\n[EXEINI]\r\nNAME=%1\r\nNAME2=한\r\n")
                                .arg(expected)
                                .toUtf8();
    EXPECT_EQ(readFile(path()), utf8);
    ASSERT_TRUE(Profile::writeString("EXEINI", "NAME2", QStringLiteral("太郎"), path()));
    EXPECT_EQ(Profile::readString("EXEINI", "NAME2", "", path()), QStringLiteral("太郎"));
    EXPECT_TRUE(readFile(path()).startsWith(QStringLiteral("; コメント").toUtf8()));

    // CP932 bytes that happen to be valid UTF-8 would read back as other text: UTF-8 instead.
    EXPECT_EQ(Profile::encodeCp932(QStringLiteral("ﾂｱ")), std::nullopt); // 0xC2 0xB1 is "±"
    EXPECT_EQ(Profile::encodeCp932(QStringLiteral("a\\～")), QByteArray("a\x5C\x81\x60"));
}

TEST(ProfileParse, DecodeTextChoosesUtf8OrCp932)
{
    bool bom = false;
    EXPECT_EQ(Profile::decodeText("\xE3\x81\x82", &bom), QStringLiteral("あ"));
    EXPECT_FALSE(bom);
    EXPECT_EQ(Profile::decodeText("\xEF\xBB\xBF\xE3\x81\x82", &bom), QStringLiteral("あ"));
    EXPECT_TRUE(bom);
    EXPECT_EQ(Profile::decodeText("\x82\xA0", &bom), QStringLiteral("あ"));
    EXPECT_FALSE(bom);
    // Truncated UTF-8 at the end is not valid UTF-8: the bytes are CP932.
    EXPECT_EQ(Profile::decodeText("a\xE3\x81"), QStringLiteral("a縺"));
    EXPECT_EQ(Profile::decodeText("\xED\xA0\x80").size(), 2); // encoded surrogate: CP932 reading
}

// ---- Writing ----

TEST_F(ProfileTest, ValuesRoundTripExactly)
{
    const QStringList values = {
        "plain",
        " lead",
        "trail ",
        "  both  ",
        "\ttab\t",
        "a=b",
        "a;b",
        "#x",
        "\"quoted\"",
        "\"",
        "\"\"",
        "\"\"\"",
        "'single'",
        "",
        "a\"b",
        "x\"",
        "\"x",
        QStringLiteral("日本語"),
        QStringLiteral("　全角空白　"),
        QStringLiteral("😀"),
        "[EXEINI]",
        "=",
        " = ",
        "a b",
    };
    for (const QString &value : values) {
        SCOPED_TRACE(qPrintable(value));
        QString error;
        ASSERT_TRUE(Profile::writeString("EXEINI", "NAME2", value, path(), &error))
            << qPrintable(error);
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(Profile::readString("EXEINI", "NAME2", "default", path()), value);
        EXPECT_EQ(Profile::Document::decodeValue(Profile::Document::encodeValue(value)), value);
    }
    ASSERT_TRUE(Profile::writeString("EXEINI", "NAME2", " pass word ", path()));
    ASSERT_TRUE(Profile::writeString("EXEINI", "NAME", "plain", path()));
    EXPECT_EQ(readFile(path()), "[EXEINI]\r\nNAME2=\" pass word \"\r\nNAME=plain\r\n");
}

TEST_F(ProfileTest, RewriteKeepsTheRestOfTheFile)
{
    const struct {
        const char *before;
        const char *key;
        std::optional<const char *> value;
        const char *after;
    } rows[] = {
        { "; top\n[A]\nx = 1\n\n[EXEINI]\nNAME = old\nOTHER=2\n", "NAME", "new",
            "; top\n[A]\nx = 1\n\n[EXEINI]\nNAME = new\nOTHER=2\n" },
        { "[EXEINI]\nA=1\n\n; next\n[B]\nC=2\n", "NAME", "x",
            "[EXEINI]\nA=1\nNAME=x\n\n; next\n[B]\nC=2\n" },
        { "[EXEINI]\n[B]\nC=2", "name", "x", "[EXEINI]\nname=x\n[B]\nC=2" },
        { "[A]\nB=1", "NAME", "x", "[A]\nB=1\n[EXEINI]\nNAME=x\n" },
        { "", "NAME", "x", "[EXEINI]\r\nNAME=x\r\n" },
        { "[EXEINI]\r\nA=1", "NAME", "x", "[EXEINI]\r\nA=1\r\nNAME=x\r\n" },
        { "[exeini]\nname=1\nNAME=2\nOther=3\n", "NAME", "3", "[exeini]\nname=3\nOther=3\n" },
        { "[EXEINI]\n  NAME  \n", "NAME", "x", "[EXEINI]\n  NAME=x\n" },
        { "\xEF\xBB\xBF[EXEINI]\nNAME=1\n", "NAME", "2", "\xEF\xBB\xBF[EXEINI]\nNAME=2\n" },
        { "[EXEINI]\nNAME=1\nNUMBER=2\n;c\n", "NAME", std::nullopt, "[EXEINI]\nNUMBER=2\n;c\n" },
        { "[EXEINI]\nNAME=1\n[X]\n[exeini]\nname=2\n", "NAME", std::nullopt,
            "[EXEINI]\n[X]\n[exeini]\n" },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.before);
        writeFile(path(), row.before);
        const std::optional<QString> value
            = row.value ? std::optional<QString>(QString::fromUtf8(*row.value)) : std::nullopt;
        ASSERT_TRUE(Profile::writeString("EXEINI", row.key, value, path()));
        EXPECT_EQ(readFile(path()), QByteArray(row.after));
    }
}

TEST_F(ProfileTest, NamesMatchWithoutRegardToCase)
{
    ASSERT_TRUE(Profile::writeString("exeini", "name", "a", path()));
    ASSERT_TRUE(Profile::writeString("EXEINI", "NAME", "b", path()));
    ASSERT_TRUE(Profile::writeString("ExeIni", "Name", "c", path()));
    EXPECT_EQ(readFile(path()), "[exeini]\r\nname=c\r\n");
    EXPECT_EQ(Profile::readString("EXEINI", "NAME", "", path()), "c");
}

TEST_F(ProfileTest, WriteWithoutValueRemovesTheKey)
{
    writeFile(path(), "[EXEINI]\r\nNAME=1\r\nNAME2=2\r\n");
    ASSERT_TRUE(Profile::writeString("EXEINI", "name", std::nullopt, path()));
    EXPECT_EQ(Profile::readString("EXEINI", "NAME", "gone", path()), "gone");
    EXPECT_EQ(Profile::readString("EXEINI", "NAME2", "", path()), "2");
    EXPECT_EQ(readFile(path()), "[EXEINI]\r\nNAME2=2\r\n");

    // An empty value is a value: the key stays.
    ASSERT_TRUE(Profile::writeString("EXEINI", "NAME2", QString(), path()));
    EXPECT_EQ(readFile(path()), "[EXEINI]\r\nNAME2=\r\n");
    EXPECT_EQ(Profile::readString("EXEINI", "NAME2", "default", path()), "");

    // Removing from a file that does not exist creates nothing.
    EXPECT_TRUE(Profile::writeString("EXEINI", "NAME", std::nullopt, path("none.ini")));
    EXPECT_FALSE(QFileInfo::exists(path("none.ini")));
}

TEST_F(ProfileTest, MissingFolderIsNeverCreated)
{
    const QString inMissing = m_dir.filePath("★MailData/ini.ini");
    QString error;
    const Profile::Status status = Profile::write("EXEINI", "NUMBER", "1", inMissing);
    EXPECT_EQ(status.code, Profile::ErrorCode::FolderMissing);
    EXPECT_TRUE(status.text.contains("★MailData")) << qPrintable(status.text);
    EXPECT_FALSE(Profile::writeString("EXEINI", "NUMBER", "1", inMissing, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("★MailData")));

    // A parent that is an ordinary file.
    writeFile(path("plain"), "x");
    EXPECT_EQ(Profile::write("EXEINI", "NUMBER", "1", path("plain/ini.ini")).code,
        Profile::ErrorCode::FolderMissing);
    EXPECT_EQ(readFile(path("plain")), "x");
}

TEST_F(ProfileTest, FailedWriteLeavesTheOldFileAsItWas)
{
    const QByteArray old = "; keep me\r\n[EXEINI]\r\nNAME=old\r\n";
    writeFile(path(), old);

    // A write that fails half-way, like a full disk: the file size limit stops it even as root.
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous { };
    sigaction(SIGXFSZ, &ignore, &previous);
    struct rlimit saved { };
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Profile::Status status = Profile::write("EXEINI", "NAME", QString(100, u'n'), path());
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(status.code, Profile::ErrorCode::WriteFailed);
    EXPECT_TRUE(status.text.contains("ini.ini")) << qPrintable(status.text);
    EXPECT_EQ(readFile(path()), old);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { "ini.ini" });

    // Values and names that cannot be stored are refused before anything is touched.
    EXPECT_EQ(Profile::write("EXEINI", "NAME", "two\nlines", path()).code,
        Profile::ErrorCode::InvalidValue);
    EXPECT_EQ(
        Profile::write("EXEINI", "NAME", "cr\r", path()).code, Profile::ErrorCode::InvalidValue);
    EXPECT_EQ(Profile::write("EXEINI", "", "x", path()).code, Profile::ErrorCode::InvalidName);
    EXPECT_EQ(Profile::write("EXEINI", "A=B", "x", path()).code, Profile::ErrorCode::InvalidName);
    EXPECT_EQ(Profile::write("EXEINI", "[A", "x]", path()).code, Profile::ErrorCode::InvalidName);
    EXPECT_EQ(Profile::write("EXE]INI", "A", "x", path()).code, Profile::ErrorCode::InvalidName);
    EXPECT_EQ(Profile::write(" ", "A", "x", path()).code, Profile::ErrorCode::InvalidName);
    // Several keys at once: one that cannot be stored keeps the others out too.
    EXPECT_EQ(
        Profile::write("EXEINI", { { "NAME", "ok" }, { "NAME2", "two\nlines" } }, path()).code,
        Profile::ErrorCode::InvalidValue);
    EXPECT_EQ(readFile(path()), old);
}

TEST_F(ProfileTest, SeveralKeysAreSetInOrderInOneWrite)
{
    writeFile(path(), "[EXEINI]\r\nNAME2=old\r\n");
    EXPECT_TRUE(Profile::write(
        "EXEINI", { { "NAME", "taro" }, { "NAME2", "pw" }, { "NAME3", "1" } }, path())
                    .ok());
    EXPECT_EQ(readFile(path()), "[EXEINI]\r\nNAME2=pw\r\nNAME=taro\r\nNAME3=1\r\n");
}

TEST_F(ProfileTest, FileModesAreKept)
{
    const mode_t savedUmask = ::umask(022);
    EXPECT_TRUE(Profile::writeString("EXEINI", "A", "1", path("default.ini")));
    EXPECT_EQ(fileMode(path("default.ini")), 0644);
    EXPECT_TRUE(Profile::writeString("EXEINI", "A", "1", path("private.ini"), nullptr, 0600));
    EXPECT_EQ(fileMode(path("private.ini")), 0600);
    EXPECT_TRUE(Profile::writeString("EXEINI", "A", "2", path("private.ini")));
    EXPECT_EQ(fileMode(path("private.ini")), 0600);

    ASSERT_EQ(::chmod(QFile::encodeName(path("default.ini")).constData(), 0640), 0);
    EXPECT_TRUE(Profile::writeString("EXEINI", "A", "2", path("default.ini"), nullptr, 0600));
    EXPECT_EQ(fileMode(path("default.ini")), 0640);

    // An owner-only file is narrowed when rewritten.
    EXPECT_TRUE(Profile::write("EXEINI", "A", "3", path("default.ini"), { 0600, true }).ok());
    EXPECT_EQ(fileMode(path("default.ini")), 0600);
    ::umask(savedUmask);
}

TEST_F(ProfileTest, SymbolicLinkStaysAndItsTargetIsReplaced)
{
    writeFile(path("real.ini"), "[EXEINI]\nA=1\n");
    ASSERT_TRUE(QFile::link(path("real.ini"), path("link.ini")));
    ASSERT_TRUE(Profile::writeString("EXEINI", "A", "2", path("link.ini")));
    EXPECT_TRUE(QFileInfo(path("link.ini")).isSymLink());
    EXPECT_EQ(readFile(path("real.ini")), "[EXEINI]\nA=2\n");
}

TEST_F(ProfileTest, UnchangedValueDoesNotRewrite)
{
    writeFile(path(), "[EXEINI]\nA=1\n");
    const auto before = QFileInfo(path()).fileTime(QFileDevice::FileMetadataChangeTime);
    const ino_t inode = fileInode(path());
    ASSERT_TRUE(Profile::writeString("EXEINI", "a", "1", path()));
    EXPECT_EQ(fileInode(path()), inode);
    EXPECT_EQ(QFileInfo(path()).fileTime(QFileDevice::FileMetadataChangeTime), before);
    ASSERT_TRUE(Profile::writeString("EXEINI", "a", "2", path()));
    EXPECT_NE(fileInode(path()), inode); // replaced by rename, never written in place
}

TEST(ProfileDocument, UnchangedUtf8FileIsWrittenBackByteForByte)
{
    const QByteArray files[] = {
        "",
        "[EXEINI]\r\nNAME=x",
        "; c\n\n  [A] \r\nx = \" 1 \"\r\r\n\n",
        "\xEF\xBB\xBF[A]\nB=1\n",
        // Found by fuzzing: a second mark was dropped as well, and the file lost three bytes.
        "\xEF\xBB\xBF\xEF\xBB\xBF[\r\nibm94\nR\r\n\n",
        "\xEF\xBB\xBF",
    };
    for (const QByteArray &file : files) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_EQ(Profile::Document::parse(file).toBytes(), file);
    }
    bool bom = false;
    EXPECT_EQ(Profile::decodeText("\xEF\xBB\xBF\xEF\xBB\xBF"
                                  "a",
                  &bom),
        QString(QChar(0xFEFF)) + u'a');
    EXPECT_TRUE(bom);
}

TEST(ProfileDocument, SetValueThenParseAgreesWithValue)
{
    Profile::Document doc = Profile::Document::parse("[A]\nx=1\n[B]\r\ny=2");
    ASSERT_TRUE(doc.setValue("b", "Z", QStringLiteral(" 3 ")));
    ASSERT_TRUE(doc.setValue("C", "w", QStringLiteral("4")));
    ASSERT_TRUE(doc.setValue("A", "x", std::nullopt));
    EXPECT_FALSE(doc.setValue("A", "x", QStringLiteral("a\nb")));
    const Profile::Document again = Profile::Document::parse(doc.toBytes());
    EXPECT_EQ(again.value("B", "z"), QStringLiteral(" 3 "));
    EXPECT_EQ(again.value("B", "y"), QStringLiteral("2"));
    EXPECT_EQ(again.value("c", "W"), QStringLiteral("4"));
    EXPECT_EQ(again.value("A", "x"), std::nullopt);

    // A first key that begins with U+FEFF is not mistaken for a byte-order mark.
    Profile::Document empty = Profile::Document::parse(QByteArray());
    ASSERT_TRUE(empty.setValue(QString(QChar(0xFEFF)) + "S", "k", QStringLiteral("v")));
    EXPECT_EQ(Profile::Document::parse(empty.toBytes()).value(QString(QChar(0xFEFF)) + "S", "k"),
        QStringLiteral("v"));
}

} // namespace
