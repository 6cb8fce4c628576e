#pragma once
// The POP3 library's ServerTrust over the user's two record files (settings/serverrecords.h).
// The records are thread-safe themselves: the library's thread asks and remembers during a
// check, the window's thread pins after the user's yes.
#include "mail/servertrust.h"
#include "settings/serverrecords.h"

class ServerTrustFiles final : public ServerTrust {
public:
    ServerTrustFiles() = default; // the user's state folder
    explicit ServerTrustFiles(const QString &folder);

    ServerRecords &records() { return m_records; }

    bool offeredTlsBefore(const QString &server) override;
    void rememberTls(const QString &server) override;
    QByteArray pinnedCertificate(const QString &server) override;
    bool pin(const QString &server, const QSslCertificate &certificate) override;
    QString tlsServersFile() override;

private:
    ServerRecords m_records;
};
