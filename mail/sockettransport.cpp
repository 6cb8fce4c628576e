#include "mail/sockettransport.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <algorithm>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

namespace {

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
// and the answer waited for only until the deadline; a late answer is dropped.
std::optional<QHostInfo> lookUpWithin(
    const SocketTransport::HostLookup &lookup, const QString &host, QDeadlineTimer deadline)
{
    auto answer = std::make_shared<std::promise<QHostInfo>>();
    std::future<QHostInfo> result = answer->get_future();
    std::thread([lookup, host, answer] { answer->set_value(lookup(host)); }).detach();
    if (result.wait_for(std::chrono::milliseconds(waitMs(deadline))) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

} // namespace

SocketTransport::SocketTransport(qint64 readBufferSize, HostLookup lookup)
    : m_socket(std::make_unique<QSslSocket>())
    , m_lookup(lookup ? std::move(lookup) : HostLookup(&QHostInfo::fromName))
{
    m_socket->setReadBufferSize(readBufferSize);
    // Called within the handshake, before it is given up: the pinned certificate, and only it,
    // passes despite the errors its pinning overrides.
    QObject::connect(m_socket.get(), &QSslSocket::sslErrors, m_socket.get(),
        [this](const QList<QSslError> &errors) {
            m_peer = m_socket->peerCertificate();
            if (!m_pinned.isEmpty() && allPinnable(errors)
                && m_peer.digest(QCryptographicHash::Sha256) == m_pinned)
                m_socket->ignoreSslErrors();
        });
}

SocketTransport::~SocketTransport()
{
    close();
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
        const std::optional<QHostInfo> info = lookUpWithin(m_lookup, host, deadline);
        if (!info)
            return timedOut();
        addresses = info->addresses();
        if (info->error() != QHostInfo::NoError || addresses.isEmpty()) {
            *failureText = QStringLiteral("サーバー %1 が見つかりません。").arg(host);
            return OpenResult::Failed;
        }
    }

    if (!connectTo(addresses, host, port, implicitTls, deadline)) {
        const QAbstractSocket::SocketError error = m_socket->error();
        const QString errorString = m_socket->errorString();
        m_socket->abort();
        if (deadline.hasExpired() || error == QAbstractSocket::SocketTimeoutError)
            return timedOut();
        if (error == QAbstractSocket::ConnectionRefusedError)
            *failureText = QStringLiteral("サーバー %1 のポート %2 に接続を拒否されました。")
                               .arg(host)
                               .arg(port);
        else
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

// Each address in turn, as the name's owner listed them, until one accepts.
bool SocketTransport::connectTo(const QList<QHostAddress> &addresses, const QString &host,
    quint16 port, bool implicitTls, QDeadlineTimer deadline)
{
    for (const QHostAddress &address : addresses) {
        m_socket->abort();
        // The certificate is checked against the name asked for, not the address.
        if (implicitTls)
            m_socket->connectToHostEncrypted(address.toString(), port, host);
        else
            m_socket->connectToHost(address, port);
        if (m_socket->waitForConnected(waitMs(deadline)))
            return true;
        if (deadline.hasExpired())
            return false;
    }
    return false;
}

qint64 SocketTransport::read(char *data, qint64 maxSize, QDeadlineTimer deadline)
{
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
    if (m_socket->state() != QAbstractSocket::ConnectedState)
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
    if (m_socket->waitForEncrypted(waitMs(deadline))) {
        result.ok = true;
        return result;
    }
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
    if (m_socket->state() != QAbstractSocket::UnconnectedState) {
        m_socket->disconnectFromHost();
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->abort();
    }
}
