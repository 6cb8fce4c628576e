// The library with the user's server records, through a relay that plays the network: a server
// once reached over TLS is never logged in to without it, and a certificate that is not trusted
// passes only once the user has pinned it, and only that one.
#include "fakes/dovecot.h"
#include "fakes/fakepop3server.h"
#include "fakes/recordingrelay.h"
#include "testcertificate.h"

#include "app/servertrustfiles.h"
#include "failuretext.h"
#include "mail/pop3library.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <sys/stat.h>

using namespace std::chrono_literals;

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

bool hasCredentials(const QByteArray &sent)
{
    return sent.contains("USER") || sent.contains("PASS") || sent.contains("APOP");
}

int mode(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

class ServerTrustTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dovecot = new DovecotServer(DovecotServer::Security::Tls);
        s_started = s_dovecot->start() && s_dovecot->addUser("alice", "pw")
            && s_dovecot->addMessage("alice", "Subject: one\r\n\r\nbody\r\n");
        s_other = new TestCertificate(makeTestCertificate("127.0.0.1", "IP:127.0.0.1"));
    }
    static void TearDownTestSuite()
    {
        delete s_dovecot;
        delete s_other;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_started) << s_dovecot->errorText().toStdString();
        ASSERT_TRUE(s_other->error.isEmpty()) << s_other->error.toStdString();
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
    static inline bool s_started = false;
    QTemporaryDir m_dir;
    const QString m_folder = m_dir.filePath(QStringLiteral("state/brindle"));
    ServerTrustFiles m_trust { m_folder };
    RecordingRelay m_relay { s_dovecot->port() };
    Pop3Library m_library;
};

TEST_F(ServerTrustTest, AServerOnceReachedOverTlsIsNeverLoggedInToWithoutIt)
{
    m_library.addCaCertificates(s_dovecot->certificate().toPem());
    const QString key = serverKey(m_relay.address());
    EXPECT_FALSE(m_trust.offeredTlsBefore(key));
    ASSERT_EQ(check(m_library, m_relay.address()), 1) << failureText(m_library).toStdString();
    EXPECT_TRUE(m_trust.offeredTlsBefore(key));
    EXPECT_TRUE(m_relay.clientBytes().startsWith("CAPA\r\nSTLS\r\n"));
    EXPECT_FALSE(hasCredentials(m_relay.clientBytes())) << "the login went out encrypted";
    EXPECT_EQ(mode(m_folder), 0700);
    EXPECT_EQ(mode(m_trust.tlsServersFile()), 0600);

    // The network takes STLS out of the capabilities: nothing but CAPA goes out.
    m_relay.clearRecord();
    m_relay.setStripStls(true);
    for (const bool apop : { false, true }) {
        EXPECT_EQ(check(m_library, m_relay.address(), apop), -1);
        const QString text = failureText(m_library);
        EXPECT_TRUE(text.contains(QStringLiteral("以前は暗号化（TLS）して接続できましたが、今回は"
                                                 "暗号化を提供していません。")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("パスワードは送信していません。")));
        EXPECT_TRUE(text.contains(m_trust.tlsServersFile() + QStringLiteral(" から「") + key));
    }
    EXPECT_EQ(m_relay.clientBytes(), "CAPA\r\nCAPA\r\n");

    // A remembered server that answers no CAPA, or refuses STLS: the same, before any login.
    const QList<QList<QByteArray>> scripts = {
        { "S: +OK ready", "C: CAPA", "S: -ERR what", "END" },
        { "S: +OK ready", "C: CAPA", "S: +OK", "R:STLS\r\nUSER\r\n.\r\n", "C: STLS",
            "S: -ERR not now", "END" },
    };
    for (const QList<QByteArray> &script : scripts) {
        FakePop3Server server(script);
        ASSERT_TRUE(server.begin());
        m_trust.rememberTls(serverKey(server.address()));
        EXPECT_EQ(check(m_library, server.address()), -1);
        EXPECT_TRUE(failureText(m_library).contains(QStringLiteral("以前は暗号化")))
            << failureText(m_library).toStdString();
        EXPECT_TRUE(server.waitForEnd());
        EXPECT_TRUE(server.problems().isEmpty()) << server.problems().join('\n').toStdString();
    }

    // A server that never offered TLS gets its login as before, and is not remembered.
    FakePop3Server plain({ "S: +OK ready", "C: CAPA", "S: -ERR", "C: USER alice", "S: +OK",
        "C: PASS pw", "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK" });
    ASSERT_TRUE(plain.begin());
    EXPECT_EQ(check(m_library, plain.address()), 0) << failureText(m_library).toStdString();
    EXPECT_TRUE(plain.waitForEnd());
    EXPECT_TRUE(plain.playedAllRows());
    EXPECT_FALSE(m_trust.offeredTlsBefore(serverKey(plain.address())));
    EXPECT_FALSE(m_library.takeCertificateRefusal());
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
    EXPECT_TRUE(refusal->reasons.join(u' ').contains(QStringLiteral("自己署名")));
    EXPECT_FALSE(refusal->changed());
    EXPECT_TRUE(m_trust.pinnedCertificate(key).isEmpty());
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
    ASSERT_TRUE(m_trust.pin(refusal->server, refusal->certificate));
    EXPECT_EQ(mode(m_folder + QStringLiteral("/pinned-certificates")), 0600);
    EXPECT_EQ(check(m_library, m_relay.address(), true), 1) << failureText(m_library).toStdString();
    EXPECT_FALSE(m_library.takeCertificateRefusal());

    // After a restart: a fresh library and fresh records read from the same folder.
    {
        ServerTrustFiles trust(m_folder);
        Pop3Library library;
        library.setTimeouts(20s, 20s);
        library.setServerTrust(&trust);
        EXPECT_EQ(check(library, m_relay.address()), 1) << failureText(library).toStdString();
    }

    // Another certificate under the same name and address: refused as changed, nothing sent.
    FakePop3Server impostor({ "S: +OK ready", "C: CAPA", "S: +OK", "R:STLS\r\nUSER\r\n.\r\n",
                                "C: STLS", "S: +OK", "TLS" },
        { s_other->certificate, s_other->key });
    ASSERT_TRUE(impostor.begin());
    m_relay.setTargetPort(impostor.port());
    m_relay.clearRecord();
    EXPECT_EQ(check(m_library, m_relay.address()), -1);
    refusal = m_library.takeCertificateRefusal();
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->changed());
    EXPECT_EQ(refusal->pinnedFingerprint, dovecotCertificate.digest(QCryptographicHash::Sha256));
    EXPECT_EQ(refusal->certificate, s_other->certificate);
    const QString changed = certificateQuestion(*refusal);
    EXPECT_TRUE(changed.contains(QStringLiteral("信頼したときのものから変わっています")));
    EXPECT_TRUE(changed.contains(fingerprint));
    EXPECT_TRUE(changed.contains(opensslFingerprint(s_other->certificate)));
    // Then the handshake the client gave up.
    EXPECT_TRUE(m_relay.clientBytes().startsWith("CAPA\r\nSTLS\r\n"));
    EXPECT_FALSE(hasCredentials(m_relay.clientBytes()));
    EXPECT_EQ(m_trust.pinnedCertificate(key), refusal->pinnedFingerprint) << "the old pin stays";
}

} // namespace
