// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program has learnt about the POP3 servers it checks (the POP3 library's ServerTrust,
// mail/servertrust.h), kept for the user in two small files of their own below
// userStateFolder() (~/.local/state/brindle/ by default):
//   tls-servers            "server [AA:BB:...]": the server offered TLS, so it is never logged
//                          in to without it again; with the SHA-256 fingerprint of the
//                          certificate it last showed in a handshake that passed;
//   pinned-certificates    "server AA:BB:...": the fingerprint of the one certificate the user
//                          chose to trust for that server.
// A server is its key (mail/serveraddress.h); a line written by an older version, or edited by
// hand in another spelling of the same server, reads as that key.
//
// The folder is made for its owner only (0700), the files are 0600 and replaced atomically
// (Profile::replaceFile), each read, change and write under an advisory lock on a file beside
// it ("tls-servers.lock"), so that two instances never lose each other's lines. Every call reads
// the file afresh, so an edit by hand counts at the next check. Lines starting with "#" are
// comments; deleting a line forgets that server or certificate.
//
// The files fail closed and never block: one is opened without following a link and without
// waiting, taken only when it is a regular file within a size bound, and one that cannot be
// read, or holds a line that does not read as an entry, stops the check before the login with a
// text that names it and says what to do. Such a file is never replaced from an empty reading,
// and a line that does not read is kept as it is when the file is rewritten.
#include "mail/servertrust.h"

#include <QByteArray>
#include <QString>

class ServerRecords final : public ServerTrust {
public:
    static constexpr int FingerprintBytes = 32; // SHA-256
    static constexpr qint64 MaxFileSize = 1024 * 1024;

    explicit ServerRecords(QString folder);
    ServerRecords(); // userStateFolder()

    QString folder() const { return m_folder; }
    QString tlsServersFile() override;
    QString pinnedCertificatesFile() const;

    bool lookUp(const QString &key, ServerRecord *record, QString *failureText) override;
    bool rememberTls(const QString &key, QString *failureText) override;
    bool rememberCertificate(const QString &key, const QByteArray &sha256) override;
    // In place of any fingerprint pinned for key before.
    bool pin(const QString &key, const QByteArray &sha256) override;

    // Reads formatFingerprint()'s form back (either case); empty when it is not exactly
    // FingerprintBytes such pairs.
    static QByteArray parseFingerprint(QStringView text);

private:
    enum class Change { AddKey, SetFingerprint };
    bool update(const QString &path, const QByteArray &header, const QString &key,
        const QByteArray &sha256, Change change, QString *failureText);

    QString m_folder;
};
