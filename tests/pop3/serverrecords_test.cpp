// SPDX-License-Identifier: GPL-3.0-or-later
// The user's server records on their own and the one key a server is known by: records that
// stay the user's, read every spelling of a server, fail closed on a file that is not theirs and
// keep every line when two instances write at once.
#include "../settings/settingstestutil.h"

#include "app/serverrecords.h"
#include "mail/serveraddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace SettingsTest;

namespace {

const QByteArray DigestA = QByteArray(32, '\xab');
const QByteArray DigestB
    = QByteArray::fromHex("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");

TEST(ServerAddressTest, EachServerHasOneKey)
{
    struct Row {
        const char *setting;
        const char *key; // empty: not a server
        const char *host = "";
    };
    const Row rows[] = {
        { "pop.example.org", "pop.example.org:110", "pop.example.org" },
        { "  Pop.Example.ORG:110 ", "pop.example.org:110" },
        { "pop.example.org.:995", "pop.example.org:995", "pop.example.org" },
        { "[2001:DB8:0::1]", "[2001:db8::1]:110", "2001:db8::1" },
        { "[2001:db8::1]:995", "[2001:db8::1]:995" },
        { "2001:db8:0:0::1", "[2001:db8::1]:110" },
        { "127.0.0.1:1110", "127.0.0.1:1110" },
        { "Bücher.Example", "xn--bcher-kva.example:110", "xn--bcher-kva.example" },
        { "xn--bcher-kva.example:110", "xn--bcher-kva.example:110" },
        { "my_host.lan", "my_host.lan:110" },
        { "pop.example.org:0", "" },
        { "pop.example.org:65536", "" },
        { "pop.example.org:+1", "" },
        { "pop.example.org:", "" },
        { "[127.0.0.1]:110", "127.0.0.1:110" },
        { "[pop.example.org]:110", "" },
        { "[2001:db8::1", "" },
        { "two words", "" },
        { "a..b", "" },
        { ".", "" },
        { "", "" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.setting);
        const std::optional<ServerAddress> address
            = ServerAddress::parse(QString::fromUtf8(row.setting));
        EXPECT_EQ(serverKey(QString::fromUtf8(row.setting)), QString::fromUtf8(row.key));
        ASSERT_EQ(address.has_value(), *row.key != '\0');
        if (address && *row.host)
            EXPECT_EQ(address->host, QString::fromUtf8(row.host));
        // A key is a server setting of its own, with the same key.
        if (address)
            EXPECT_EQ(serverKey(address->key()), address->key());
    }
    EXPECT_TRUE(ServerAddress::parse(QStringLiteral("pop.example.org:995"))->implicitTls);
    EXPECT_FALSE(ServerAddress::parse(QStringLiteral("pop.example.org:1995"))->implicitTls);
    EXPECT_TRUE(ServerAddress::parse(QStringLiteral("pop.example.org:1995"), 1995)->implicitTls);
}

TEST(ServerRecordsTest, RecordsAreTheUsersAloneAndReadEverySpellingOfAServer)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Two missing folders are made for the owner only.
    const QString folder = dir.filePath(QStringLiteral("state/brindle"));
    ServerRecords records(folder);
    ServerRecord record;
    QString text;
    ASSERT_TRUE(records.lookUp(QStringLiteral("pop.example.org:110"), &record, &text));
    EXPECT_FALSE(record.offeredTls);
    ASSERT_TRUE(records.rememberTls(QStringLiteral("pop.example.org:110"), &text));
    ASSERT_TRUE(records.rememberTls(QStringLiteral("[2001:db8::1]:995"), &text));
    ASSERT_TRUE(records.rememberTls(QStringLiteral("pop.example.org:110"), &text));
    ASSERT_TRUE(records.rememberCertificate(QStringLiteral("pop.example.org:110"), DigestA));
    ASSERT_TRUE(records.pin(QStringLiteral("pop.example.org:110"), DigestA));
    ASSERT_TRUE(records.pin(QStringLiteral("mail.example.jp:1110"), DigestB));
    ASSERT_TRUE(records.pin(QStringLiteral("pop.example.org:110"), DigestB));
    EXPECT_FALSE(records.pin(QStringLiteral("pop.example.org:110"), "short"));
    EXPECT_FALSE(records.rememberTls(QStringLiteral("two words:110"), &text));
    EXPECT_EQ(fileMode(dir.filePath(QStringLiteral("state"))), 0700);
    EXPECT_EQ(fileMode(folder), 0700);
    EXPECT_EQ(fileMode(records.tlsServersFile()), 0600);
    EXPECT_EQ(fileMode(records.pinnedCertificatesFile()), 0600);
    const QByteArray tls = readFile(records.tlsServersFile());
    EXPECT_EQ(tls.count("pop.example.org:110"), 1) << tls.constData();
    EXPECT_TRUE(
        tls.contains("pop.example.org:110 " + formatFingerprint(DigestA).toLatin1() + '\n'));
    EXPECT_TRUE(readFile(records.pinnedCertificatesFile())
                    .contains("pop.example.org:110 00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:"
                              "FF:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF\n"));

    // Lines written by an older version or by hand, in other spellings of the same servers; the
    // folder made wider by someone else is narrowed at the next write.
    writeFile(records.tlsServersFile(),
        "# comment\n"
        "  Pop.Example.ORG.:110  \r\n"
        "[2001:DB8:0::1]:995\n"
        "bücher.example:110\n");
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    ServerRecords again(folder);
    for (const char *key :
        { "pop.example.org:110", "[2001:db8::1]:995", "xn--bcher-kva.example:110" }) {
        ASSERT_TRUE(again.lookUp(QString::fromUtf8(key), &record, &text)) << text.toStdString();
        EXPECT_TRUE(record.offeredTls) << key;
        EXPECT_TRUE(record.lastCertificate.isEmpty()) << key;
    }
    ASSERT_TRUE(again.lookUp(QStringLiteral("pop.example.org:995"), &record, &text));
    EXPECT_FALSE(record.offeredTls);
    ASSERT_TRUE(again.lookUp(QStringLiteral("mail.example.jp:1110"), &record, &text));
    EXPECT_EQ(record.pinnedCertificate, DigestB);
    // Entries and comments the write does not touch stay as they were.
    ASSERT_TRUE(again.rememberCertificate(QStringLiteral("[2001:db8::1]:995"), DigestB));
    ASSERT_TRUE(again.rememberTls(QStringLiteral("pop.example.org:110"), &text));
    EXPECT_EQ(readFile(records.tlsServersFile()),
        "# comment\n"
        "  Pop.Example.ORG.:110  \r\n"
        "[2001:db8::1]:995 "
            + formatFingerprint(DigestB).toLatin1()
            + "\n"
              "bücher.example:110\n");
    EXPECT_EQ(fileMode(folder), 0700);
}

// Two instances, each a run of this test binary, recording servers of their own at once.
TEST(ServerRecordsTest, TwoInstancesRecordingAtOnceLoseNoLine)
{
    constexpr int Servers = 30;
    const QString child = qEnvironmentVariable("BRINDLE_RECORD_SERVERS");
    if (!child.isEmpty()) {
        const QStringList folderAndName = child.split(u'|');
        ServerRecords records(folderAndName.at(0));
        for (int i = 0; i < Servers; ++i) {
            const QString key = QStringLiteral("%1%2.example:110").arg(folderAndName.at(1)).arg(i);
            QString text;
            ASSERT_TRUE(records.rememberTls(key, &text)) << text.toStdString();
            ASSERT_TRUE(records.rememberCertificate(key, DigestA));
        }
        return;
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const char *name : { "a", "b" }) {
        auto &writer = writers.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BRINDLE_RECORD_SERVERS"),
            dir.path() + u'|' + QString::fromLatin1(name));
        writer->setProcessEnvironment(environment);
        writer->setProcessChannelMode(QProcess::ForwardedChannels);
        writer->start(QCoreApplication::applicationFilePath(),
            { QStringLiteral(
                "--gtest_filter=ServerRecordsTest.TwoInstancesRecordingAtOnceLoseNoLine") });
    }
    for (auto &writer : writers) {
        ASSERT_TRUE(writer->waitForFinished(100000));
        EXPECT_EQ(writer->exitCode(), 0);
    }
    ServerRecords records(dir.path());
    for (const char *name : { "a", "b" }) {
        for (int i = 0; i < Servers; ++i) {
            ServerRecord record;
            QString text;
            ASSERT_TRUE(
                records.lookUp(QStringLiteral("%1%2.example:110").arg(QLatin1String(name)).arg(i),
                    &record, &text));
            EXPECT_TRUE(record.offeredTls) << name << i;
            EXPECT_EQ(record.lastCertificate, DigestA) << name << i;
        }
    }
}

} // namespace
