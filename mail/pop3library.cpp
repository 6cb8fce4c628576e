// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/pop3library.h"

#include "mail/pop3headers.h"
#include "mail/pop3session.h"
#include "mail/serveraddress.h"
#include "mail/sockettransport.h"

#include <QScopeGuard>
#include <cstring>
#include <utility>

namespace {

// Every text buffer a call is given starts out empty, so a caller that reads one after a failed
// call finds an empty text, never what the buffer held before.
void clearTexts(std::initializer_list<std::span<char>> buffers)
{
    for (std::span<char> buffer : buffers)
        if (!buffer.empty())
            buffer[0] = '\0';
}

} // namespace

Pop3Library::Pop3Library()
    : m_connections(std::make_shared<ConnectionGroup>())
{
}
Pop3Library::~Pop3Library() = default;

void Pop3Library::setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds reply)
{
    m_connectTimeout = connect;
    m_replyTimeout = reply;
}

void Pop3Library::addCaCertificates(const QByteArray &pem)
{
    if (!m_extraCaPem.isEmpty() && !m_extraCaPem.endsWith('\n'))
        m_extraCaPem += '\n';
    m_extraCaPem += pem;
}

int Pop3Library::fail(Pop3Error code, const QString &text)
{
    m_lastFailureCode = int(code);
    m_lastFailureText = text;
    return int(code);
}

int Pop3Library::failFrom(const Pop3Session &session, int code)
{
    m_lastFailureCode = code;
    m_lastFailureText = session.failureText();
    return code;
}

Pop3Session *Pop3Library::session(int handle)
{
    const auto it = m_sessions.find(handle);
    if (it == m_sessions.end()) {
        fail(
            Pop3Error::BadHandle, QStringLiteral("接続ハンドル %1 は開いていません。").arg(handle));
        return nullptr;
    }
    return it->second.get();
}

std::optional<CertificateRefusal> Pop3Library::takeCertificateRefusal()
{
    std::lock_guard lock(m_refusalMutex);
    return std::exchange(m_refusal, std::nullopt);
}

bool Pop3Library::trustCertificate(const CertificateRefusal &refusal)
{
    return m_trust && m_trust->pin(refusal.server, refusal.fingerprint);
}

void Pop3Library::refuse(const Pop3Transport::TlsResult &tls, const Known &known)
{
    if (tls.refused.isNull())
        return;
    CertificateRefusal refusal { known.key, tls.refused, tls.reasons, tls.fingerprint, {} };
    // The certificate the server last passed with, else the one the user trusted.
    const QByteArray &before = known.record.lastCertificate.isEmpty()
        ? known.record.pinnedCertificate
        : known.record.lastCertificate;
    if (!before.isEmpty() && before != tls.fingerprint)
        refusal.previousFingerprint = before;
    std::lock_guard lock(m_refusalMutex);
    m_refusal = std::move(refusal);
}

QString Pop3Library::forgetHint(const QString &server) const
{
    return QStringLiteral("このサーバーを忘れてよいときは、%1 から「%2」の行を削除してください。")
        .arg(m_trust->tlsServersFile(), server);
}

bool Pop3Library::lookUp(const QString &key, Known *known)
{
    known->key = key;
    QString text;
    if (m_trust && !m_trust->lookUp(key, &known->record, &text)) {
        fail(Pop3Error::ConnectFailed, text);
        return false;
    }
    return true;
}

// Written before anything else goes to the server, whatever comes of the handshake. A record
// that cannot be written ends the connection: the next one could not tell a downgrade.
QString Pop3Library::rememberOffer(const Known &known)
{
    QString text;
    if (m_trust && !known.record.offeredTls && !m_trust->rememberTls(known.key, &text))
        return text;
    return {};
}

// A certificate that passed (the system trusts it, or the user pinned it) becomes the one the
// server is known by, without a word: the system's trust covers a renewal.
void Pop3Library::noteCertificate(const Known &known, const QByteArray &fingerprint)
{
    if (m_trust && !fingerprint.isEmpty() && fingerprint != known.record.lastCertificate)
        m_trust->rememberCertificate(known.key, fingerprint);
}

int Pop3Library::addSession(
    std::unique_ptr<Pop3Session> session, QDeadlineTimer deadline, const Known &known)
{
    const bool tlsRequired = known.record.offeredTls;
    const bool implicitTls = session->isEncrypted();
    int rc = session->readGreeting(deadline);
    if (!rc)
        rc = session->secureConnection(tlsRequired, [&] { return rememberOffer(known); });
    if (rc) {
        failFrom(*session, rc);
        refuse(session->lastTls(), known);
        if (tlsRequired && rc == int(Pop3Error::TlsFailed))
            m_lastFailureText += forgetHint(known.key);
        return int(Pop3Error::ConnectFailed);
    }
    if (!implicitTls && session->isEncrypted())
        noteCertificate(known, session->lastTls().fingerprint);
    session->setOctetCounter(&m_receivedOctets);
    const int handle = m_nextHandle;
    m_nextHandle = m_nextHandle == INT_MAX ? 1 : m_nextHandle + 1;
    m_sessions[handle] = std::move(session);
    return handle;
}

int Pop3Library::attachTransport(std::unique_ptr<Pop3Transport> transport, const QString &host)
{
    const QString key = serverKey(host).isEmpty() ? host : serverKey(host);
    Known known;
    if (!lookUp(key, &known))
        return int(Pop3Error::ConnectFailed);
    return addSession(std::make_unique<Pop3Session>(std::move(transport), host, m_replyTimeout),
        QDeadlineTimer(m_connectTimeout), known);
}

int Pop3Library::NMailInitializeWinSock()
{
    return 0;
}

int Pop3Library::NMailSetOption(int option, int value)
{
    if (option != 1 || value < 1)
        return -1;
    m_textBufferSize = value;
    return 0;
}

int Pop3Library::NMailPop3Connect(const QString &server)
{
    takeCertificateRefusal();
    // The server's text is read here once: the host and port connected to, and the key of its
    // records.
    const std::optional<ServerAddress> address = ServerAddress::parse(server, m_implicitTlsPort);
    releaseAborted();
    if (!address)
        return fail(Pop3Error::ConnectFailed,
            QStringLiteral("サーバー名「%1」の形式が正しくありません。").arg(server));
    // An abort from now until the greeting has come cuts this connection too.
    m_connections->beginConnect();
    const auto connectEnded = qScopeGuard([this] { m_connections->endConnect(); });
    // Read after beginConnect(): an abort before it is seen here, one after it cuts this
    // connection through the group.
    if (m_refusing.load()) {
        fail(Pop3Error::Aborted,
            QStringLiteral("サーバー %1 への接続を中止しました。").arg(address->host));
        return int(Pop3Error::ConnectFailed);
    }
    Known known;
    if (!lookUp(address->key(), &known))
        return int(Pop3Error::ConnectFailed);
    auto transport
        = std::make_unique<SocketTransport>(0, SocketTransport::HostLookup(), m_connections);
    transport->setPinnedCertificate(known.record.pinnedCertificate);
    QString text;
    // One deadline for the whole connection, the server's greeting included.
    const QDeadlineTimer deadline(m_connectTimeout);
    const auto opened = transport->open(
        address->host, address->port, address->implicitTls, m_extraCaPem, deadline, &text);
    // Cut during the handshake, the TLS layer sees only a closed connection.
    if (opened == SocketTransport::OpenResult::Aborted
        || (opened != SocketTransport::OpenResult::Ok && transport->isAborted())) {
        fail(Pop3Error::Aborted,
            QStringLiteral("サーバー %1 への接続を中止しました。").arg(address->host));
        return int(Pop3Error::ConnectFailed);
    }
    // A TLS port reached is an offer of TLS, whether the handshake passed or not.
    if (address->implicitTls
        && (opened == SocketTransport::OpenResult::Ok
            || opened == SocketTransport::OpenResult::TlsFailed)) {
        if (const QString unrecorded = rememberOffer(known); !unrecorded.isEmpty())
            return fail(Pop3Error::ConnectFailed, unrecorded);
    }
    if (opened == SocketTransport::OpenResult::TlsFailed)
        refuse(transport->lastTls(), known);
    if (opened != SocketTransport::OpenResult::Ok)
        return fail(Pop3Error::ConnectFailed, text);
    if (address->implicitTls)
        noteCertificate(known, transport->lastTls().fingerprint);
    return addSession(
        std::make_unique<Pop3Session>(std::move(transport), address->host, m_replyTimeout),
        deadline, known);
}

int Pop3Library::NMailPop3Authenticate(
    int handle, const QString &id, const QString &password, int apop)
{
    Pop3Session *s = session(handle);
    if (!s)
        return m_lastFailureCode;
    const int rc = s->authenticate(id, password, apop != 0);
    return rc < 0 ? failFrom(*s, rc) : rc;
}

int Pop3Library::fillHeaders(const QByteArray &message, std::span<char> subject,
    std::span<char> from, std::span<char> date, std::span<char> messageId)
{
    const MailHeaderFields fields = parseMailHeaders(message);
    const auto limit = [this](std::span<char> buffer) {
        return buffer.first(std::min(buffer.size(), size_t(m_textBufferSize)));
    };
    writeCutUtf8(limit(subject), fields.subject.toUtf8());
    writeCutUtf8(limit(from), fields.from.toUtf8());
    writeCutUtf8(limit(date), fields.date.toUtf8());
    writeCutUtf8(limit(messageId), fields.messageId.toUtf8());
    return 0;
}

int Pop3Library::NMailPop3GetMailStatus(int handle, int mailNo, std::span<char> subject,
    std::span<char> from, std::span<char> date, std::span<char> messageId, int /*flag*/)
{
    clearTexts({ subject, from, date, messageId });
    Pop3Session *s = session(handle);
    if (!s)
        return m_lastFailureCode;
    if (const int rc = s->retrieve(mailNo, false))
        return failFrom(*s, rc);
    return fillHeaders(s->messageHead(), subject, from, date, messageId);
}

int Pop3Library::NMailPop3GetMailSize(int handle, int mailNo)
{
    Pop3Session *s = session(handle);
    if (!s)
        return -1;
    const qint64 size = s->messageSize(mailNo);
    if (size < 0) {
        failFrom(*s, int(size));
        return -1;
    }
    if (size > INT_MAX) {
        fail(Pop3Error::MessageTooLarge,
            QStringLiteral("メッセージ %1 が大きすぎます（%2 バイト）。").arg(mailNo).arg(size));
        return -1;
    }
    return int(size);
}

int Pop3Library::NMailPop3GetMail(int handle, int mailNo, std::span<char> subject,
    std::span<char> from, std::span<char> date, std::span<char> messageId, std::span<char> body,
    int /*flag1*/, int /*flag2*/)
{
    clearTexts({ subject, from, date, messageId, body });
    Pop3Session *s = session(handle);
    if (!s)
        return m_lastFailureCode;
    if (const int rc = s->retrieve(mailNo, true))
        return failFrom(*s, rc);
    if (const int rc = s->readMessageInto(body))
        return failFrom(*s, rc);
    return fillHeaders(s->messageHead(), subject, from, date, messageId);
}

int Pop3Library::NMailGetMessage(int /*code*/, std::span<char> buffer, int *size)
{
    if (size && *size >= 0)
        buffer = buffer.first(std::min(buffer.size(), size_t(*size)));
    return int(writeCutUtf8(buffer, m_lastFailureText.toUtf8()));
}

int Pop3Library::NMailPop3Close(int handle)
{
    const auto it = m_sessions.find(handle);
    if (it == m_sessions.end())
        return int(Pop3Error::BadHandle);
    it->second->quit();
    m_sessions.erase(it);
    return 0;
}

int Pop3Library::NMailEndWinSock()
{
    releaseAborted();
    while (!m_sessions.empty())
        NMailPop3Close(m_sessions.begin()->first);
    return 0;
}

void Pop3Library::abortConnections()
{
    m_refusing.store(true);
    m_aborted.store(true);
    m_connections->abort();
}

void Pop3Library::allowConnections()
{
    m_refusing.store(false);
}

void Pop3Library::releaseAborted()
{
    if (!m_aborted.exchange(false))
        return;
    std::erase_if(m_sessions, [](const auto &entry) { return entry.second->isAborted(); });
}

qint64 Pop3Library::mailboxOctets(int handle)
{
    const auto it = m_sessions.find(handle);
    return it == m_sessions.end() ? -1 : it->second->mailboxOctets();
}

qint64 Pop3Library::receivedOctets() const
{
    return m_receivedOctets.load(std::memory_order_relaxed);
}
