// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A relay between a client and a POP3 server on 127.0.0.1, in a thread of its own, listening on
// a free port: it passes the bytes both ways and records what the clients sent. It plays the
// network between a user and their server: with stripStls it takes the STLS line out of every
// reply in plain text (a downgrade), and the server it passes to can be changed between
// connections (another server answering under the same name).
//
//   RecordingRelay relay(dovecot.port());
//   ASSERT_TRUE(relay.begin());
//   ... connect to relay.address() ...
//   relay.clientBytes(); // everything every client sent, in order
#include <QByteArray>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>
#include <atomic>

class RecordingRelay : public QThread {
public:
    explicit RecordingRelay(quint16 targetPort);
    ~RecordingRelay() override;

    bool begin();
    quint16 port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

    // For the connections made from now on.
    void setTargetPort(quint16 port) { m_target = port; }
    void setStripStls(bool strip) { m_strip = strip; }

    QByteArray clientBytes() const;
    void clearRecord();

protected:
    void run() override;

private:
    void record(const QByteArray &bytes);

    std::atomic<quint16> m_target;
    std::atomic<bool> m_strip { false };
    quint16 m_port = 0;
    QSemaphore m_listening;
    mutable QMutex m_mutex;
    QByteArray m_clientBytes;
};
