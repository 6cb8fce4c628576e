// SPDX-License-Identifier: GPL-3.0-or-later
#include "dovecot.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUuid>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int StartTimeoutMs = 30000;

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// Hands path to the mail user, recursively.
void giveTo(const QString &path, uid_t uid, gid_t gid)
{
    if (::chown(QFile::encodeName(path).constData(), uid, gid) != 0)
        return;
    const QFileInfo info(path);
    if (!info.isDir())
        return;
    for (const QFileInfo &entry :
        QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        giveTo(entry.filePath(), uid, gid);
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

} // namespace

DovecotServer::DovecotServer(Security security)
    : m_security(security)
{
    if (::geteuid() == 0) {
        // Dovecot refuses root as the mail user ("-ERR [SYS/TEMP]").
        m_mailUser = QStringLiteral("nobody");
        m_mailGroup = ::getgrnam("nogroup") ? QStringLiteral("nogroup") : QStringLiteral("nobody");
    } else {
        const passwd *pw = ::getpwuid(::geteuid());
        const group *gr = ::getgrgid(::getegid());
        m_mailUser = pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
        m_mailGroup = gr ? QString::fromLocal8Bit(gr->gr_name) : QString();
    }
}

DovecotServer::~DovecotServer()
{
    stop();
}

bool DovecotServer::fail(const QString &text)
{
    m_error = text;
    return false;
}

QString DovecotServer::maildir(const QString &user) const
{
    return m_dir->filePath(QStringLiteral("mail/") + user);
}

bool DovecotServer::prepareFolder()
{
    if (m_dir)
        return true;
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid())
        return fail(QStringLiteral("cannot make a temporary folder"));
    // It is made 0700; the mail and login users must get in.
    ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
    for (const char *sub : { "mail", "home", "run", "state" })
        QDir(m_dir->path()).mkpath(QString::fromLatin1(sub));
    return true;
}

bool DovecotServer::start()
{
    const QString binary = QStandardPaths::findExecutable(
        QStringLiteral("dovecot"), { "/usr/sbin", "/usr/local/sbin", "/sbin" });
    if (binary.isEmpty())
        return fail(QStringLiteral("dovecot is not installed (Debian packages dovecot-core and "
                                   "dovecot-pop3d)"));
    if (!QFile::exists(QStringLiteral("/usr/lib/dovecot/pop3")))
        return fail(QStringLiteral("dovecot's POP3 server is not installed (dovecot-pop3d)"));
    if (!prepareFolder())
        return false;
    m_port = freePort();
    m_tlsPort = m_security == Security::Tls ? freePort() : 0;
    if (m_port == 0 || (m_security == Security::Tls && m_tlsPort == 0))
        return fail(QStringLiteral("no free port on 127.0.0.1"));
    if (m_security == Security::Tls && m_certificate.isNull() && !makeCertificate())
        return false;
    if (!writePasswd() || !writeConfig())
        return false;

    m_process.setProgram(binary);
    m_process.setArguments({ "-F", "-c", m_dir->filePath("dovecot.conf") });
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start();
    if (!m_process.waitForStarted(StartTimeoutMs))
        return fail(QStringLiteral("dovecot did not start: %1").arg(m_process.errorString()));
    return waitForGreeting();
}

bool DovecotServer::waitForGreeting()
{
    // The first connection after start can take seconds; try until one greeting arrives.
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running)
            return fail(QStringLiteral("dovecot stopped: %1\n%2")
                            .arg(QString::fromLocal8Bit(m_process.readAll()), logText()));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(1000)) {
            while (!socket.canReadLine()
                && socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) { }
            if (socket.readLine().startsWith("+OK"))
                return true;
        }
        // Not listening yet: wait for the master's next word (or a short while) before retrying.
        m_process.waitForReadyRead(100);
    }
    return fail(QStringLiteral("dovecot did not greet within %1 s\n%2")
                    .arg(StartTimeoutMs / 1000)
                    .arg(logText()));
}

void DovecotServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool DovecotServer::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

bool DovecotServer::makeCertificate()
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        { "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
            "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout", m_dir->filePath("key.pem"),
            "-out", m_dir->filePath("cert.pem") });
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        return fail(QStringLiteral("openssl could not make a certificate: %1")
                        .arg(QString::fromLocal8Bit(openssl.readAllStandardError())));
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(m_dir->filePath("cert.pem"));
    if (certs.isEmpty())
        return fail(QStringLiteral("cannot read the certificate openssl made"));
    m_certificate = certs.first();
    return true;
}

bool DovecotServer::writePasswd()
{
    QByteArray passwd;
    for (const auto &[name, password] : m_users)
        passwd += name.toUtf8() + ":{PLAIN}" + password.toUtf8() + "::::::\n";
    const QString path = m_dir->filePath("passwd");
    if (!writeFile(path, passwd))
        return fail(QStringLiteral("cannot write %1").arg(path));
    ::chmod(QFile::encodeName(path).constData(), 0644);
    return true;
}

bool DovecotServer::writeConfig()
{
    const QString dir = m_dir->path();
    QString ssl = QStringLiteral("ssl = no\n");
    if (m_security == Security::Tls)
        ssl = QStringLiteral("ssl = yes\nssl_cert = <%1/cert.pem\nssl_key = <%1/key.pem\n")
                  .arg(dir);
    const QString config = QStringLiteral(
        "protocols = pop3\n"
        "listen = 127.0.0.1\n"
        "base_dir = %1/run\n"
        "state_dir = %1/state\n"
        "instance_name = brindle-test-%2\n"
        "log_path = %1/dovecot.log\n"
        "info_log_path = %1/dovecot.log\n"
        "%3"
        "disable_plaintext_auth = no\n"
        "auth_mechanisms = plain apop\n"
        "auth_failure_delay = 0\n"
        "default_internal_user = %4\n"
        "default_internal_group = %5\n"
        "default_login_user = %4\n"
        "mail_location = maildir:%1/mail/%u\n"
        "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u %1/passwd\n}\n"
        "userdb {\n  driver = static\n  args = uid=%4 gid=%5 home=%1/home/%u\n}\n"
        "service pop3-login {\n  chroot =\n"
        "  inet_listener pop3 {\n    port = %6\n  }\n"
        "  inet_listener pop3s {\n    port = %7\n  }\n}\n"
        "service anvil {\n  chroot =\n"
        "  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n")
                               .arg(dir, QUuid::createUuid().toString(QUuid::Id128).left(12), ssl,
                                   m_mailUser, m_mailGroup)
                               .arg(m_port)
                               .arg(m_tlsPort);
    if (!writeFile(m_dir->filePath("dovecot.conf"), config.toUtf8()))
        return fail(QStringLiteral("cannot write dovecot.conf"));
    return true;
}

bool DovecotServer::addUser(const QString &name, const QString &password)
{
    if (!prepareFolder())
        return false;
    bool replaced = false;
    for (auto &user : m_users) {
        if (user.first == name) {
            user.second = password;
            replaced = true;
        }
    }
    if (!replaced)
        m_users.append({ name, password });
    if (!writePasswd() || !clearMailbox(name))
        return false;
    return !isRunning() || waitForLogin(name, password);
}

bool DovecotServer::waitForLogin(const QString &name, const QString &password)
{
    // Dovecot looks at the passwd-file at most once a second: log in until the new entry
    // works, so a test never meets the old one.
    const QDeadlineTimer deadline(StartTimeoutMs);
    auto reply = [&](QTcpSocket &socket) {
        while (!socket.canReadLine()
            && socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) { }
        return socket.readLine();
    };
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (!socket.waitForConnected(1000) || !reply(socket).startsWith("+OK"))
            continue;
        socket.write("USER " + name.toUtf8() + "\r\n");
        if (!reply(socket).startsWith("+OK"))
            continue;
        socket.write("PASS " + password.toUtf8() + "\r\n");
        const bool ok = reply(socket).startsWith("+OK");
        socket.write("QUIT\r\n");
        reply(socket);
        if (ok)
            return true;
    }
    return fail(QStringLiteral("dovecot did not accept the new user %1").arg(name));
}

bool DovecotServer::clearMailbox(const QString &user)
{
    const QString path = maildir(user);
    QDir(path).removeRecursively();
    QDir(m_dir->filePath("home/" + user)).removeRecursively();
    for (const char *sub : { "cur", "new", "tmp" }) {
        if (!QDir().mkpath(path + '/' + QLatin1String(sub)))
            return fail(QStringLiteral("cannot make %1").arg(path));
    }
    QDir().mkpath(m_dir->filePath("home/" + user));
    const passwd *pw = ::getpwnam(m_mailUser.toLocal8Bit().constData());
    const group *gr = ::getgrnam(m_mailGroup.toLocal8Bit().constData());
    if (pw && gr) {
        giveTo(path, pw->pw_uid, gr->gr_gid);
        giveTo(m_dir->filePath("home/" + user), pw->pw_uid, gr->gr_gid);
    }
    return true;
}

bool DovecotServer::addMessage(const QString &user, const QByteArray &message)
{
    // Names that sort in the order added, so Dovecot numbers the messages that way.
    ++m_messageSerial;
    const QString name = QStringLiteral("%1.M%2P%3.brindle,S=%4")
                             .arg(1700000000 + m_messageSerial)
                             .arg(m_messageSerial, 6, 10, QLatin1Char('0'))
                             .arg(::getpid())
                             .arg(message.size());
    const QString tmp = maildir(user) + "/tmp/" + name;
    const QString target = maildir(user) + "/new/" + name;
    if (!writeFile(tmp, message) || !QFile::rename(tmp, target))
        return fail(QStringLiteral("cannot write a message for %1").arg(user));
    const passwd *pw = ::getpwnam(m_mailUser.toLocal8Bit().constData());
    const group *gr = ::getgrnam(m_mailGroup.toLocal8Bit().constData());
    if (pw && gr)
        giveTo(target, pw->pw_uid, gr->gr_gid);
    return true;
}

QString DovecotServer::logText() const
{
    if (!m_dir)
        return {};
    QFile log(m_dir->filePath("dovecot.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

QList<int> DovecotServer::retrCounts() const
{
    QList<int> counts;
    static const QRegularExpression retr(QStringLiteral("retr=(\\d+)/"));
    auto it = retr.globalMatch(logText());
    while (it.hasNext())
        counts << it.next().captured(1).toInt();
    return counts;
}
