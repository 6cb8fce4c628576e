#pragma once
// For the memory run's diagnosis only: a plain-TCP Pop3Transport over QSslSocket, like the
// library's own SocketTransport, except that the socket's read buffer is capped with
// QAbstractSocket::setReadBufferSize. Comparing a check through it with one through the library's
// own connection shows what the socket's unbounded buffer adds to the peak.
#include "mail/pop3transport.h"

#include <memory>

class QSslSocket;

class BoundedTransport final : public Pop3Transport {
public:
    explicit BoundedTransport(qint64 readBufferSize);
    ~BoundedTransport() override;

    bool open(const QString &host, quint16 port, QDeadlineTimer deadline);

    qint64 read(char *data, qint64 maxSize, QDeadlineTimer deadline) override;
    bool write(QByteArrayView data, QDeadlineTimer deadline) override;
    TlsResult startTls(QDeadlineTimer deadline) override;
    bool isEncrypted() const override { return false; }
    void close() override;

private:
    std::unique_ptr<QSslSocket> m_socket;
};
