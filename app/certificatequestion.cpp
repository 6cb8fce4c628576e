// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/certificatequestion.h"

#include <QDateTime>

namespace {

// "CN=..., O=..., C=..." from the attributes a person reads; empty ones left out.
QString distinguishedName(const QSslCertificate &certificate, bool issuer)
{
    static const std::pair<QSslCertificate::SubjectInfo, const char *> parts[] = {
        { QSslCertificate::CommonName, "CN" },
        { QSslCertificate::OrganizationalUnitName, "OU" },
        { QSslCertificate::Organization, "O" },
        { QSslCertificate::LocalityName, "L" },
        { QSslCertificate::StateOrProvinceName, "ST" },
        { QSslCertificate::CountryName, "C" },
    };
    QStringList names;
    for (const auto &[info, label] : parts) {
        const QStringList values
            = issuer ? certificate.issuerInfo(info) : certificate.subjectInfo(info);
        for (const QString &value : values)
            names << QStringLiteral("%1=%2").arg(QLatin1String(label), value);
    }
    return names.isEmpty() ? QStringLiteral("（なし）") : names.join(QStringLiteral(", "));
}

QString shownDate(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm"))
                          : QStringLiteral("（不明）");
}

} // namespace

QString certificateQuestion(const CertificateRefusal &refusal)
{
    const QSslCertificate &c = refusal.certificate;
    const QString reasons = refusal.reasons.join(QStringLiteral("、"));
    QString text;
    if (refusal.changed()) {
        text = QStringLiteral("サーバー %1 の証明書が、前回のチェックのときから変わっています。"
                              "別のサーバーがなりすましているおそれがあります。\n"
                              "今回の証明書の問題：%2。\n\n"
                              "前回の証明書の SHA-256 指紋：\n%3\n"
                              "今回の証明書の SHA-256 指紋：\n%4\n\n")
                   .arg(refusal.server, reasons, formatFingerprint(refusal.previousFingerprint),
                       formatFingerprint(refusal.fingerprint));
    } else {
        text = QStringLiteral("サーバー %1 の証明書に問題があります：%2。\n\n"
                              "SHA-256 指紋：\n%3\n\n")
                   .arg(refusal.server, reasons, formatFingerprint(refusal.fingerprint));
    }
    text += QStringLiteral("発行先：%1\n発行者：%2\n有効期間：%3 から %4 まで\n\n")
                .arg(distinguishedName(c, false), distinguishedName(c, true),
                    shownDate(c.effectiveDate()), shownDate(c.expiryDate()));
    text += refusal.changed() ? QStringLiteral("このサーバーについて、新しい証明書を信頼しますか？")
                              : QStringLiteral("このサーバーについて、この証明書を信頼しますか？");
    text += QStringLiteral("\n「いいえ」ならパスワードを送らずにチェックを終えます。"
                           "指紋はサーバーの管理者に確かめてください。");
    return text;
}
