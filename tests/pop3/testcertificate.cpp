// SPDX-License-Identifier: GPL-3.0-or-later
#include "testcertificate.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

TestCertificate makeTestCertificate(const QString &commonName, const QString &altNames)
{
    TestCertificate result;
    QTemporaryDir dir;
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        { "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-days", "2", "-subj", "/CN=" + commonName, "-addext", "subjectAltName=" + altNames,
            "-keyout", dir.filePath("key.pem"), "-out", dir.filePath("cert.pem") });
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        result.error = QStringLiteral("openssl failed: %1 %2")
                           .arg(openssl.errorString(),
                               QString::fromLocal8Bit(openssl.readAllStandardError()));
        return result;
    }
    QFile cert(dir.filePath("cert.pem"));
    QFile key(dir.filePath("key.pem"));
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("openssl wrote no files");
        return result;
    }
    result.certificate = QSslCertificate(cert.readAll(), QSsl::Pem);
    result.key = QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem);
    if (result.certificate.isNull() || result.key.isNull())
        result.error = QStringLiteral("could not load the certificate made by openssl");
    return result;
}
