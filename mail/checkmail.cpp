// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/checkmail.h"

#include "mail/nmail.h"

#include <algorithm>
#include <utility>

MailCheck::MailCheck(NMailApi &library, QString server, bool apop)
    : m_library(library)
    , m_server(std::move(server))
    , m_apop(apop)
{
}

bool MailCheck::connect()
{
    // The stop's order is the flag, then the abort; here it is the allowance, then the flag. So
    // a stop before this point is seen here, and one after it finds the connect refused or cuts
    // it: never a connection that runs on.
    m_library.allowConnections();
    if (isStopped())
        return false;
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

void MailCheck::fetchAll(int count)
{
    for (int n = 1; n <= count && !isStopped(); ++n) {
        m_reached.store(n, std::memory_order_relaxed);
        fetch(n);
    }
}

void MailCheck::stop()
{
    m_stopped.store(true);
    m_library.abortConnections();
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
    if (m_handle == -1)
        return;
    m_library.NMailPop3Close(std::exchange(m_handle, -1));
}
