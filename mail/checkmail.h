// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library side of one check of the configured mailbox: connect to the server, log in (APOP
// when asked), fetch status, size and text of each message without keeping them, ask for a
// failure's text, close. Each step is one blocking call into the POP3 library, made on the
// library's thread (librarythread.h); the check (app/checkrun.h) posts the steps one at a time
// and shows what they hand back. Nothing here reaches a window.
#include <QString>

#include <atomic>
#include <vector>

class NMailApi;

// The largest body buffer a check makes. A message larger than this is still fetched (and its
// headers read) but its text is cut; the check never keeps message text anyway.
constexpr int MaxBodyBuffer = 256 * 1024 * 1024;

class MailCheck {
public:
    MailCheck(NMailApi &library, QString server, bool apop);

    // NMailPop3Connect; false when no connection could be made (the library's -1) or the check
    // was stopped before it.
    bool connect();
    // NMailPop3Authenticate: the message count, 0, or a failure code below 0.
    int authenticate(const QString &id, const QString &password);
    // The mailbox's size in octets as the login found it (NMailApi::mailboxOctets), or -1.
    qint64 mailboxOctets() const { return m_mailboxOctets; }
    // Status, size and text of message n, none of them kept. A stopped check makes none of
    // the calls that are still to come.
    void fetch(int n);
    // Messages 1 to count in turn, until the check is stopped; reached() tells, from any
    // thread, the message being fetched.
    void fetchAll(int count);
    int reached() const { return m_reached.load(std::memory_order_relaxed); }
    // From any thread: the library leaves the server at once (abortConnections), and no
    // further call of this check reaches it but the close that releases the connection.
    void stop();
    bool isStopped() const { return m_stopped.load(); }
    // The last failure's text from NMailGetMessage, up to its NUL.
    QString failureText();
    // NMailPop3Close, once, and only for a connection that was made.
    void close();

private:
    NMailApi &m_library;
    const QString m_server;
    const bool m_apop;
    int m_handle = -1;
    // The four header buffers the status and fetch calls fill; the first also takes a failure
    // text. Made after the connection, as the library expects.
    std::vector<char> m_subject, m_from, m_date, m_messageId;
    std::vector<char> m_body;
    qint64 m_mailboxOctets = -1;
    std::atomic<int> m_reached = 0;
    std::atomic<bool> m_stopped = false;
};
