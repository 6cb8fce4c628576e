#pragma once
// The socket transport: QSslSocket with blocking, bounded waits.
#include "mail/pop3transport.h"

#include <QHostInfo>
#include <functional>

class QSslSocket;

class SocketTransport final : public Pop3Transport {
public:
    enum class OpenResult { Ok, Failed, TimedOut, TlsFailed };

    // Looks a host name up, blocking; QHostInfo::fromName unless another is given.
    using HostLookup = std::function<QHostInfo(const QString &host)>;

    // readBufferSize caps the socket's own read buffer (QAbstractSocket::setReadBufferSize);
    // 0, the program's choice, leaves it unbounded.
    explicit SocketTransport(qint64 readBufferSize = 0, HostLookup lookup = {});
    ~SocketTransport() override;

    // Connects to host:port; implicitTls starts the handshake at once. The peer certificate is
    // checked against the system's trust store plus the PEM certificates in extraCaPem, and
    // against host.
    OpenResult open(const QString &host, quint16 port, bool implicitTls,
        const QByteArray &extraCaPem, QDeadlineTimer deadline, QString *failureText);
    // The SHA-256 fingerprint of the one certificate accepted despite errors that trusting it
    // overrides (untrusted issuer, self-signed, other name, out of its dates); set before open().
    void setPinnedCertificate(const QByteArray &sha256) { m_pinned = sha256; }
    // The last handshake's result (a TLS failure of open() is told here in full).
    const TlsResult &lastTls() const { return m_lastTls; }
    qint64 read(char *data, qint64 maxSize, QDeadlineTimer deadline) override;
    bool write(QByteArrayView data, QDeadlineTimer deadline) override;
    TlsResult startTls(QDeadlineTimer deadline) override;
    bool isEncrypted() const override;
    void close() override;

private:
    TlsResult finishHandshake(QDeadlineTimer deadline);
    bool connectTo(const QList<QHostAddress> &addresses, const QString &host, quint16 port,
        bool implicitTls, QDeadlineTimer deadline);

    std::unique_ptr<QSslSocket> m_socket;
    HostLookup m_lookup;
    QByteArray m_pinned;
    QSslCertificate m_peer; // as the handshake's errors came
    TlsResult m_lastTls;
};
