// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchcheck.h"

#include "mail/checkmail.h"

#include <QFile>

#include <algorithm>
#include <cstring>

CheckOutcome BenchLibrary::runCheck(const QString &server, const QString &user,
    const QString &password, const CheckObserver &observer)
{
    m_outcome = {};
    m_observer = observer;
    NMailSetOption(1, NMailApi::BufferSize);
    MailCheck check(*this, server, false);
    if (!check.connect()) {
        m_outcome.error = QStringLiteral("connect: ") + lastFailureText();
        return m_outcome;
    }
    m_outcome.count = check.authenticate(user, password);
    if (m_outcome.count < 0) {
        m_outcome.error = QStringLiteral("login: ") + lastFailureText();
        check.close();
        return m_outcome;
    }
    m_outcome.ok = true;
    for (int n = 1; n <= m_outcome.count; ++n)
        check.fetch(n);
    check.close();
    m_observer = {};
    return m_outcome;
}

int BenchLibrary::NMailPop3Connect(const QString &server)
{
    return m_connect ? m_connect(*this) : Pop3Library::NMailPop3Connect(server);
}

int BenchLibrary::NMailPop3GetMailStatus(int handle, int mailNo, std::span<char> subject,
    std::span<char> from, std::span<char> date, std::span<char> messageId, int flag)
{
    const int result
        = Pop3Library::NMailPop3GetMailStatus(handle, mailNo, subject, from, date, messageId, flag);
    if (result != 0)
        fail(QStringLiteral("status"), mailNo);
    if (m_observer)
        m_observer(mailNo, 0, CheckStep::Status, {});
    return result;
}

int BenchLibrary::NMailPop3GetMailSize(int handle, int mailNo)
{
    m_size = Pop3Library::NMailPop3GetMailSize(handle, mailNo);
    m_outcome.largestSize = std::max(m_outcome.largestSize, m_size);
    return m_size;
}

int BenchLibrary::NMailPop3GetMail(int handle, int mailNo, std::span<char> subject,
    std::span<char> from, std::span<char> date, std::span<char> messageId, std::span<char> body,
    int flag1, int flag2)
{
    // The check has made the body buffer for the size by now.
    if (m_observer)
        m_observer(mailNo, m_size, CheckStep::SizeAndBuffer, {});
    const int result = Pop3Library::NMailPop3GetMail(
        handle, mailNo, subject, from, date, messageId, body, flag1, flag2);
    if (result != 0)
        fail(QStringLiteral("mail"), mailNo);
    const auto *end = static_cast<const char *>(std::memchr(body.data(), 0, body.size()));
    const QByteArrayView text(body.data(), end ? end - body.data() : qsizetype(body.size()));
    m_outcome.bodyBytes += text.size();
    if (m_observer)
        m_observer(mailNo, m_size, CheckStep::Mail, text);
    return result;
}

void BenchLibrary::fail(const QString &step, int mailNo)
{
    m_outcome.ok = false;
    m_outcome.error = QStringLiteral("%1 %2: %3").arg(step).arg(mailNo).arg(lastFailureText());
}

qint64 procStatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
