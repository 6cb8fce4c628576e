// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A throwaway Dovecot POP3 server for tests, run from a config written into a temporary folder:
// 127.0.0.1 on free ports, users in a passwd-file with plain-text passwords (so APOP works),
// maildirs owned by an unprivileged user, no delay after failed logins. With Security::Tls it
// offers STLS on port() and TLS from the first byte on tlsPort(), with a self-signed certificate
// made by the openssl command for 127.0.0.1.
//
//   DovecotServer dovecot(DovecotServer::Security::Plain);
//   ASSERT_TRUE(dovecot.start()) << dovecot.errorText().toStdString(); // never skipped
//   dovecot.addUser("alice", "secret");
//   dovecot.addMessage("alice", "Subject: hi\r\n\r\nbody\r\n");
//   ... connect to 127.0.0.1:dovecot.port() ...
//   dovecot.retrCounts(); // from the log's logout lines, e.g. {3}
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QSslCertificate>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class DovecotServer {
public:
    enum class Security { Plain, Tls };

    explicit DovecotServer(Security security = Security::Plain);
    ~DovecotServer(); // stops the server

    // Writes the config, starts Dovecot and waits (bounded) until it greets. False when Dovecot
    // is missing or does not come up; errorText() then says why.
    bool start();
    void stop();
    bool isRunning() const;
    QString errorText() const { return m_error; }

    // Adds a user (or changes its password) with an empty maildir. Works before or after start;
    // after, it returns once Dovecot accepts the login (one logout line more in the log).
    bool addUser(const QString &name, const QString &password);
    // Puts a message into the user's maildir; messages are numbered in the order added.
    bool addMessage(const QString &user, const QByteArray &message);
    // Empties the user's maildir (RETR moves messages from new/ to cur/, so tests that count
    // bytes should start from a fresh one).
    bool clearMailbox(const QString &user);

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; } // plain POP3, STLS when Security::Tls
    quint16 tlsPort() const { return m_tlsPort; } // TLS from the first byte; 0 when Plain
    QSslCertificate certificate() const { return m_certificate; } // null when Plain
    qint64 processId() const { return m_process.processId(); } // the master; 0 when stopped

    QString logText() const;
    // "retr=N/..." of each logout logged so far, in order.
    QList<int> retrCounts() const;

private:
    bool fail(const QString &text);
    bool prepareFolder();
    bool writeConfig();
    bool makeCertificate();
    bool waitForGreeting();
    bool waitForLogin(const QString &name, const QString &password);
    bool writePasswd();
    QString maildir(const QString &user) const;

    Security m_security;
    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_process;
    QString m_error;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    QSslCertificate m_certificate;
    QList<QPair<QString, QString>> m_users;
    int m_messageSerial = 0;
    QString m_mailUser;
    QString m_mailGroup;
};
