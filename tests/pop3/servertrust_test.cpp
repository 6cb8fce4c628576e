// SPDX-License-Identifier: GPL-3.0-or-later
// The library with the user's server records, through a relay that plays the network: a server
// that once offered TLS is never logged in to without it, whatever came of that first offer; a
// certificate the system trusts is noted, one that is not passes only once the user has pinned
// it, and a server that shows another certificate than last time is named as changed; record
// files that are not the user's end the check before anything reaches the server.
#include "fakes/dovecot.h"
#include "fakes/fakepop3server.h"
#include "fakes/recordingrelay.h"
#include "testcertificate.h"

#include "../settings/settingstestutil.h"

#include "app/certificatequestion.h"
#include "app/serverrecords.h"
#include "failuretext.h"
#include "mail/pop3library.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using SettingsTest::writeFile;

namespace {

// The fingerprint as openssl prints it, to hold the question's form against.
QString opensslFingerprint(const QSslCertificate &certificate)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), { "x509", "-noout", "-fingerprint", "-sha256" });
    openssl.write(certificate.toPem());
    openssl.closeWriteChannel();
    if (!openssl.waitForFinished(30000))
        return {};
    const QString out = QString::fromLatin1(openssl.readAllStandardOutput()).trimmed();
    return out.mid(out.indexOf(u'=') + 1);
}

QByteArray sha256(const QSslCertificate &certificate)
{
    return certificate.digest(QCryptographicHash::Sha256);
}

bool hasCredentials(const QByteArray &sent)
{
    return sent.contains("USER") || sent.contains("PASS") || sent.contains("APOP");
}

int mode(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// What is at path, without following a link: its type and, for a regular file, its bytes.
QByteArray snapshot(const QString &path)
{
    struct stat st { };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return "missing";
    QByteArray shot = QByteArray::number(st.st_mode & S_IFMT) + ' ' + QByteArray::number(st.st_ino);
    if (S_ISREG(st.st_mode)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            shot += ' ' + file.readAll();
    }
    return shot;
}

ServerRecord recordOf(ServerRecords &records, const QString &key)
{
    ServerRecord record;
    QString text;
    EXPECT_TRUE(records.lookUp(key, &record, &text)) << text.toStdString();
    return record;
}

// A server that offers STLS and then, after the certificate, has the CAPA and QUIT of a
// connection that is made.
FakePop3Server *stlsServer(const TestCertificate &certificate)
{
    return new FakePop3Server(
        { "S: +OK ready", "C: CAPA", "S: +OK", "R:STLS\r\nUSER\r\n.\r\n", "C: STLS", "S: +OK",
            "TLS", "C: CAPA", "S: +OK", "R:USER\r\n.\r\n", "C: QUIT", "S: +OK" },
        { certificate.certificate, certificate.key });
}

class ServerTrustTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dovecot = new DovecotServer(DovecotServer::Security::Tls);
        s_started = s_dovecot->start() && s_dovecot->addUser("alice", "pw")
            && s_dovecot->addMessage("alice", "Subject: one\r\n\r\nbody\r\n");
        s_other
            = new TestCertificate(makeTestCertificate("127.0.0.1", "IP:127.0.0.1,DNS:localhost"));
        s_third = new TestCertificate(makeTestCertificate("127.0.0.1", "IP:127.0.0.1"));
    }
    static void TearDownTestSuite()
    {
        delete s_dovecot;
        delete s_other;
        delete s_third;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_started) << s_dovecot->errorText().toStdString();
        ASSERT_TRUE(s_other->error.isEmpty()) << s_other->error.toStdString();
        ASSERT_TRUE(s_third->error.isEmpty()) << s_third->error.toStdString();
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_relay.begin());
        m_library.setTimeouts(20s, 20s);
        m_library.setServerTrust(&m_trust);
    }

    // Connects and logs in as alice: the message count, or -1 when no connection was made.
    static int check(Pop3Library &library, const QString &server, bool apop = false)
    {
        const int handle = library.NMailPop3Connect(server);
        if (handle < 0)
            return -1;
        const int count = library.NMailPop3Authenticate(handle, "alice", "pw", apop ? -1 : 0);
        library.NMailPop3Close(handle);
        return count;
    }

    static inline DovecotServer *s_dovecot = nullptr;
    static inline TestCertificate *s_other = nullptr;
    static inline TestCertificate *s_third = nullptr;
    static inline bool s_started = false;
    QTemporaryDir m_dir;
    const QString m_folder = m_dir.filePath(QStringLiteral("state/brindle"));
    ServerRecords m_trust { m_folder };
    RecordingRelay m_relay { s_dovecot->port() };
    Pop3Library m_library;
};

TEST_F(ServerTrustTest, AServerThatOfferedTlsOnceIsNeverLoggedInToWithoutIt)
{
    const QString key = serverKey(m_relay.address());
    // Each first contact offers TLS and does not give it; the second contact, without TLS,
    // comes to a server that would take the login.
    enum class First { Declined, HandshakeFailed, StlsRefused, TlsPortFailed };
    for (const First first :
        { First::Declined, First::HandshakeFailed, First::StlsRefused, First::TlsPortFailed }) {
        SCOPED_TRACE(int(first));
        ServerRecords records(m_dir.filePath(QStringLiteral("row%1").arg(int(first))));
        m_library.setServerTrust(&records);
        std::unique_ptr<FakePop3Server> server;
        switch (first) {
        case First::Declined: // Dovecot's self-signed certificate, and the question's default
            m_relay.setTargetPort(s_dovecot->port());
            break;
        case First::HandshakeFailed:
            server.reset(new FakePop3Server({ "S: +OK ready", "C: CAPA", "S: +OK",
                "R:STLS\r\n.\r\n", "C: STLS", "S: +OK", "CLOSE" }));
            break;
        case First::StlsRefused:
            server.reset(new FakePop3Server({ "S: +OK ready", "C: CAPA", "S: +OK",
                "R:STLS\r\n.\r\n", "C: STLS", "S: -ERR not now", "END" }));
            break;
        case First::TlsPortFailed:
            server.reset(
                new FakePop3Server({ "END" }, { s_other->certificate, s_other->key, true }));
            m_library.setImplicitTlsPort(m_relay.port());
            break;
        }
        if (server) {
            ASSERT_TRUE(server->begin());
            m_relay.setTargetPort(server->port());
        }
        m_relay.clearRecord();
        EXPECT_EQ(check(m_library, m_relay.address()), -1);
        EXPECT_EQ(m_library.takeCertificateRefusal().has_value(),
            first == First::Declined || first == First::TlsPortFailed);
        EXPECT_FALSE(hasCredentials(m_relay.clientBytes()));
        EXPECT_TRUE(recordOf(records, key).offeredTls);
        m_library.setImplicitTlsPort(Pop3Library::ImplicitTlsPort);
        server.reset();

        // Then the network takes STLS out of Dovecot's capabilities.
        m_relay.setTargetPort(s_dovecot->port());
        m_relay.setStripStls(true);
        m_relay.clearRecord();
        EXPECT_EQ(check(m_library, m_relay.address(), first == First::StlsRefused), -1);
        const QString text = failureText(m_library);
        EXPECT_TRUE(text.contains(QStringLiteral("以前は暗号化（TLS）を提供していましたが、今回は"
                                                 "暗号化を提供していません。パスワードは送信して"
                                                 "いません。")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(records.tlsServersFile() + QStringLiteral(" から「") + key));
        m_relay.setStripStls(false);
        EXPECT_EQ(m_relay.clientBytes(), "CAPA\r\n");
    }
    m_library.setServerTrust(&m_trust);

    // A server that never offered TLS gets its login as before, and is not remembered.
    FakePop3Server plain({ "S: +OK ready", "C: CAPA", "S: -ERR", "C: USER alice", "S: +OK",
        "C: PASS pw", "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK" });
    ASSERT_TRUE(plain.begin());
    EXPECT_EQ(check(m_library, plain.address()), 0) << failureText(m_library).toStdString();
    EXPECT_TRUE(plain.waitForEnd());
    EXPECT_TRUE(plain.playedAllRows());
    EXPECT_FALSE(recordOf(m_trust, serverKey(plain.address())).offeredTls);
    EXPECT_FALSE(m_library.takeCertificateRefusal());
}

TEST_F(ServerTrustTest, ATrustedCertificateIsNotedAndAnUntrustedOneAfterItIsNamedAChange)
{
    const QString key = serverKey(m_relay.address());
    m_library.addCaCertificates(s_dovecot->certificate().toPem());
    m_library.addCaCertificates(s_other->certificate.toPem());
    ASSERT_EQ(check(m_library, m_relay.address()), 1) << failureText(m_library).toStdString();
    EXPECT_TRUE(m_relay.clientBytes().startsWith("CAPA\r\nSTLS\r\n"));
    EXPECT_FALSE(hasCredentials(m_relay.clientBytes())) << "the login went out encrypted";
    EXPECT_EQ(mode(m_folder), 0700);
    EXPECT_EQ(mode(m_trust.tlsServersFile()), 0600);
    ServerRecord record = recordOf(m_trust, key);
    EXPECT_TRUE(record.offeredTls);
    EXPECT_EQ(record.lastCertificate, sha256(s_dovecot->certificate()));

    // Renewed: another certificate the system trusts, taken without a question and noted.
    std::unique_ptr<FakePop3Server> renewed(stlsServer(*s_other));
    ASSERT_TRUE(renewed->begin());
    m_relay.setTargetPort(renewed->port());
    const int handle = m_library.NMailPop3Connect(m_relay.address());
    EXPECT_GE(handle, 0) << failureText(m_library).toStdString();
    m_library.NMailPop3Close(handle);
    EXPECT_TRUE(renewed->waitForEnd());
    EXPECT_TRUE(renewed->problems().isEmpty()) << renewed->problems().join('\n').toStdString();
    EXPECT_FALSE(m_library.takeCertificateRefusal());
    EXPECT_EQ(recordOf(m_trust, key).lastCertificate, sha256(s_other->certificate));

    // Then a self-signed one under the same name: the question says it changed, with both.
    std::unique_ptr<FakePop3Server> impostor(stlsServer(*s_third));
    ASSERT_TRUE(impostor->begin());
    m_relay.setTargetPort(impostor->port());
    m_relay.clearRecord();
    EXPECT_EQ(check(m_library, m_relay.address()), -1);
    const std::optional<CertificateRefusal> refusal = m_library.takeCertificateRefusal();
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->changed());
    EXPECT_EQ(refusal->previousFingerprint, sha256(s_other->certificate));
    EXPECT_EQ(refusal->fingerprint, sha256(s_third->certificate));
    const QString question = certificateQuestion(*refusal);
    EXPECT_TRUE(question.contains(QStringLiteral("前回のチェックのときから変わっています")))
        << question.toStdString();
    EXPECT_TRUE(question.contains(opensslFingerprint(s_other->certificate)));
    EXPECT_TRUE(question.contains(opensslFingerprint(s_third->certificate)));
    EXPECT_FALSE(hasCredentials(m_relay.clientBytes()));
    EXPECT_EQ(recordOf(m_trust, key).lastCertificate, sha256(s_other->certificate))
        << "a refused certificate is not the one the server is known by";

    // A name with the root's dot still matches the certificate's name, under the one key.
    std::unique_ptr<FakePop3Server> named(stlsServer(*s_other));
    ASSERT_TRUE(named->begin());
    const int dotted
        = m_library.NMailPop3Connect(QStringLiteral("LocalHost.:%1").arg(named->port()));
    EXPECT_GE(dotted, 0) << failureText(m_library).toStdString();
    m_library.NMailPop3Close(dotted);
    EXPECT_TRUE(named->waitForEnd());
    EXPECT_EQ(recordOf(m_trust, QStringLiteral("localhost:%1").arg(named->port())).lastCertificate,
        sha256(s_other->certificate));
}

TEST_F(ServerTrustTest, AnUntrustedCertificatePassesOnlyOncePinnedAndOnlyThatOne)
{
    const QString key = serverKey(m_relay.address());
    const QSslCertificate dovecotCertificate = s_dovecot->certificate();

    // Self-signed: refused, with what the question needs, and nothing pinned or sent.
    EXPECT_EQ(check(m_library, m_relay.address()), -1);
    std::optional<CertificateRefusal> refusal = m_library.takeCertificateRefusal();
    ASSERT_TRUE(refusal);
    EXPECT_FALSE(m_library.takeCertificateRefusal()) << "taken once";
    EXPECT_EQ(refusal->server, key);
    EXPECT_EQ(refusal->certificate, dovecotCertificate);
    EXPECT_EQ(refusal->fingerprint, sha256(dovecotCertificate));
    EXPECT_TRUE(refusal->reasons.join(u' ').contains(QStringLiteral("自己署名")));
    EXPECT_FALSE(refusal->changed());
    EXPECT_TRUE(recordOf(m_trust, key).pinnedCertificate.isEmpty());
    EXPECT_FALSE(hasCredentials(m_relay.clientBytes()));
    const QString question = certificateQuestion(*refusal);
    const QString fingerprint = opensslFingerprint(dovecotCertificate);
    ASSERT_EQ(fingerprint.size(), 95);
    EXPECT_TRUE(question.contains(fingerprint)) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("発行先：CN=127.0.0.1")));
    EXPECT_TRUE(question.contains(QStringLiteral("発行者：CN=127.0.0.1")));
    EXPECT_TRUE(question.contains(dovecotCertificate.expiryDate().toLocalTime().toString(
        QStringLiteral("yyyy/MM/dd HH:mm"))));
    EXPECT_TRUE(
        question.contains(QStringLiteral("このサーバーについて、この証明書を信頼しますか？")));

    // The user's yes: the same server, now with TLS and the login behind it.
    ASSERT_TRUE(m_library.trustCertificate(*refusal));
    EXPECT_EQ(mode(m_trust.pinnedCertificatesFile()), 0600);
    EXPECT_EQ(check(m_library, m_relay.address(), true), 1) << failureText(m_library).toStdString();
    EXPECT_FALSE(m_library.takeCertificateRefusal());

    // After a restart: a fresh library and fresh records read from the same folder.
    {
        ServerRecords trust(m_folder);
        Pop3Library library;
        library.setTimeouts(20s, 20s);
        library.setServerTrust(&trust);
        EXPECT_EQ(check(library, m_relay.address()), 1) << failureText(library).toStdString();
    }

    // Another certificate under the same name and address: refused as changed, nothing sent.
    std::unique_ptr<FakePop3Server> impostor(stlsServer(*s_other));
    ASSERT_TRUE(impostor->begin());
    m_relay.setTargetPort(impostor->port());
    m_relay.clearRecord();
    EXPECT_EQ(check(m_library, m_relay.address()), -1);
    refusal = m_library.takeCertificateRefusal();
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->changed());
    EXPECT_EQ(refusal->previousFingerprint, sha256(dovecotCertificate));
    EXPECT_EQ(refusal->certificate, s_other->certificate);
    const QString changed = certificateQuestion(*refusal);
    EXPECT_TRUE(changed.contains(fingerprint));
    EXPECT_TRUE(changed.contains(opensslFingerprint(s_other->certificate)));
    EXPECT_TRUE(m_relay.clientBytes().startsWith("CAPA\r\nSTLS\r\n"));
    EXPECT_FALSE(hasCredentials(m_relay.clientBytes()));
    EXPECT_EQ(recordOf(m_trust, key).pinnedCertificate, sha256(dovecotCertificate))
        << "the old pin stays";
}

TEST_F(ServerTrustTest, ARecordFileThatCannotBeReadEndsTheCheckAndStaysAsItWas)
{
    const QString key = serverKey(m_relay.address());
    enum class Kind { Fifo, Folder, LinkToDevice, Unreadable, Oversized, DamagedLine, DamagedPin };
    for (const Kind kind : { Kind::Fifo, Kind::Folder, Kind::LinkToDevice, Kind::Unreadable,
             Kind::Oversized, Kind::DamagedLine, Kind::DamagedPin }) {
        SCOPED_TRACE(int(kind));
        const QString folder = m_dir.filePath(QStringLiteral("broken%1").arg(int(kind)));
        ASSERT_TRUE(QDir().mkpath(folder));
        ServerRecords records(folder);
        m_library.setServerTrust(&records);
        const QString path = kind == Kind::DamagedPin ? records.pinnedCertificatesFile()
                                                      : records.tlsServersFile();
        const QByteArray fileName = QFile::encodeName(path);
        switch (kind) {
        case Kind::Fifo:
            ASSERT_EQ(::mkfifo(fileName.constData(), 0600), 0);
            break;
        case Kind::Folder:
            ASSERT_TRUE(QDir().mkpath(path));
            break;
        case Kind::LinkToDevice:
            ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
            break;
        case Kind::Unreadable:
            writeFile(path, key.toUtf8() + '\n');
            ASSERT_EQ(::chmod(fileName.constData(), 0), 0);
            break;
        case Kind::Oversized:
            writeFile(path, QByteArray(ServerRecords::MaxFileSize, '#') + "\nx.example:110\n");
            break;
        case Kind::DamagedLine:
            writeFile(path, "good.example:110\npop.exam\n");
            break;
        case Kind::DamagedPin:
            writeFile(path, key.toUtf8() + " AB:CD\n");
            break;
        }
        const QByteArray before = snapshot(path);
        // Root reads any file: the unreadable one is read as another user would.
        const bool asOther = kind == Kind::Unreadable && ::geteuid() == 0;
        if (asOther)
            ::setfsuid(65534);
        m_relay.clearRecord();
        EXPECT_EQ(check(m_library, m_relay.address()), -1);
        const QString text = failureText(m_library);
        const QByteArray afterCheck = [&] {
            const auto restore = qScopeGuard([&] {
                if (asOther)
                    ::setfsuid(65534);
            });
            if (asOther)
                ::setfsuid(0);
            return snapshot(path);
        }();
        QString writeText;
        const bool written = kind == Kind::DamagedPin
            ? records.pin(QStringLiteral("other.example:110"), QByteArray(32, 'x'))
            : records.rememberTls(QStringLiteral("other.example:110"), &writeText);
        if (asOther)
            ::setfsuid(0);
        EXPECT_TRUE(text.contains(path)) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("削除"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("パスワードは送信していません")));
        EXPECT_TRUE(m_relay.clientBytes().isEmpty()) << "nothing reached the server";
        EXPECT_EQ(afterCheck, before);
        if (kind == Kind::DamagedLine || kind == Kind::DamagedPin) {
            // A write does not stop at a line that does not read: it keeps it as it is.
            EXPECT_TRUE(written);
            const QByteArray after = snapshot(path);
            EXPECT_TRUE(after.contains(
                kind == Kind::DamagedPin ? key.toUtf8() + " AB:CD\n" : QByteArray("\npop.exam\n")));
            EXPECT_TRUE(after.contains("other.example:110"));
        } else {
            EXPECT_FALSE(written) << "never written from a reading that failed";
            EXPECT_EQ(snapshot(path), before);
        }
    }
}

} // namespace
