// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the POP3 library asks about a server before it logs in, and what it hands back when a
// server's certificate stops a connection.
//
// A server that offers TLS once (STLS in its capabilities, or a TLS port reached) is remembered
// at once, before any credential could go out, whatever comes of the handshake: a later
// connection to it that cannot get TLS again (no STLS in CAPA, STLS refused, handshake failed)
// fails before any USER, PASS or APOP, as a failed connection. A server that never offered TLS
// still gets the login it always got.
//
// The fingerprint of the certificate each server last showed in a handshake that passed
// (trusted by the system, or pinned) is kept too. A handshake that fails only because the
// certificate is not trusted for this server (unknown issuer, self-signed, another host's name,
// out of its dates) leaves a CertificateRefusal that the window side takes after the failed
// connection and turns into a question; when the server showed another certificate before, the
// refusal says so (changed()). Only the user's yes pins the certificate, through
// ServerTrust::pin; from then on that exact certificate (its SHA-256 fingerprint) is accepted
// for that server despite those errors, and no other. A certificate the system trusts is
// accepted as always, pinned or not, and a new one is noted without a word (a renewal).
// Revoked certificates and bad signatures are never pinnable.
//
// Servers are named by their key (serveraddress.h). Records that cannot be read stop the check:
// a record of TLS that cannot be told is no reason to send a password in clear.
#include <QByteArray>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

// What the records hold for one server.
struct ServerRecord {
    bool offeredTls = false;
    QByteArray lastCertificate; // SHA-256 of the certificate last shown over TLS, or empty
    QByteArray pinnedCertificate; // SHA-256 of the certificate the user trusted, or empty
};

class ServerTrust {
public:
    virtual ~ServerTrust() = default;

    // Called on the library's thread, during NMailPop3Connect; pin() also from the window's. An
    // implementation is thread-safe, and safe against other processes writing the same records.
    //
    // False, with the reason and what the user can do in *failureText, when the records cannot
    // be read: the connection is then not made.
    virtual bool lookUp(const QString &key, ServerRecord *record, QString *failureText) = 0;
    // That the server offered TLS; false, with the reason in *failureText, when that could not
    // be recorded.
    virtual bool rememberTls(const QString &key, QString *failureText) = 0;
    // The certificate a handshake passed with (its SHA-256); the user's yes to a refusal. False
    // when the record could not be written.
    virtual bool rememberCertificate(const QString &key, const QByteArray &sha256) = 0;
    virtual bool pin(const QString &key, const QByteArray &sha256) = 0;
    // Where the servers that offered TLS are listed, one a line: the text that tells a downgrade
    // also tells how to forget the server.
    virtual QString tlsServersFile() = 0;
};

struct CertificateRefusal {
    QString server; // the key for ServerTrust
    QSslCertificate certificate; // the server's own
    QStringList reasons; // Japanese, one for each kind of error
    QByteArray fingerprint; // the certificate's SHA-256
    // The fingerprint of the certificate the server showed before (passed or pinned) when it was
    // another one; else empty.
    QByteArray previousFingerprint;

    bool changed() const { return !previousFingerprint.isEmpty(); }
};

// "AA:BB:...", a SHA-256 fingerprint in the form `openssl x509 -fingerprint -sha256` prints.
QString formatFingerprint(const QByteArray &sha256);
