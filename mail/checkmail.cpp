#include "mail/checkmail.h"

#include "mail/nmail.h"

#include <algorithm>

QString formatProgress(int n, int count, qint64 readOctets, qint64 totalOctets)
{
    const QString messages = QStringLiteral("%1/%2").arg(n).arg(count);
    if (totalOctets < 0)
        return messages;
    // Status and LIST lines are read too, and stuffed dots: the count may pass the size.
    const qint64 read = std::clamp<qint64>(readOctets, 0, totalOctets);
    if (totalOctets < 1000)
        return messages + QStringLiteral("  %1 / %2 B").arg(read).arg(totalOctets);
    static const QString units[]
        = { QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB") };
    double scale = 1000;
    int unit = 0;
    // The unit in which the total, rounded to one decimal, stays below 1000.
    while (unit < 2 && double(totalOctets) / scale >= 999.95) {
        scale *= 1000;
        ++unit;
    }
    return messages
        + QStringLiteral("  %1 / %2 %3")
              .arg(double(read) / scale, 0, 'f', 1)
              .arg(double(totalOctets) / scale, 0, 'f', 1)
              .arg(units[unit]);
}

MailCheck::MailCheck(NMailApi &library, QString server, bool apop)
    : m_library(library)
    , m_server(std::move(server))
    , m_apop(apop)
{
}

bool MailCheck::connect()
{
    m_handle = m_library.NMailPop3Connect(m_server);
    for (auto *buffer : { &m_subject, &m_from, &m_date, &m_messageId })
        buffer->assign(NMailApi::BufferSize, ' ');
    return m_handle != -1;
}

int MailCheck::authenticate(const QString &id, const QString &password)
{
    const int count = m_library.NMailPop3Authenticate(m_handle, id, password, m_apop ? -1 : 0);
    if (count > 0)
        m_mailboxOctets = m_library.mailboxOctets(m_handle);
    return count;
}

void MailCheck::fetch(int n)
{
    m_library.NMailPop3GetMailStatus(m_handle, n, m_subject, m_from, m_date, m_messageId, 0);
    if (isStopped())
        return;
    const int size = m_library.NMailPop3GetMailSize(m_handle, n);
    if (isStopped())
        return;
    // A failed size (-1, or anything negative) gives an empty buffer, never a negative one.
    const size_t bodySize = size < 0 ? 0 : size_t(std::min(size, MaxBodyBuffer - 1)) + 1;
    m_body.assign(bodySize, ' ');
    m_library.NMailPop3GetMail(m_handle, n, m_subject, m_from, m_date, m_messageId, m_body, 0, 0);
}

QString MailCheck::failureText()
{
    int size = NMailApi::BufferSize;
    m_library.NMailGetMessage(0, m_subject, &size);
    // The buffer was filled with blanks; the text ends at its NUL, or at the buffer's end.
    const QByteArray raw(m_subject.data(), qsizetype(m_subject.size()));
    return TrimAtNul(QString::fromUtf8(raw));
}

void MailCheck::close()
{
    m_library.NMailPop3Close(m_handle);
}
