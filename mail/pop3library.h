#pragma once
// The POP3 library (RFC 1939) behind the program's ten library calls.
//
// Layers, top to bottom:
//   Pop3Library   the NMailApi calls: handle table, argument checks, the last failure text,
//                 filling the caller's buffers (pop3headers.h cuts and decodes header text);
//   Pop3Session   one connection's protocol, one command and reply at a time; the only place
//                 that parses server replies (pop3session.h);
//   Pop3Transport the byte stream: SocketTransport is QSslSocket with blocking, bounded waits
//                 (sockettransport.h); tests and the fuzz target substitute canned server bytes.
//
// Every call blocks the thread it is made on: during a check, the library's own thread
// (librarythread.h), never the window's. Every wait has a deadline: the connection's (30 s)
// covers the greeting too, then each reply has 60 s. Once a connection is lost, times out or
// loses protocol sync, its handle fails at once on every further call. Of the one message
// retrieved, the head is kept and the rest read into the mail call's buffer straight from the
// connection, so the status, size and mail calls for one message cost one RETR between them.
//
// Making the connection covers the greeting and the move to TLS (CAPA, STLS, CAPA): every TLS
// failure is a failed connection, before any credential. With a ServerTrust (servertrust.h) the
// library remembers the servers it reached over TLS and never logs in to them without it, and
// accepts the certificates the user pinned.
#include "mail/nmail.h"
#include "mail/pop3error.h"
#include "mail/pop3transport.h"
#include "mail/servertrust.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class Pop3Session;

class Pop3Library : public NMailApi {
public:
    static constexpr std::chrono::milliseconds DefaultConnectTimeout { 30000 };
    static constexpr std::chrono::milliseconds DefaultReplyTimeout { 60000 };
    static constexpr quint16 DefaultPort = 110;
    static constexpr quint16 ImplicitTlsPort = 995;

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
    std::optional<CertificateRefusal> takeCertificateRefusal();
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

private:
    int fail(Pop3Error code, const QString &text);
    int failFrom(const Pop3Session &session, int code);
    Pop3Session *session(int handle);
    int addSession(std::unique_ptr<Pop3Session> session, QDeadlineTimer deadline,
        const QString &server, bool tlsRequired, const QByteArray &pinned);
    void refuse(
        const QString &server, const Pop3Transport::TlsResult &tls, const QByteArray &pinned);
    QString forgetHint(const QString &server) const;
    int fillHeaders(const QByteArray &message, std::span<char> subject, std::span<char> from,
        std::span<char> date, std::span<char> messageId);

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
