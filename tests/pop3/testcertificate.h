// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A self-signed certificate and key made at test time with the openssl command, e.g.
//   openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2
//           -subj /CN=<name> -addext subjectAltName=<names> -keyout key.pem -out cert.pem
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

struct TestCertificate {
    QSslCertificate certificate;
    QSslKey key;
    QString error; // why none could be made
};

// altNames in openssl's form, e.g. "IP:127.0.0.1,DNS:localhost".
TestCertificate makeTestCertificate(const QString &commonName, const QString &altNames);
