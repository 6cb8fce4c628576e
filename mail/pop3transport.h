#pragma once
// The byte stream under a POP3 session. SocketTransport is the real one (TCP, TLS from the first
// byte or after STLS); tests and the fuzz target hand a session a transport of their own that
// plays back canned server bytes, so the protocol code runs unchanged against hostile input.
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <memory>

class QSslSocket;

class Pop3Transport {
public:
    static constexpr qint64 Closed = -1;
    static constexpr qint64 TimedOut = -2;

    struct TlsResult {
        bool ok = false;
        QString failureText; // Japanese, naming the reason
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
    virtual void close() = 0;
};

class SocketTransport final : public Pop3Transport {
public:
    enum class OpenResult { Ok, Failed, TimedOut, TlsFailed };

    SocketTransport();
    ~SocketTransport() override;

    // Connects to host:port; implicitTls starts the handshake at once. The peer certificate is
    // checked against the system's trust store plus extraCaCertificates, and against host.
    OpenResult open(const QString &host, quint16 port, bool implicitTls,
        const QList<QSslCertificate> &extraCaCertificates, QDeadlineTimer deadline,
        QString *failureText);

    qint64 read(char *data, qint64 maxSize, QDeadlineTimer deadline) override;
    bool write(QByteArrayView data, QDeadlineTimer deadline) override;
    TlsResult startTls(QDeadlineTimer deadline) override;
    bool isEncrypted() const override;
    void close() override;

private:
    TlsResult finishHandshake(QDeadlineTimer deadline);

    std::unique_ptr<QSslSocket> m_socket;
};
