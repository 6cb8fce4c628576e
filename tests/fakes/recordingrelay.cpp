// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/recordingrelay.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

// Server bytes on their way with the STLS capability taken out: only whole lines are passed
// (POP3 before TLS is line by line), the rest waits for its line end.
QByteArray withoutStls(QByteArray *pending)
{
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype nl; (nl = pending->indexOf('\n', start)) >= 0; start = nl + 1) {
        const QByteArray line = pending->mid(start, nl + 1 - start);
        if (line.trimmed().toUpper() != "STLS")
            out += line;
    }
    pending->remove(0, start);
    return out;
}

} // namespace

RecordingRelay::RecordingRelay(quint16 targetPort)
    : m_target(targetPort)
{
}

RecordingRelay::~RecordingRelay()
{
    quit();
    wait();
}

bool RecordingRelay::begin()
{
    start();
    return m_listening.tryAcquire(1, 10000) && m_port != 0;
}

QByteArray RecordingRelay::clientBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_clientBytes;
}

void RecordingRelay::clearRecord()
{
    QMutexLocker lock(&m_mutex);
    m_clientBytes.clear();
}

void RecordingRelay::record(const QByteArray &bytes)
{
    QMutexLocker lock(&m_mutex);
    m_clientBytes += bytes;
}

void RecordingRelay::run()
{
    QTcpServer server;
    if (server.listen(QHostAddress::LocalHost, 0))
        m_port = server.serverPort();
    m_listening.release();
    if (!m_port)
        return;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
        while (QTcpSocket *client = server.nextPendingConnection()) {
            auto *upstream = new QTcpSocket(client);
            auto *pending = new QByteArray;
            const bool strip = m_strip;
            QObject::connect(client, &QObject::destroyed, [pending] { delete pending; });
            QObject::connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream] {
                const QByteArray bytes = client->readAll();
                record(bytes);
                upstream->write(bytes);
            });
            QObject::connect(
                upstream, &QTcpSocket::readyRead, client, [client, upstream, pending, strip] {
                    if (!strip) {
                        client->write(upstream->readAll());
                        return;
                    }
                    *pending += upstream->readAll();
                    client->write(withoutStls(pending));
                });
            QObject::connect(upstream, &QTcpSocket::disconnected, client,
                [client] { client->disconnectFromHost(); });
            QObject::connect(upstream, &QTcpSocket::errorOccurred, client,
                [client] { client->disconnectFromHost(); });
            QObject::connect(client, &QTcpSocket::disconnected, client, [client, upstream] {
                upstream->disconnectFromHost();
                client->deleteLater();
            });
            upstream->connectToHost(QHostAddress::LocalHost, m_target);
        }
    });
    exec();
}
