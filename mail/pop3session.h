// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One POP3 connection's protocol state. Each public call runs its steps in order (send a
// command, read its reply, act on it); readStatusLine() and pumpData() are the only places that
// take bytes apart. Where the server offers PIPELINING, retrieving a message also sends the LIST
// and RETR of the next ones (a window of them in one write), whose replies the next calls read
// (or read past); a message the server refuses inside that window fails alone, and asked for
// again before any other fails the same way without a second request. Results are a value >= 0 or a
// Pop3Error code, with failureText() describing the last failure in Japanese. Fatal
// failures (lost, timed out, out of sync) leave the session broken: every later call returns the
// same failure at once.
#include "mail/pop3error.h"
#include "mail/pop3transport.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QSet>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <span>

class Pop3Session {
public:
    // Longest status line accepted, without its line end. Message data lines may be longer.
    static constexpr qsizetype MaxReplyLine = 8192;
    static constexpr qint64 MaxMessageSize = qint64(2) * 1024 * 1024 * 1024 - 1;

    Pop3Session(std::unique_ptr<Pop3Transport> transport, QString host,
        std::chrono::milliseconds replyTimeout);
    ~Pop3Session();

    // The greeting is part of making the connection: it is waited for until the connection's
    // deadline, not for a reply's time.
    int readGreeting(QDeadlineTimer deadline);
    // Told that the server offers STLS, before STLS goes out: empty to go on, else the text of
    // the failure that ends the connection.
    using TlsOffered = std::function<QString()>;
    // The rest of making the connection: CAPA and, where the server offers STLS on a plain
    // connection, STLS and CAPA again. A server that offers STLS and then cannot give TLS is
    // never logged in to in the clear; tlsRequired (the server offered TLS before) also fails a
    // server that no longer offers STLS or refuses it. A failure here is fatal.
    int secureConnection(bool tlsRequired, const TlsOffered &offered = {});
    // The message count, or a failure code. Makes the connection secure first where
    // secureConnection() has not been called.
    int authenticate(const QString &user, const QString &password, bool apop);
    // The size from LIST n (up to 2^63), or a failure code.
    qint64 messageSize(int number);
    // Makes message number the retrieved one. Its head (the header fields, and the whole message
    // when it is short) is then in messageHead(); the rest stays on the connection until
    // readMessageInto() or the next command. withText asks that the text can still be read,
    // which after readMessageInto() takes the message anew.
    int retrieve(int number, bool withText);
    const QByteArray &messageHead() const { return m_head; }
    // Copies the retrieved message into body (cut to body.size() - 1 bytes, then a NUL), the rest
    // straight from the connection.
    int readMessageInto(std::span<char> body);
    // QUIT, waiting QuitTimeout at most for the server to take it and answer; then closes.
    void quit();
    static constexpr std::chrono::milliseconds QuitTimeout { 3000 };

    // Bumped, relaxed, by every read from the server once logged in; null for none.
    void setOctetCounter(std::atomic<qint64> *counter) { m_octets = counter; }
    // The mailbox's size from STAT at login, or -1.
    qint64 mailboxOctets() const { return m_mailboxOctets; }
    // The connection was cut from another thread (Pop3Transport::isAborted).
    bool isAborted() const;

    QString failureText() const { return m_failureText; }
    bool isBroken() const { return m_brokenCode != 0; }
    bool isLoggedIn() const { return m_state == State::Transaction; }
    QByteArray greetingTimestamp() const { return m_timestamp; }
    bool hasCapability(const QByteArray &name) const { return m_capabilities.contains(name); }
    bool isEncrypted() const { return m_transport->isEncrypted(); }
    // The STLS handshake's result, when there was one (the certificate, if it failed on that).
    const Pop3Transport::TlsResult &lastTls() const { return m_lastTls; }

    // APOP's digest: MD5 of timestamp and secret, in lower-case hex.
    static QByteArray apopDigest(const QByteArray &timestamp, const QByteArray &secret);
    // The "<...@...>" part of a greeting, or empty when there is none or it looks unsafe.
    static QByteArray findTimestamp(QByteArrayView greeting);

private:
    enum class State { Greeting, Authorization, Transaction, Closed };
    struct Reply {
        bool ok = false;
        QByteArray text; // after "+OK " / "-ERR "
    };
    // The messages whose LIST and RETR went out ahead, first to last, and whose replies are
    // still to come. Invariants: empty (first == 0), or 1 <= first <= last <= the message count;
    // the replies come in order, so first's LIST reply is the next on the connection once the
    // data of a message still pending there has been read; a message leaves the window only
    // when both its replies (and its data) have been or are being read.
    struct AheadWindow {
        int first = 0;
        int last = 0;
        bool isEmpty() const { return first == 0; }
        bool holds(int number) const { return first && number >= first && number <= last; }
        void open(int from, int to)
        {
            Q_ASSERT(isEmpty() && from >= 1 && from <= to);
            first = from;
            last = to;
        }
        // first's replies are being read: the window starts at the next message, if any.
        void dropFirst() { first = first < last ? first + 1 : 0; }
    };

    int send(const QByteArray &commands);
    int write(const QByteArray &commands);
    int readReply(Reply *reply);
    int readReply(Reply *reply, QDeadlineTimer deadline);
    int readStatusLine(QByteArray *line, QDeadlineTimer deadline);
    int readData(QByteArray *out, qint64 keepLimit);
    template<class Sink> int pumpData(Sink &&take, bool *done);
    qsizetype takeHead(const char *data, qsizetype size);
    int skipData();
    int drainPending();
    int skipAhead(int number = 0);
    int fill(QDeadlineTimer deadline);
    int command(const QByteArray &line, Reply *reply);
    int loadCapabilities();
    int startTls(bool tlsRequired);
    int withdrawnTls(const QString &what);
    int login(const QString &user, const QString &password, bool apop);
    int readListReply(int number, const Reply &reply, qint64 *size);
    int readRetrReply(int number, bool keep);
    int fetch(int number, bool withText);
    int checkMessageNumber(int number);
    int checkUsable();
    int fail(Pop3Error code, const QString &text);
    int failFatal(Pop3Error code, const QString &text);
    int failAborted();
    int refusedLogin(const Reply &reply);
    QDeadlineTimer replyDeadline() const;

    std::unique_ptr<Pop3Transport> m_transport;
    QString m_host;
    std::chrono::milliseconds m_replyTimeout;
    State m_state = State::Greeting;
    int m_brokenCode = 0;
    QString m_failureText;

    QByteArray m_timestamp;
    QSet<QByteArray> m_capabilities;
    bool m_secured = false;
    Pop3Transport::TlsResult m_lastTls;
    int m_count = 0;
    qint64 m_mailboxOctets = -1;
    std::atomic<qint64> *m_octets = nullptr;

    // Received bytes not yet consumed: m_in[m_inStart, m_inEnd).
    QByteArray m_in;
    qsizetype m_inStart = 0;
    qsizetype m_inEnd = 0;

    // The one message retrieved: its head, which may hold the whole message, and whether the
    // rest is still on the connection. The head's buffer is kept from one message to the next.
    // And the last LIST answer.
    int m_messageNumber = 0;
    bool m_dataPending = false;
    bool m_dataAtLineStart = true;
    bool m_headWhole = false;
    int m_headScan = 0; // where the search for the header's end stands (see takeHead)
    QByteArray m_head;
    AheadWindow m_ahead;
    int m_sizeNumber = 0;
    qint64 m_size = 0;
    // The last message the server refused (LIST or RETR answered -ERR, or too large) and how
    // retrieve() failed for it; 0 while the last message asked for was not refused. Asking
    // again, a plain request would first read past the whole window.
    int m_refusedNumber = 0;
    int m_refusedCode = 0;
    QString m_refusedText;
};
