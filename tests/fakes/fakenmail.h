// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A POP3 library that records every call, one line each, and answers from a script. Recording
// is safe from any thread (abortConnections comes from the window's while another call is held
// on the library's); mailboxOctets() and receivedOctets() are not recorded: they ask for the
// progress, and the window polls the second.
#include "mail/nmail.h"

#include <QList>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>

class FakeNMail : public NMailApi {
public:
    int connectResult = 7;
    int authenticateResult = 0;
    QList<int> sizes; // per message, from 1; missing ones give -1
    QByteArray failureText = "-ERR login refused";
    QByteArray bodyText = "Subject: hi\r\n\r\nbody\r\n";
    qint64 mailboxOctetsResult = -1;
    std::atomic<qint64> received { 0 }; // what receivedOctets() answers
    QStringList calls;
    QList<qsizetype> bodyBufferSizes;
    // Runs on the thread that makes the call, once it is recorded: a test can hold it there.
    std::function<void(const QString &call)> onCall;

    int NMailInitializeWinSock() override { return log("InitializeWinSock"), 0; }
    int NMailSetOption(int option, int value) override
    {
        return log(QStringLiteral("SetOption %1 %2").arg(option).arg(value)), 0;
    }
    int NMailPop3Connect(const QString &server) override
    {
        log(QStringLiteral("Connect %1").arg(server));
        return connectResult;
    }
    int NMailPop3Authenticate(
        int handle, const QString &id, const QString &password, int apop) override
    {
        log(QStringLiteral("Authenticate %1 %2 %3 %4").arg(handle).arg(id, password).arg(apop));
        return authenticateResult;
    }
    int NMailPop3GetMailStatus(int handle, int mailNo, std::span<char> subject,
        std::span<char> from, std::span<char> date, std::span<char> messageId, int flag) override
    {
        log(QStringLiteral("GetMailStatus %1 %2 %3 %4")
                .arg(handle)
                .arg(mailNo)
                .arg(sizes4(subject, from, date, messageId))
                .arg(flag));
        return 0;
    }
    int NMailPop3GetMailSize(int handle, int mailNo) override
    {
        log(QStringLiteral("GetMailSize %1 %2").arg(handle).arg(mailNo));
        return mailNo >= 1 && mailNo <= sizes.size() ? sizes[mailNo - 1] : -1;
    }
    int NMailPop3GetMail(int handle, int mailNo, std::span<char> subject, std::span<char> from,
        std::span<char> date, std::span<char> messageId, std::span<char> body, int flag1,
        int flag2) override
    {
        log(QStringLiteral("GetMail %1 %2 %3 %4 %5")
                .arg(handle)
                .arg(mailNo)
                .arg(sizes4(subject, from, date, messageId))
                .arg(flag1)
                .arg(flag2));
        bodyBufferSizes.append(qsizetype(body.size()));
        if (!body.empty()) {
            const size_t n = std::min(body.size() - 1, size_t(bodyText.size()));
            std::memcpy(body.data(), bodyText.constData(), n);
            body[n] = '\0';
        }
        return 0;
    }
    int NMailGetMessage(int code, std::span<char> buffer, int *size) override
    {
        log(QStringLiteral("GetMessage %1 %2 %3").arg(code).arg(buffer.size()).arg(*size));
        const size_t n = std::min(buffer.size(), size_t(failureText.size()));
        std::memcpy(buffer.data(), failureText.constData(), n);
        return 0;
    }
    int NMailPop3Close(int handle) override
    {
        return log(QStringLiteral("Close %1").arg(handle)), 0;
    }
    int NMailEndWinSock() override { return log("EndWinSock"), 0; }
    void abortConnections() override { log(QStringLiteral("abortConnections")); }
    // Not recorded: every check makes it before its connect.
    void allowConnections() override { ++allowed; }
    std::atomic<int> allowed { 0 };
    qint64 mailboxOctets(int handle) override
    {
        (void)handle;
        return mailboxOctetsResult;
    }
    qint64 receivedOctets() const override { return received.load(); }
    // The refusals the next connections leave, one each, and whether trusting one is recorded.
    QList<CertificateRefusal> refusals;
    bool trustResult = true;
    std::optional<CertificateRefusal> takeCertificateRefusal() override
    {
        const std::lock_guard lock(m_mutex);
        if (refusals.isEmpty())
            return std::nullopt;
        return refusals.takeFirst();
    }
    bool trustCertificate(const CertificateRefusal &refusal) override
    {
        log(QStringLiteral("trustCertificate %1").arg(refusal.server));
        return trustResult;
    }

    // The calls so far, read under the recording's lock.
    QStringList recorded() const
    {
        const std::lock_guard lock(m_mutex);
        return calls;
    }

private:
    void log(const QString &line)
    {
        {
            const std::lock_guard lock(m_mutex);
            calls.append(line);
        }
        if (onCall)
            onCall(line);
    }

    mutable std::mutex m_mutex;
    static QString sizes4(
        std::span<char> a, std::span<char> b, std::span<char> c, std::span<char> d)
    {
        return QStringLiteral("%1 %2 %3 %4")
            .arg(a.size())
            .arg(b.size())
            .arg(c.size())
            .arg(d.size());
    }
};
