// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/sockettransport.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <net/if.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// The longest a wait that no socket wakes goes on after an abort.
constexpr int AbortSliceMs = 25;

int waitMs(const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    return left < 0 ? 0 : int(std::min<qint64>(left, std::numeric_limits<int>::max()));
}

QString describeSslError(const QSslError &error)
{
    switch (error.error()) {
    case QSslError::HostNameMismatch:
        return QStringLiteral("証明書の名前が接続先のサーバー名と一致しません");
    case QSslError::SelfSignedCertificate:
        return QStringLiteral("証明書が自己署名で、信頼されていません");
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("証明書の発行者が信頼されていません");
    case QSslError::CertificateExpired:
        return QStringLiteral("証明書の有効期限が切れています");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("証明書の有効期間がまだ始まっていません");
    case QSslError::CertificateRevoked:
        return QStringLiteral("証明書が失効しています");
    case QSslError::CertificateSignatureFailed:
    case QSslError::CertificateRejected:
        return QStringLiteral("証明書の署名が正しくありません");
    case QSslError::NoPeerCertificate:
        return QStringLiteral("サーバーが証明書を送ってきません");
    default:
        return QStringLiteral("証明書を検証できません（%1）").arg(error.errorString());
    }
}

// The errors that the user's trust in one certificate for one server may override: who signed
// it, which name it carries and when it is valid. Revocation and bad signatures never are.
bool isPinnable(QSslError::SslError error)
{
    switch (error) {
    case QSslError::HostNameMismatch:
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateExpired:
    case QSslError::CertificateNotYetValid:
        return true;
    default:
        return false;
    }
}

bool allPinnable(const QList<QSslError> &errors)
{
    return !errors.isEmpty() && std::all_of(errors.begin(), errors.end(), [](const QSslError &e) {
        return isPinnable(e.error());
    });
}

// The system's resolver has time-outs of its own, often longer than the connection's, and
// QAbstractSocket would wait for them in full. So the name is looked up on a thread of its own,
// and the answer waited for only until the deadline or an abort; a late answer is dropped.
std::optional<QHostInfo> lookUpWithin(const SocketTransport::HostLookup &lookup,
    const QString &host, QDeadlineTimer deadline, const std::atomic<bool> &aborted)
{
    auto answer = std::make_shared<std::promise<QHostInfo>>();
    std::future<QHostInfo> result = answer->get_future();
    std::thread([lookup, host, answer] { answer->set_value(lookup(host)); }).detach();
    while (result.wait_for(std::chrono::milliseconds(std::min(AbortSliceMs, waitMs(deadline))))
        != std::future_status::ready) {
        if (aborted.load() || deadline.hasExpired())
            return std::nullopt;
    }
    return result.get();
}

bool toSockaddr(
    const QHostAddress &address, quint16 port, sockaddr_storage *storage, socklen_t *length)
{
    std::memset(storage, 0, sizeof *storage);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in = reinterpret_cast<sockaddr_in *>(storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        *length = sizeof *in;
        return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        if (const QString scope = address.scopeId(); !scope.isEmpty()) {
            bool numeric = false;
            const uint index = scope.toUInt(&numeric);
            in6->sin6_scope_id = numeric ? index : if_nametoindex(scope.toLatin1().constData());
        }
        *length = sizeof *in6;
        return true;
    }
    return false;
}

} // namespace

// --- The group ---------------------------------------------------------------------------------

void ConnectionGroup::abort()
{
    const std::lock_guard lock(m_mutex);
    if (m_connecting)
        m_connectAborted = true;
    for (SocketTransport *member : m_members) {
        member->m_aborted.store(true);
        if (member->m_watch >= 0)
            ::shutdown(member->m_watch, SHUT_RDWR);
    }
}

void ConnectionGroup::beginConnect()
{
    const std::lock_guard lock(m_mutex);
    m_connecting = true;
    m_connectAborted = false;
}

void ConnectionGroup::endConnect()
{
    const std::lock_guard lock(m_mutex);
    m_connecting = false;
    m_connectAborted = false;
}

void ConnectionGroup::join(SocketTransport *member)
{
    const std::lock_guard lock(m_mutex);
    m_members.push_back(member);
    if (m_connectAborted)
        member->m_aborted.store(true);
}

void ConnectionGroup::leave(SocketTransport *member)
{
    const std::lock_guard lock(m_mutex);
    std::erase(m_members, member);
}

void ConnectionGroup::watch(SocketTransport *member, int descriptor)
{
    const std::lock_guard lock(m_mutex);
    if (member->m_watch >= 0)
        ::close(member->m_watch);
    member->m_watch = descriptor >= 0 ? ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0) : -1;
    // An abort that came before the watch finds the socket shut down all the same.
    if (member->m_watch >= 0 && member->m_aborted.load())
        ::shutdown(member->m_watch, SHUT_RDWR);
}

// --- The transport -----------------------------------------------------------------------------

SocketTransport::SocketTransport(
    qint64 readBufferSize, HostLookup lookup, std::shared_ptr<ConnectionGroup> group)
    : m_socket(std::make_unique<QSslSocket>())
    , m_lookup(lookup ? std::move(lookup) : HostLookup(&QHostInfo::fromName))
    , m_group(std::move(group))
{
    m_socket->setReadBufferSize(readBufferSize);
    if (m_group)
        m_group->join(this);
    // Called within the handshake, before it is given up: the pinned certificate, and only it,
    // passes despite the errors its pinning overrides.
    QObject::connect(m_socket.get(), &QSslSocket::sslErrors, m_socket.get(),
        [this](const QList<QSslError> &errors) {
            m_peer = m_socket->peerCertificate();
            m_peerDigest
                = m_peer.isNull() ? QByteArray() : m_peer.digest(QCryptographicHash::Sha256);
            if (!m_pinned.isEmpty() && allPinnable(errors) && m_peerDigest == m_pinned)
                m_socket->ignoreSslErrors();
        });
}

SocketTransport::~SocketTransport()
{
    close();
    if (m_group)
        m_group->leave(this);
}

void SocketTransport::setWatched(int descriptor)
{
    if (m_group)
        m_group->watch(this, descriptor);
}

SocketTransport::OpenResult SocketTransport::open(const QString &host, quint16 port,
    bool implicitTls, const QByteArray &extraCaPem, QDeadlineTimer deadline, QString *failureText)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (!extraCaPem.isEmpty())
        config.addCaCertificates(QSslCertificate::fromData(extraCaPem, QSsl::Pem));
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_socket->setSslConfiguration(config);
    m_socket->setPeerVerifyName(host);

    const auto timedOut = [&] {
        *failureText = QStringLiteral("サーバー %1 への接続が時間切れになりました。").arg(host);
        return OpenResult::TimedOut;
    };
    QList<QHostAddress> addresses;
    if (QHostAddress literal; literal.setAddress(host)) {
        addresses.append(literal);
    } else {
        const std::optional<QHostInfo> info = lookUpWithin(m_lookup, host, deadline, m_aborted);
        if (!info && m_aborted.load()) {
            *failureText = QStringLiteral("サーバー %1 への接続を中止しました。").arg(host);
            return OpenResult::Aborted;
        }
        if (!info)
            return timedOut();
        addresses = info->addresses();
        if (info->error() != QHostInfo::NoError || addresses.isEmpty()) {
            *failureText = QStringLiteral("サーバー %1 が見つかりません。").arg(host);
            return OpenResult::Failed;
        }
    }

    QString errorString;
    switch (connectTo(addresses, port, implicitTls, deadline, &errorString)) {
    case ConnectResult::Connected:
        break;
    case ConnectResult::TimedOut:
        return timedOut();
    case ConnectResult::Aborted:
        *failureText = QStringLiteral("サーバー %1 への接続を中止しました。").arg(host);
        return OpenResult::Aborted;
    case ConnectResult::Refused:
        *failureText = QStringLiteral("サーバー %1 のポート %2 に接続を拒否されました。")
                           .arg(host)
                           .arg(port);
        return OpenResult::Failed;
    case ConnectResult::Failed:
        *failureText
            = QStringLiteral("サーバー %1 に接続できません（%2）。").arg(host, errorString);
        return OpenResult::Failed;
    }
    if (implicitTls) {
        const TlsResult tls = finishHandshake(deadline);
        if (!tls.ok) {
            *failureText = tls.failureText;
            return OpenResult::TlsFailed;
        }
    }
    return OpenResult::Ok;
}

// Each address in turn, as the name's owner listed them, until one accepts. The last address's
// failure is the one told.
SocketTransport::ConnectResult SocketTransport::connectTo(const QList<QHostAddress> &addresses,
    quint16 port, bool implicitTls, QDeadlineTimer deadline, QString *errorText)
{
    ConnectResult result = ConnectResult::Failed;
    int error = 0;
    for (const QHostAddress &address : addresses) {
        m_socket->abort();
        setWatched(-1);
        const int descriptor = connectOne(address, port, deadline, &result, &error);
        if (descriptor >= 0) {
            // The socket takes the descriptor over. The certificate is checked against the name
            // asked for (the peer verify name), not the address.
            if (!m_socket->setSocketDescriptor(descriptor)) {
                ::close(descriptor);
                setWatched(-1);
                *errorText = m_socket->errorString();
                return ConnectResult::Failed;
            }
            if (implicitTls)
                m_socket->startClientEncryption();
            return ConnectResult::Connected;
        }
        setWatched(-1);
        if (result == ConnectResult::TimedOut || result == ConnectResult::Aborted)
            return result;
    }
    *errorText = qt_error_string(error);
    return result;
}

// One connect, waited for in slices so that an abort ends it in a moment: the connected
// descriptor, or -1 with the result and the system's error.
int SocketTransport::connectOne(const QHostAddress &address, quint16 port, QDeadlineTimer deadline,
    ConnectResult *result, int *error)
{
    sockaddr_storage storage;
    socklen_t length = 0;
    if (!toSockaddr(address, port, &storage, &length)) {
        *result = ConnectResult::Failed;
        *error = EAFNOSUPPORT;
        return -1;
    }
    const int descriptor
        = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (descriptor < 0) {
        *result = ConnectResult::Failed;
        *error = errno;
        return -1;
    }
    setWatched(descriptor);
    const auto fail = [&](ConnectResult why, int code) {
        ::close(descriptor);
        *result = why;
        *error = code;
        return -1;
    };
    if (::connect(descriptor, reinterpret_cast<const sockaddr *>(&storage), length) != 0
        && errno != EINPROGRESS)
        return fail(errno == ECONNREFUSED ? ConnectResult::Refused : ConnectResult::Failed, errno);
    for (;;) {
        if (m_aborted.load())
            return fail(ConnectResult::Aborted, ECANCELED);
        if (deadline.hasExpired())
            return fail(ConnectResult::TimedOut, ETIMEDOUT);
        pollfd waiting { descriptor, POLLOUT, 0 };
        const int ready = ::poll(&waiting, 1, std::min(AbortSliceMs, waitMs(deadline)));
        if (ready > 0)
            break;
        if (ready < 0 && errno != EINTR)
            return fail(ConnectResult::Failed, errno);
    }
    int code = 0;
    socklen_t codeSize = sizeof code;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &code, &codeSize) != 0)
        code = errno;
    if (m_aborted.load())
        return fail(ConnectResult::Aborted, ECANCELED);
    if (code == ECONNREFUSED)
        return fail(ConnectResult::Refused, code);
    if (code == ETIMEDOUT)
        return fail(ConnectResult::TimedOut, code);
    if (code != 0)
        return fail(ConnectResult::Failed, code);
    return descriptor;
}

qint64 SocketTransport::read(char *data, qint64 maxSize, QDeadlineTimer deadline)
{
    // What came before the abort is dropped with the rest.
    if (m_aborted.load())
        return Closed;
    while (m_socket->bytesAvailable() <= 0) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return Closed;
        if (deadline.hasExpired())
            return TimedOut;
        if (!m_socket->waitForReadyRead(waitMs(deadline))) {
            if (m_socket->bytesAvailable() > 0)
                break;
            if (m_socket->state() == QAbstractSocket::ConnectedState
                && m_socket->error() == QAbstractSocket::SocketTimeoutError)
                return TimedOut;
            if (m_socket->state() != QAbstractSocket::ConnectedState)
                return Closed;
            if (deadline.hasExpired())
                return TimedOut;
        }
    }
    const qint64 got = m_socket->read(data, maxSize);
    return got > 0 ? got : Closed;
}

bool SocketTransport::write(QByteArrayView data, QDeadlineTimer deadline)
{
    if (m_aborted.load() || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    if (m_socket->write(data.data(), data.size()) != data.size())
        return false;
    while (m_socket->bytesToWrite() > 0 || m_socket->encryptedBytesToWrite() > 0) {
        if (deadline.hasExpired() || !m_socket->waitForBytesWritten(waitMs(deadline)))
            return m_socket->bytesToWrite() == 0 && m_socket->encryptedBytesToWrite() == 0;
    }
    return true;
}

SocketTransport::TlsResult SocketTransport::startTls(QDeadlineTimer deadline)
{
    // Whatever the server sent after its reply to STLS came in plain text: an attacker may have
    // put it there, so it must never be read as if it had come through the encrypted channel.
    m_socket->readAll();
    m_socket->startClientEncryption();
    return finishHandshake(deadline);
}

SocketTransport::TlsResult SocketTransport::finishHandshake(QDeadlineTimer deadline)
{
    TlsResult &result = m_lastTls;
    result = TlsResult();
    m_peer.clear();
    m_peerDigest.clear();
    if (m_socket->waitForEncrypted(waitMs(deadline))) {
        result.ok = true;
        // Without errors, the certificate was not looked at yet.
        if (m_peerDigest.isEmpty())
            if (const QSslCertificate peer = m_socket->peerCertificate(); !peer.isNull())
                m_peerDigest = peer.digest(QCryptographicHash::Sha256);
        result.fingerprint = m_peerDigest;
        return result;
    }
    result.fingerprint = m_peerDigest;
    const QList<QSslError> errors = m_socket->sslHandshakeErrors();
    QStringList reasons;
    for (const QSslError &error : errors)
        reasons << describeSslError(error);
    reasons.removeDuplicates();
    if (allPinnable(errors) && !m_peer.isNull()) {
        result.refused = m_peer;
        result.reasons = reasons;
    }
    if (!reasons.isEmpty())
        result.failureText = QStringLiteral("TLS で安全に接続できません：%1。")
                                 .arg(reasons.join(QStringLiteral("、")));
    else if (deadline.hasExpired())
        result.failureText = QStringLiteral("TLS の接続準備が時間切れになりました。");
    else
        result.failureText
            = QStringLiteral("TLS で安全に接続できません（%1）。").arg(m_socket->errorString());
    m_socket->abort();
    return result;
}

bool SocketTransport::isEncrypted() const
{
    return m_socket->isEncrypted();
}

void SocketTransport::close()
{
    // The watch goes first: while it is open, the connection outlives the socket's descriptor.
    setWatched(-1);
    if (m_socket->state() != QAbstractSocket::UnconnectedState) {
        m_socket->disconnectFromHost();
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->abort();
    }
}
