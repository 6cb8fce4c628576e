#include "boundedtransport.h"

#include <QSslSocket>

namespace {

int waitMs(const QDeadlineTimer &deadline)
{
    return int(std::clamp<qint64>(deadline.remainingTime(), 0, std::numeric_limits<int>::max()));
}

} // namespace

BoundedTransport::BoundedTransport(qint64 readBufferSize)
    : m_socket(std::make_unique<QSslSocket>())
{
    m_socket->setReadBufferSize(readBufferSize);
}

BoundedTransport::~BoundedTransport()
{
    close();
}

bool BoundedTransport::open(const QString &host, quint16 port, QDeadlineTimer deadline)
{
    m_socket->connectToHost(host, port);
    return m_socket->waitForConnected(waitMs(deadline));
}

qint64 BoundedTransport::read(char *data, qint64 maxSize, QDeadlineTimer deadline)
{
    while (m_socket->bytesAvailable() <= 0) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return Closed;
        if (deadline.hasExpired())
            return TimedOut;
        if (!m_socket->waitForReadyRead(waitMs(deadline)) && m_socket->bytesAvailable() <= 0) {
            if (m_socket->state() != QAbstractSocket::ConnectedState)
                return Closed;
            return TimedOut;
        }
    }
    const qint64 got = m_socket->read(data, maxSize);
    return got > 0 ? got : Closed;
}

bool BoundedTransport::write(QByteArrayView data, QDeadlineTimer deadline)
{
    if (m_socket->write(data.data(), data.size()) != data.size())
        return false;
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(waitMs(deadline)))
            return false;
    }
    return true;
}

Pop3Transport::TlsResult BoundedTransport::startTls(QDeadlineTimer)
{
    return { false, QStringLiteral("TLS is not offered by this transport") };
}

void BoundedTransport::close()
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
}
