// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The POP3 library (RFC 1939) behind the program's library calls. Pop3Library keeps the handle
// table and fills the caller's buffers; Pop3Session (pop3session.h) is one connection's protocol
// and the only place that parses replies; Pop3Transport is the byte stream, SocketTransport over
// QSslSocket in the program, canned bytes in tests and the fuzz target.
//
// Every call blocks the thread it is made on (during a check the library's own thread,
// librarythread.h, never the window's), and every wait has a deadline, so that no server can hold
// the program: 30 s for the connection and its greeting, then 60 s for each reply.
//
// Making the connection covers the greeting and the move to TLS (CAPA, STLS, CAPA): every TLS
// failure is a failed connection, before any credential. With a ServerTrust (servertrust.h) the
// library remembers the servers that offered TLS and never logs in to them without it, knows
// each server's last certificate, and accepts the certificates the user pinned.
//
// Two members are for other threads: abortConnections() cuts every connection through their
// ConnectionGroup (sockettransport.h) and refuses new ones until allowConnections(); the
// sessions it leaves behind are released by their close, the next connect or NMailEndWinSock,
// on the library's thread, without a byte to the server.
// receivedOctets() reads a counter that the sessions bump once per read from the server.
#include "mail/nmail.h"
#include "mail/pop3error.h"
#include "mail/pop3transport.h"
#include "mail/serveraddress.h"
#include "mail/servertrust.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class ConnectionGroup;
class Pop3Session;

class Pop3Library : public NMailApi {
public:
    static constexpr std::chrono::milliseconds DefaultConnectTimeout { 30000 };
    static constexpr std::chrono::milliseconds DefaultReplyTimeout { 60000 };
    static constexpr quint16 DefaultPort = ServerAddress::DefaultPort;
    static constexpr quint16 ImplicitTlsPort = ServerAddress::ImplicitTlsPort;

    Pop3Library();
    ~Pop3Library() override;

    // Shorter waits for tests; users get no option for them.
    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds reply);
    // Certificates trusted in addition to the system's store (test CAs), in PEM.
    void addCaCertificates(const QByteArray &pem);
    // The port on which TLS starts with the first byte (995 unless a test serves it elsewhere).
    void setImplicitTlsPort(quint16 port) { m_implicitTlsPort = port; }
    // Opens a handle over a ready transport (the test and fuzz seam): reads the greeting as
    // NMailPop3Connect does, within the connection's time. host is what APOP and TLS name checks
    // refer to.
    int attachTransport(std::unique_ptr<Pop3Transport> transport, const QString &host);
    // What the library remembers about servers (not owned; it outlives the library's calls).
    // Without one, no server is remembered and no certificate pinned.
    void setServerTrust(ServerTrust *trust) { m_trust = trust; }
    // The certificate refusal of the last NMailPop3Connect that failed on one, once: the window
    // side takes it after the failed connection to ask the user (any thread).
    std::optional<CertificateRefusal> takeCertificateRefusal() override;
    bool trustCertificate(const CertificateRefusal &refusal) override;
    int lastFailureCode() const { return m_lastFailureCode; }
    QString lastFailureText() const { return m_lastFailureText; }

    int NMailInitializeWinSock() override;
    int NMailSetOption(int option, int value) override;
    int NMailPop3Connect(const QString &server) override;
    int NMailPop3Authenticate(
        int handle, const QString &id, const QString &password, int apop) override;
    int NMailPop3GetMailStatus(int handle, int mailNo, std::span<char> subject,
        std::span<char> from, std::span<char> date, std::span<char> messageId, int flag) override;
    int NMailPop3GetMailSize(int handle, int mailNo) override;
    int NMailPop3GetMail(int handle, int mailNo, std::span<char> subject, std::span<char> from,
        std::span<char> date, std::span<char> messageId, std::span<char> body, int flag1,
        int flag2) override;
    int NMailGetMessage(int code, std::span<char> buffer, int *size) override;
    int NMailPop3Close(int handle) override;
    int NMailEndWinSock() override;
    void abortConnections() override;
    void allowConnections() override;
    qint64 mailboxOctets(int handle) override;
    qint64 receivedOctets() const override;

private:
    int fail(Pop3Error code, const QString &text);
    int failFrom(const Pop3Session &session, int code);
    Pop3Session *session(int handle);
    // What the records said about the server when the connection began.
    struct Known {
        QString key;
        ServerRecord record;
    };
    bool lookUp(const QString &key, Known *known);
    QString rememberOffer(const Known &known);
    void noteCertificate(const Known &known, const QByteArray &fingerprint);
    int addSession(
        std::unique_ptr<Pop3Session> session, QDeadlineTimer deadline, const Known &known);
    void refuse(const Pop3Transport::TlsResult &tls, const Known &known);
    QString forgetHint(const QString &server) const;
    int fillHeaders(const QByteArray &message, std::span<char> subject, std::span<char> from,
        std::span<char> date, std::span<char> messageId);
    void releaseAborted();

    // Before the sessions: their transports leave it when they go.
    const std::shared_ptr<ConnectionGroup> m_connections;
    std::atomic<bool> m_aborted { false }; // sessions may wait to be released
    std::atomic<bool> m_refusing { false }; // connects fail until allowConnections()
    std::atomic<qint64> m_receivedOctets { 0 };
    std::map<int, std::unique_ptr<Pop3Session>> m_sessions;
    int m_nextHandle = 1;
    int m_textBufferSize = BufferSize;
    std::chrono::milliseconds m_connectTimeout = DefaultConnectTimeout;
    std::chrono::milliseconds m_replyTimeout = DefaultReplyTimeout;
    QByteArray m_extraCaPem;
    quint16 m_implicitTlsPort = ImplicitTlsPort;
    int m_lastFailureCode = 0;
    QString m_lastFailureText;
    ServerTrust *m_trust = nullptr;
    std::mutex m_refusalMutex;
    std::optional<CertificateRefusal> m_refusal; // under m_refusalMutex
};
