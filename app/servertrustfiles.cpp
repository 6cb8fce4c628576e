#include "app/servertrustfiles.h"

ServerTrustFiles::ServerTrustFiles(const QString &folder)
    : m_records(folder)
{
}

bool ServerTrustFiles::offeredTlsBefore(const QString &server)
{
    return m_records.offeredTls(server);
}

// A record that cannot be written is not told: the check goes on as it would have without it.
void ServerTrustFiles::rememberTls(const QString &server)
{
    m_records.rememberTls(server);
}

QByteArray ServerTrustFiles::pinnedCertificate(const QString &server)
{
    return m_records.pinnedFingerprint(server);
}

bool ServerTrustFiles::pin(const QString &server, const QSslCertificate &certificate)
{
    return m_records.pin(server, certificate.digest(QCryptographicHash::Sha256)).ok();
}

QString ServerTrustFiles::tlsServersFile()
{
    return m_records.tlsServersFile();
}
