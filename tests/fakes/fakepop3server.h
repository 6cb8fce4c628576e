// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted POP3 server for tests, in a thread of its own with its own QTcpServer on
// 127.0.0.1 at a free port. It serves one connection, row by row:
//   "S: text"   send text and CRLF
//   "R:bytes"   send the bytes as they are (no CRLF added)
//   "C: text"   read one line from the client; it must equal text
//   "TLS"       start the server side of a TLS handshake
//   "CLOSE"     close the connection at once
//   "END"       wait for the client to close; anything it sends meanwhile is a mismatch
//   "STALL"     stop answering but keep the connection open until the server is destroyed
//   "HOLD"      stop answering and count as played (waitForEnd), then as END: wait for the
//               client to close, anything it sends meanwhile a mismatch; the thread then ends
// When the rows run out the connection is closed. A mismatch is recorded and ends the script.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QSslCertificate>
#include <QSslKey>
#include <QStringList>
#include <QThread>
#include <atomic>

class FakePop3Server : public QThread {
public:
    struct Tls {
        QSslCertificate certificate;
        QSslKey key;
        bool implicit = false; // handshake right after accepting
    };

    explicit FakePop3Server(QList<QByteArray> script);
    FakePop3Server(QList<QByteArray> script, Tls tls);
    ~FakePop3Server() override;

    // Starts the thread and returns once the server listens; false if it could not.
    bool begin();
    quint16 port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    // True once every row has been played (or the script ended in a mismatch).
    bool waitForEnd(int timeoutMs = 10000);
    QStringList problems() const;
    bool playedAllRows() const { return m_playedAll; }

protected:
    void run() override;

private:
    void problem(const QString &text);

    QList<QByteArray> m_script;
    Tls m_tls;
    quint16 m_port = 0;
    QSemaphore m_listening;
    QSemaphore m_ended;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_playedAll { false };
    mutable QMutex m_mutex;
    QStringList m_problems;
};
