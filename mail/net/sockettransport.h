#pragma once
// The socket transport: QSslSocket with blocking, bounded waits.
#include "mail/pop3transport.h"

class QSslSocket;

class SocketTransport final : public Pop3SocketTransport {
public:
    // readBufferSize caps the socket's own read buffer (QAbstractSocket::setReadBufferSize);
    // 0, the program's choice, leaves it unbounded.
    explicit SocketTransport(qint64 readBufferSize = 0);
    ~SocketTransport() override;

    OpenResult open(const QString &host, quint16 port, bool implicitTls,
        const QByteArray &extraCaPem, QDeadlineTimer deadline, QString *failureText) override;
    qint64 read(char *data, qint64 maxSize, QDeadlineTimer deadline) override;
    bool write(QByteArrayView data, QDeadlineTimer deadline) override;
    TlsResult startTls(QDeadlineTimer deadline) override;
    bool isEncrypted() const override;
    void close() override;

private:
    TlsResult finishHandshake(QDeadlineTimer deadline);

    std::unique_ptr<QSslSocket> m_socket;
};

// The module's one entry point, looked up by name when the module is loaded.
extern "C" Pop3SocketTransport *brindle_make_socket_transport();
