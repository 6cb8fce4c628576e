// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte stream under a POP3 session. SocketTransport is the real one (TCP, TLS from the first
// byte or after STLS; sockettransport.h); tests and the fuzz target hand a session a transport
// of their own that plays back canned server bytes, so the protocol code runs unchanged against
// hostile input.
#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <memory>

class Pop3Transport {
public:
    static constexpr qint64 Closed = -1;
    static constexpr qint64 TimedOut = -2;

    struct TlsResult {
        bool ok = false;
        QString failureText; // Japanese, naming the reason
        // The SHA-256 of the certificate the server showed, passed or not; empty when none came.
        QByteArray fingerprint;
        // Set when the handshake failed only because the certificate is not trusted for this
        // server, so that the user may choose to trust it (servertrust.h): the server's
        // certificate, and the reasons in Japanese.
        QSslCertificate refused = QSslCertificate();
        QStringList reasons;
    };

    virtual ~Pop3Transport() = default;
    // Reads at least one byte, waiting until the deadline: the count read, Closed or TimedOut.
    virtual qint64 read(char *data, qint64 maxSize, QDeadlineTimer deadline) = 0;
    // Sends all of data; false when the connection is gone or the deadline passed.
    virtual bool write(QByteArrayView data, QDeadlineTimer deadline) = 0;
    // Throws away every byte received so far (it came before the handshake and cannot be
    // trusted), then negotiates TLS and verifies the peer.
    virtual TlsResult startTls(QDeadlineTimer deadline) = 0;
    virtual bool isEncrypted() const = 0;
    // Whether another thread cut the connection (Pop3Library::abortConnections): every wait
    // then ends at once and every later read and write fails.
    virtual bool isAborted() const { return false; }
    virtual void close() = 0;
};
