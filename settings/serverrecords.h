#pragma once
// What the program has learnt about the POP3 servers it checks, kept for the user in two small
// files of their own below userStateFolder() (~/.local/state/brindle/ by default):
//   tls-servers            one server a line: reached over TLS once, so never logged in to
//                          without it again;
//   pinned-certificates    "server AA:BB:...": the SHA-256 fingerprint of the one certificate
//                          the user chose to trust for that server.
// A server is the server setting as the POP3 library reads it ("pop.example.org:110",
// "[2001:db8::1]:995"). The folder is made for its owner only (0700), the files are 0600 and
// replaced atomically (Profile::replaceFile). A line that does not read as an entry (torn,
// edited by hand) counts as no entry and is dropped at the next write; lines starting with "#"
// are comments. Deleting a line forgets that server or certificate.
//
// Every call reads the file afresh, so an edit by hand counts at the next check. The calls may
// come from any thread; one mutex keeps this object's writes apart.
#include "settings/profile.h"

#include <QByteArray>
#include <QString>
#include <mutex>

class ServerRecords {
public:
    static constexpr int FingerprintBytes = 32; // SHA-256

    explicit ServerRecords(QString folder);
    ServerRecords(); // userStateFolder()

    QString folder() const { return m_folder; }
    QString tlsServersFile() const;
    QString pinnedCertificatesFile() const;

    bool offeredTls(const QString &server) const;
    Profile::Status rememberTls(const QString &server);
    // The fingerprint pinned for server (FingerprintBytes bytes), or empty.
    QByteArray pinnedFingerprint(const QString &server) const;
    // Pins sha256 for server, in place of any fingerprint pinned for it before.
    Profile::Status pin(const QString &server, const QByteArray &sha256);

    // "AA:BB:...", as `openssl x509 -fingerprint -sha256` prints it; parseFingerprint reads that
    // form back (empty when it is not exactly FingerprintBytes such pairs).
    static QString formatFingerprint(const QByteArray &digest);
    static QByteArray parseFingerprint(QStringView text);
    // Whether text can be a server key on a line: no blank or control character, and a port
    // after the last colon.
    static bool isValidServer(QStringView text);

private:
    Profile::Status write(const QString &path, const QByteArray &header, const QByteArray &lines);

    QString m_folder;
    mutable std::mutex m_mutex;
};
