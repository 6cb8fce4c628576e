// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fakepop3server.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <memory>

namespace {

constexpr int StepTimeoutMs = 10000;

class SslServer : public QTcpServer {
public:
    qintptr pending = -1;

protected:
    void incomingConnection(qintptr descriptor) override { pending = descriptor; }
};

} // namespace

FakePop3Server::FakePop3Server(QList<QByteArray> script)
    : m_script(std::move(script))
{
}

FakePop3Server::FakePop3Server(QList<QByteArray> script, Tls tls)
    : m_script(std::move(script))
    , m_tls(std::move(tls))
{
}

FakePop3Server::~FakePop3Server()
{
    m_stop = true;
    wait();
}

bool FakePop3Server::begin()
{
    start();
    return m_listening.tryAcquire(1, StepTimeoutMs) && m_port != 0;
}

bool FakePop3Server::waitForEnd(int timeoutMs)
{
    if (!m_ended.tryAcquire(1, timeoutMs))
        return false;
    m_ended.release();
    return true;
}

QStringList FakePop3Server::problems() const
{
    QMutexLocker lock(&m_mutex);
    return m_problems;
}

void FakePop3Server::problem(const QString &text)
{
    QMutexLocker lock(&m_mutex);
    m_problems << text;
}

void FakePop3Server::run()
{
    SslServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        m_listening.release();
        m_ended.release();
        return;
    }
    m_port = server.serverPort();
    m_listening.release();

    while (server.pending < 0 && !m_stop)
        server.waitForNewConnection(50);
    if (server.pending < 0) {
        problem(QStringLiteral("no client connected"));
        m_ended.release();
        return;
    }
    auto socket = std::make_unique<QSslSocket>();
    socket->setSocketDescriptor(server.pending);
    if (!m_tls.certificate.isNull()) {
        socket->setLocalCertificate(m_tls.certificate);
        socket->setPrivateKey(m_tls.key);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    }
    auto handshake = [&] {
        socket->startServerEncryption();
        if (!socket->waitForEncrypted(StepTimeoutMs)) {
            problem(QStringLiteral("TLS handshake failed: %1").arg(socket->errorString()));
            return false;
        }
        return true;
    };

    bool ok = !m_tls.implicit || handshake();
    for (qsizetype i = 0; ok && i < m_script.size() && !m_stop; ++i) {
        const QByteArray &row = m_script[i];
        if (row.startsWith("S: ")) {
            socket->write(row.mid(3) + "\r\n");
            socket->waitForBytesWritten(StepTimeoutMs);
        } else if (row.startsWith("R:")) {
            socket->write(row.mid(2));
            while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(StepTimeoutMs)) { }
        } else if (row.startsWith("C: ")) {
            while (!socket->canReadLine() && socket->state() == QAbstractSocket::ConnectedState
                && !m_stop)
                socket->waitForReadyRead(50);
            QByteArray line = socket->readLine();
            if (line.endsWith("\r\n"))
                line.chop(2);
            if (line != row.mid(3)) {
                problem(QStringLiteral("row %1: expected \"%2\", got \"%3\"")
                            .arg(i)
                            .arg(QString::fromUtf8(row.mid(3)), QString::fromUtf8(line)));
                ok = false;
            }
        } else if (row == "TLS") {
            ok = handshake();
        } else if (row == "CLOSE") {
            m_playedAll = true;
            break;
        } else if (row == "END" || row == "HOLD") {
            if (row == "HOLD") {
                m_playedAll = true;
                m_ended.release();
            }
            while (!m_stop && socket->state() == QAbstractSocket::ConnectedState)
                socket->waitForReadyRead(50);
            if (const QByteArray more = socket->readAll(); !more.isEmpty())
                problem(QStringLiteral("row %1: the client sent \"%2\" after the end")
                            .arg(i)
                            .arg(QString::fromUtf8(more.left(200))));
        } else if (row == "STALL") {
            m_playedAll = true;
            m_ended.release();
            while (!m_stop && socket->state() == QAbstractSocket::ConnectedState)
                socket->waitForReadyRead(50);
            return;
        } else {
            problem(QStringLiteral("bad script row %1").arg(i));
            ok = false;
        }
        if (ok && i == m_script.size() - 1)
            m_playedAll = true;
    }
    if (m_script.isEmpty())
        m_playedAll = true;
    socket->disconnectFromHost();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->waitForDisconnected(1000);
    m_ended.release();
}
