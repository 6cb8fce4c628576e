// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The socket transport: QSslSocket with blocking, bounded waits. The TCP connection itself is
// made with the system's calls and handed to the socket once it stands, so that its wait can be
// cut from another thread (ConnectionGroup).
#include "mail/pop3transport.h"

#include <QHostInfo>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

class QSslSocket;
class SocketTransport;

// The connections of one library, which another thread may cut at once. abort() shuts each
// member's socket down, which wakes a wait on it at once (reads, writes, the TLS handshake),
// and marks the members aborted, which ends in a moment the waits that no socket wakes (the
// host lookup, the connect's). Each member's socket is watched through a descriptor of the
// group's own (a dup), closed only by the member under the group's mutex: the socket's own
// descriptor may be closed inside Qt at any moment and its number reused, the watch's never.
class ConnectionGroup {
public:
    // From any thread, also while a member waits.
    void abort();
    // On the connecting thread, around making one connection: an abort in between also cuts
    // the members that join meanwhile. An abort outside leaves later members alone.
    void beginConnect();
    void endConnect();

private:
    friend class SocketTransport;
    void join(SocketTransport *member);
    void leave(SocketTransport *member);
    // Watches descriptor (dup'ed) for member instead of what it watched before; -1 for none.
    void watch(SocketTransport *member, int descriptor);

    std::mutex m_mutex;
    std::vector<SocketTransport *> m_members; // under m_mutex
    bool m_connecting = false; // under m_mutex
    bool m_connectAborted = false; // under m_mutex
};

class SocketTransport final : public Pop3Transport {
public:
    enum class OpenResult { Ok, Failed, TimedOut, TlsFailed, Aborted };

    // Looks a host name up, blocking; QHostInfo::fromName unless another is given.
    using HostLookup = std::function<QHostInfo(const QString &host)>;

    // readBufferSize caps the socket's own read buffer (QAbstractSocket::setReadBufferSize);
    // 0, the program's choice, leaves it unbounded. A transport in a group can be cut by it.
    explicit SocketTransport(qint64 readBufferSize = 0, HostLookup lookup = {},
        std::shared_ptr<ConnectionGroup> group = {});
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
    bool isAborted() const override { return m_aborted.load(); }
    void close() override;

private:
    friend class ConnectionGroup;
    enum class ConnectResult { Connected, Refused, Failed, TimedOut, Aborted };

    TlsResult finishHandshake(QDeadlineTimer deadline);
    ConnectResult connectTo(const QList<QHostAddress> &addresses, quint16 port, bool implicitTls,
        QDeadlineTimer deadline, QString *errorText);
    int connectOne(const QHostAddress &address, quint16 port, QDeadlineTimer deadline,
        ConnectResult *result, int *error);
    void setWatched(int descriptor);

    std::unique_ptr<QSslSocket> m_socket;
    HostLookup m_lookup;
    std::shared_ptr<ConnectionGroup> m_group;
    std::atomic<bool> m_aborted { false };
    int m_watch = -1; // the group's dup of the socket's descriptor, under the group's mutex
    QByteArray m_pinned;
    QSslCertificate m_peer; // as the handshake's errors came
    QByteArray m_peerDigest; // its SHA-256, taken once
    TlsResult m_lastTls;
};
