#include "mail/pop3library.h"

#include "mail/pop3headers.h"
#include "mail/pop3session.h"
#include "mail/sockettransport.h"

#include <QCryptographicHash>
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

struct ServerAddress {
    QString host;
    quint16 port = Pop3Library::DefaultPort;
    bool valid = false;
};

bool parsePort(QStringView text, quint16 *port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535 || !text.front().isDigit())
        return false;
    *port = quint16(value);
    return true;
}

// "host", "host:port", "[v6]" or "[v6]:port"; a bare IPv6 address (several colons) is a host.
ServerAddress parseServer(const QString &server)
{
    ServerAddress address;
    const QString text = TrimAtNul(server).trimmed();
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return address;
        address.host = text.mid(1, close - 1);
        const QStringView rest = QStringView(text).sliced(close + 1);
        if (!rest.isEmpty()
            && (!rest.startsWith(u':') || !parsePort(rest.sliced(1), &address.port)))
            return address;
    } else if (text.count(u':') == 1) {
        const qsizetype colon = text.indexOf(u':');
        address.host = text.left(colon);
        if (!parsePort(QStringView(text).sliced(colon + 1), &address.port))
            return address;
    } else {
        address.host = text;
    }
    address.valid = !address.host.isEmpty();
    return address;
}

} // namespace

QString serverKey(const QString &server)
{
    const ServerAddress address = parseServer(server);
    if (!address.valid)
        return {};
    const QString host = address.host.toLower();
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(address.port);
}

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
    return m_trust && m_trust->pin(refusal.server, refusal.certificate);
}

void Pop3Library::refuse(
    const QString &server, const Pop3Transport::TlsResult &tls, const QByteArray &pinned)
{
    if (tls.refused.isNull())
        return;
    CertificateRefusal refusal { server, tls.refused, tls.reasons, {} };
    if (!pinned.isEmpty() && pinned != tls.refused.digest(QCryptographicHash::Sha256))
        refusal.pinnedFingerprint = pinned;
    std::lock_guard lock(m_refusalMutex);
    m_refusal = std::move(refusal);
}

QString Pop3Library::forgetHint(const QString &server) const
{
    return QStringLiteral("このサーバーを忘れてよいときは、%1 から「%2」の行を削除してください。")
        .arg(m_trust->tlsServersFile(), server);
}

int Pop3Library::addSession(std::unique_ptr<Pop3Session> session, QDeadlineTimer deadline,
    const QString &server, bool tlsRequired, const QByteArray &pinned)
{
    int rc = session->readGreeting(deadline);
    if (!rc)
        rc = session->secureConnection(tlsRequired);
    if (rc) {
        failFrom(*session, rc);
        refuse(server, session->tlsFailure(), pinned);
        if (tlsRequired && rc == int(Pop3Error::TlsFailed))
            m_lastFailureText += forgetHint(server);
        return int(Pop3Error::ConnectFailed);
    }
    session->setOctetCounter(&m_receivedOctets);
    if (m_trust && !tlsRequired && session->isEncrypted())
        m_trust->rememberTls(server);
    const int handle = m_nextHandle;
    m_nextHandle = m_nextHandle == INT_MAX ? 1 : m_nextHandle + 1;
    m_sessions[handle] = std::move(session);
    return handle;
}

int Pop3Library::attachTransport(std::unique_ptr<Pop3Transport> transport, const QString &host)
{
    const QString key = serverKey(host).isEmpty() ? host : serverKey(host);
    const bool tlsRequired = m_trust && m_trust->offeredTlsBefore(key);
    return addSession(std::make_unique<Pop3Session>(std::move(transport), host, m_replyTimeout),
        QDeadlineTimer(m_connectTimeout), key, tlsRequired, {});
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
    const ServerAddress address = parseServer(server);
    releaseAborted();
    if (!address.valid)
        return fail(Pop3Error::ConnectFailed,
            QStringLiteral("サーバー名「%1」の形式が正しくありません。").arg(server));
    // An abort from now until the greeting has come cuts this connection too.
    m_connections->beginConnect();
    const auto connectEnded = qScopeGuard([this] { m_connections->endConnect(); });
    // Read after beginConnect(): an abort before it is seen here, one after it cuts this
    // connection through the group.
    if (m_refusing.load()) {
        fail(Pop3Error::Aborted,
            QStringLiteral("サーバー %1 への接続を中止しました。").arg(address.host));
        return int(Pop3Error::ConnectFailed);
    }
    const QString key = serverKey(server);
    const bool tlsRequired = m_trust && m_trust->offeredTlsBefore(key);
    const QByteArray pinned = m_trust ? m_trust->pinnedCertificate(key) : QByteArray();
    auto transport
        = std::make_unique<SocketTransport>(0, SocketTransport::HostLookup(), m_connections);
    transport->setPinnedCertificate(pinned);
    QString text;
    // One deadline for the whole connection, the server's greeting included.
    const QDeadlineTimer deadline(m_connectTimeout);
    const auto opened = transport->open(address.host, address.port,
        address.port == m_implicitTlsPort, m_extraCaPem, deadline, &text);
    // Cut during the handshake, the TLS layer sees only a closed connection.
    if (opened == SocketTransport::OpenResult::Aborted
        || (opened != SocketTransport::OpenResult::Ok && transport->isAborted())) {
        fail(Pop3Error::Aborted,
            QStringLiteral("サーバー %1 への接続を中止しました。").arg(address.host));
        return int(Pop3Error::ConnectFailed);
    }
    if (opened == SocketTransport::OpenResult::TlsFailed)
        refuse(key, transport->lastTls(), pinned);
    if (opened != SocketTransport::OpenResult::Ok)
        return fail(Pop3Error::ConnectFailed, text);
    return addSession(
        std::make_unique<Pop3Session>(std::move(transport), address.host, m_replyTimeout), deadline,
        key, tlsRequired, pinned);
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
