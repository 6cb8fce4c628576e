#pragma once
// What the POP3 library asks about a server before it logs in, and what it hands back when a
// server's certificate stops a connection.
//
// A server that was once reached over TLS (by STLS, or TLS from the first byte) is remembered:
// a later connection to it that cannot get TLS again (no STLS in CAPA, STLS refused, handshake
// failed) fails before any USER, PASS or APOP, as a failed connection. A server never reached
// over TLS still gets the login it always got.
//
// A handshake that fails only because the certificate is not trusted for this server (unknown
// issuer, self-signed, another host's name, out of its dates) leaves a CertificateRefusal that
// the window side takes after the failed connection and turns into a question
// (certificateQuestion()). Only the user's yes pins the certificate, through ServerTrust::pin;
// from then on that exact certificate (its SHA-256 fingerprint) is accepted for that server
// despite those errors, and no other. A certificate the system trusts is accepted as always,
// pinned or not. Revoked certificates and bad signatures are never pinnable.
//
// The "server" is the server setting as the library reads it: host (IPv6 in brackets), lower
// case, and port, e.g. "pop.example.org:110" (serverKey()).
#include <QByteArray>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

class ServerTrust {
public:
    virtual ~ServerTrust() = default;

    // Called on the library's thread, during NMailPop3Connect; pin() also from the window's. An
    // implementation is thread-safe.
    virtual bool offeredTlsBefore(const QString &server) = 0;
    virtual void rememberTls(const QString &server) = 0;
    // The SHA-256 fingerprint of the certificate pinned for server (32 bytes), or empty.
    virtual QByteArray pinnedCertificate(const QString &server) = 0;
    // False when the pin could not be kept (the record file cannot be written): a connection
    // made again would be refused again.
    virtual bool pin(const QString &server, const QSslCertificate &certificate) = 0;
    // Where the servers that offered TLS are listed, one a line: the text that tells a downgrade
    // also tells how to forget the server.
    virtual QString tlsServersFile() = 0;
};

struct CertificateRefusal {
    QString server; // the key for ServerTrust
    QSslCertificate certificate; // the server's own
    QStringList reasons; // Japanese, one for each kind of error
    // The fingerprint pinned for this server when it was another certificate's; else empty.
    QByteArray pinnedFingerprint;

    bool changed() const { return !pinnedFingerprint.isEmpty(); }
};

// The key a server setting ("Pop.Example.org", "pop.example.org:110") has in a ServerTrust
// ("pop.example.org:110"), or empty when the library cannot read it.
QString serverKey(const QString &server);

// "AA:BB:...", the SHA-256 fingerprint in the form `openssl x509 -fingerprint -sha256` prints.
QString certificateFingerprint(const QSslCertificate &certificate);
QString formatFingerprint(const QByteArray &sha256);
// The question the window asks about a refusal (its default answer is no): what is wrong, the
// certificate's subject, issuer, validity and fingerprint, and, when the certificate has
// changed since the user trusted one, both fingerprints.
QString certificateQuestion(const CertificateRefusal &refusal);
