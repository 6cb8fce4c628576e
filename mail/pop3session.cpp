// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/pop3session.h"

#include "mail/pop3transport.h"

#include <QCryptographicHash>
#include <cstring>

namespace {

constexpr qsizetype InputBufferSize = 64 * 1024;
constexpr qint64 MaxCapabilityBytes = 64 * 1024;
constexpr qsizetype MaxTimestamp = 256;
// The most of a message kept for its header fields; the rest goes straight to the caller.
constexpr qsizetype HeadBytes = 256 * 1024;
constexpr int HeadEnded = 3;
// With PIPELINING, how many messages' LIST and RETR go out ahead in one write. Over TLS each
// write the server reads costs it a wake-up and a record in each of its processes; sending a
// window at a time instead of one message's at a time keeps that out of the check's time.
constexpr int AheadCount = 16;

// Server text made fit for a message: control characters (NUL included) become spaces.
QString serverText(const QByteArray &text)
{
    QByteArray clean = text;
    for (char &c : clean) {
        if (uchar(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    return QString::fromUtf8(clean).trimmed();
}

bool parseNumber(QByteArrayView digits, qint64 *value)
{
    if (digits.isEmpty() || digits.size() > 18)
        return false;
    qint64 v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

QList<QByteArrayView> words(QByteArrayView text)
{
    QList<QByteArrayView> result;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t')
            ++i;
        if (i > start)
            result << text.sliced(start, i - start);
    }
    return result;
}

// The length of data up to and including the next line end that a dot follows, or all of it.
// memchr, not memmem: in a message whose every line is stuffed, memmem's setup per call costs
// more than the search.
qsizetype untilDotLine(const char *data, qsizetype size)
{
    const char *end = data + size;
    for (const char *p = data;; ++p) {
        p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!p || p + 1 == end)
            return size;
        if (p[1] == '.')
            return p - data + 1;
    }
}

bool hasLineBreakOrNul(const QString &text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(u'\0'));
}

} // namespace

Pop3Session::Pop3Session(
    std::unique_ptr<Pop3Transport> transport, QString host, std::chrono::milliseconds replyTimeout)
    : m_transport(std::move(transport))
    , m_host(std::move(host))
    , m_replyTimeout(replyTimeout)
{
    m_in.resize(InputBufferSize);
}

Pop3Session::~Pop3Session()
{
    if (m_transport)
        m_transport->close();
}

QDeadlineTimer Pop3Session::replyDeadline() const
{
    return QDeadlineTimer(m_replyTimeout);
}

int Pop3Session::fail(Pop3Error code, const QString &text)
{
    m_failureText = text;
    return int(code);
}

int Pop3Session::failFatal(Pop3Error code, const QString &text)
{
    // Whatever failed on a connection cut from outside, the cut is the reason.
    if (m_transport->isAborted())
        return failAborted();
    m_brokenCode = int(code);
    m_state = State::Closed;
    m_transport->close();
    return fail(code, text);
}

int Pop3Session::failAborted()
{
    m_brokenCode = int(Pop3Error::Aborted);
    m_state = State::Closed;
    m_transport->close();
    return fail(Pop3Error::Aborted, QStringLiteral("サーバーとの接続を中止しました。"));
}

bool Pop3Session::isAborted() const
{
    return m_transport->isAborted();
}

// Broken sessions fail with their failure at once; so does one cut from outside since the last
// call, even where the call would not touch the connection.
int Pop3Session::checkUsable()
{
    if (!m_brokenCode && m_transport->isAborted())
        return failAborted();
    return m_brokenCode;
}

// --- Bytes in and out ------------------------------------------------------------------------

int Pop3Session::send(const QByteArray &commands)
{
    if (const int rc = drainPending())
        return rc;
    if (const int rc = skipAhead())
        return rc;
    return write(commands);
}

int Pop3Session::write(const QByteArray &commands)
{
    if (!m_transport->write(commands, replyDeadline()))
        return failFatal(
            Pop3Error::ConnectionLost, QStringLiteral("サーバーへの送信中に接続が切れました。"));
    return 0;
}

int Pop3Session::fill(QDeadlineTimer deadline)
{
    if (m_inStart == m_inEnd) {
        m_inStart = m_inEnd = 0;
    } else if (m_inEnd == m_in.size()) {
        std::memmove(m_in.data(), m_in.constData() + m_inStart, size_t(m_inEnd - m_inStart));
        m_inEnd -= m_inStart;
        m_inStart = 0;
    }
    const qint64 got = m_transport->read(m_in.data() + m_inEnd, m_in.size() - m_inEnd, deadline);
    if (got == Pop3Transport::TimedOut)
        return failFatal(
            Pop3Error::TimedOut, QStringLiteral("サーバーの応答がありません（時間切れ）。"));
    if (got <= 0)
        return failFatal(
            Pop3Error::ConnectionLost, QStringLiteral("サーバーとの接続が途中で切れました。"));
    m_inEnd += got;
    if (m_octets && m_state == State::Transaction)
        m_octets->fetch_add(got, std::memory_order_relaxed);
    return 0;
}

int Pop3Session::readStatusLine(QByteArray *line, QDeadlineTimer deadline)
{
    for (;;) {
        const char *begin = m_in.constData() + m_inStart;
        const auto *nl
            = static_cast<const char *>(std::memchr(begin, '\n', size_t(m_inEnd - m_inStart)));
        if (nl) {
            qsizetype length = nl - begin;
            m_inStart += length + 1;
            if (length > 0 && begin[length - 1] == '\r')
                --length;
            if (length > MaxReplyLine)
                break;
            *line = QByteArray(begin, length);
            return 0;
        }
        if (m_inEnd - m_inStart > MaxReplyLine + 1)
            break;
        if (const int rc = fill(deadline))
            return rc;
    }
    return failFatal(Pop3Error::ProtocolError,
        QStringLiteral("サーバーの応答行が長すぎます（%1 バイトを超えています）。")
            .arg(MaxReplyLine));
}

int Pop3Session::readReply(Reply *reply)
{
    return readReply(reply, replyDeadline());
}

int Pop3Session::readReply(Reply *reply, QDeadlineTimer deadline)
{
    QByteArray line;
    if (const int rc = readStatusLine(&line, deadline))
        return rc;
    QByteArrayView rest;
    if (line.startsWith("+OK")) {
        reply->ok = true;
        rest = QByteArrayView(line).sliced(3);
    } else if (line.startsWith("-ERR")) {
        reply->ok = false;
        rest = QByteArrayView(line).sliced(4);
    } else {
        return failFatal(Pop3Error::ProtocolError,
            QStringLiteral("サーバーの応答を理解できません：%1").arg(serverText(line.left(200))));
    }
    if (!rest.isEmpty() && rest[0] != ' ' && rest[0] != '\t')
        return failFatal(Pop3Error::ProtocolError,
            QStringLiteral("サーバーの応答を理解できません：%1").arg(serverText(line.left(200))));
    reply->text = rest.trimmed().toByteArray();
    return 0;
}

// Multi-line data after a positive reply: lines up to a line holding only ".", with the leading
// dot of stuffed lines removed. Lines may end in CRLF or a bare LF and may be of any length; the
// terminator may arrive split anywhere. The bytes go to take(data, size) in as few pieces as the
// dots allow: everything up to the next line that starts with a dot is one piece. take returns
// how much it took; taking less stops the pump there (done stays false), with the rest of the
// data still to come.
template<class Sink> int Pop3Session::pumpData(Sink &&take, bool *done)
{
    *done = false;
    for (;;) {
        while (m_inStart < m_inEnd) {
            const char *p = m_in.constData() + m_inStart;
            const qsizetype available = m_inEnd - m_inStart;
            if (m_dataAtLineStart && p[0] == '.') {
                if (available < 2)
                    break;
                if (p[1] == '\n') {
                    m_inStart += 2;
                    *done = true;
                    return 0;
                }
                if (p[1] == '\r') {
                    if (available < 3)
                        break;
                    if (p[2] == '\n') {
                        m_inStart += 3;
                        *done = true;
                        return 0;
                    }
                }
                ++m_inStart; // a stuffed dot
                m_dataAtLineStart = false;
                continue;
            }
            const qsizetype piece = untilDotLine(p, available);
            const qsizetype took = take(p, piece);
            if (took > 0) {
                m_inStart += took;
                m_dataAtLineStart = p[took - 1] == '\n';
            }
            if (took < piece)
                return 0;
        }
        if (const int rc = fill(replyDeadline()))
            return rc;
    }
}

// Reads the rest of the data and drops it, so the connection stays in step.
int Pop3Session::skipData()
{
    bool done = false;
    return pumpData([](const char *, qsizetype n) { return n; }, &done);
}

int Pop3Session::readData(QByteArray *out, qint64 keepLimit)
{
    m_dataAtLineStart = true;
    bool done = false;
    return pumpData(
        [&](const char *p, qsizetype n) {
            const qint64 room = keepLimit - out->size();
            if (room > 0)
                out->append(p, qsizetype(std::min<qint64>(room, n)));
            return n;
        },
        &done);
}

// Takes message bytes into the head up to the end of the header fields (the first empty line)
// or HeadBytes, whichever comes first. m_headScan: 0 inside a line, 1 at a line's start, 2 after
// a CR at a line's start, HeadEnded once the empty line has been taken.
qsizetype Pop3Session::takeHead(const char *data, qsizetype size)
{
    if (m_headScan == HeadEnded)
        return 0;
    const qsizetype room = HeadBytes - m_head.size();
    const qsizetype scan = std::min(size, room);
    qsizetype i = 0;
    qsizetype end = -1;
    while (i < scan && end < 0) {
        if (m_headScan == 0) {
            const auto *nl
                = static_cast<const char *>(std::memchr(data + i, '\n', size_t(scan - i)));
            i = nl ? nl - data + 1 : scan;
            m_headScan = nl ? 1 : 0;
        } else if (data[i] == '\n') {
            end = ++i;
        } else if (m_headScan == 1 && data[i] == '\r') {
            m_headScan = 2;
            ++i;
        } else {
            m_headScan = 0;
        }
    }
    if (end >= 0)
        m_headScan = HeadEnded;
    const qsizetype took = end >= 0 ? end : scan;
    m_head.append(data, took);
    return took;
}

int Pop3Session::drainPending()
{
    if (!m_dataPending)
        return 0;
    m_dataPending = false;
    return skipData();
}

// Reads and drops the replies to the LISTs and RETRs sent ahead for messages that were not asked
// for after all: those before number when it was sent ahead, otherwise all of them.
int Pop3Session::skipAhead(int number)
{
    const int until = m_ahead.holds(number) ? number : 0;
    while (m_ahead.first != until) {
        m_ahead.dropFirst();
        Reply list, retr;
        if (const int rc = readReply(&list))
            return rc;
        if (const int rc = readReply(&retr))
            return rc;
        if (!retr.ok)
            continue;
        m_dataAtLineStart = true;
        if (const int rc = skipData())
            return rc;
    }
    return 0;
}

int Pop3Session::readMessageInto(std::span<char> body)
{
    size_t length = 0;
    auto put = [&](const char *p, qsizetype n) {
        if (!body.empty()) {
            const size_t take = std::min(size_t(n), body.size() - 1 - length);
            std::memcpy(body.data() + length, p, take);
            length += take;
        }
        return n;
    };
    put(m_head.constData(), m_head.size());
    if (m_dataPending) {
        // The head stays; the text, if asked for again, is read again from the server.
        m_dataPending = false;
        bool done = false;
        if (const int rc = pumpData(put, &done))
            return rc;
    }
    if (!body.empty())
        body[length] = '\0';
    return 0;
}

int Pop3Session::command(const QByteArray &line, Reply *reply)
{
    if (const int rc = send(line + "\r\n"))
        return rc;
    return readReply(reply);
}

// --- Greeting and login ----------------------------------------------------------------------

QByteArray Pop3Session::findTimestamp(QByteArrayView greeting)
{
    const qsizetype open = greeting.indexOf('<');
    if (open < 0)
        return {};
    const qsizetype close = greeting.indexOf('>', open);
    if (close < 0 || close - open + 1 > MaxTimestamp)
        return {};
    const QByteArrayView stamp = greeting.sliced(open, close - open + 1);
    const QByteArrayView inner = stamp.sliced(1, stamp.size() - 2);
    const qsizetype at = inner.indexOf('@');
    if (at <= 0 || at == inner.size() - 1 || inner.indexOf('@', at + 1) >= 0)
        return {};
    for (char c : inner) {
        if (uchar(c) <= 0x20 || uchar(c) >= 0x7f || c == '<')
            return {};
    }
    return stamp.toByteArray();
}

QByteArray Pop3Session::apopDigest(const QByteArray &timestamp, const QByteArray &secret)
{
    return QCryptographicHash::hash(timestamp + secret, QCryptographicHash::Md5).toHex();
}

int Pop3Session::readGreeting(QDeadlineTimer deadline)
{
    Reply reply;
    if (const int rc = readReply(&reply, deadline))
        return rc;
    if (!reply.ok) {
        const QString text = serverText(reply.text);
        return failFatal(Pop3Error::ConnectFailed,
            text.isEmpty() ? QStringLiteral("サーバーが接続を断りました。")
                           : QStringLiteral("サーバーが接続を断りました：%1").arg(text));
    }
    m_timestamp = findTimestamp(reply.text);
    m_state = State::Authorization;
    return 0;
}

int Pop3Session::loadCapabilities()
{
    m_capabilities.clear();
    Reply reply;
    if (const int rc = command("CAPA", &reply))
        return rc;
    if (!reply.ok)
        return 0; // an RFC 1939 server without CAPA: no extensions
    QByteArray list;
    if (const int rc = readData(&list, MaxCapabilityBytes))
        return rc;
    for (const QByteArray &line : list.split('\n')) {
        const QList<QByteArrayView> parts = words(QByteArrayView(line).trimmed());
        if (!parts.isEmpty())
            m_capabilities.insert(parts.first().toByteArray().toUpper());
    }
    return 0;
}

int Pop3Session::secureConnection(bool tlsRequired, const TlsOffered &offered)
{
    if (m_brokenCode)
        return m_brokenCode;
    m_secured = true;
    if (const int rc = loadCapabilities())
        return rc;
    if (m_transport->isEncrypted())
        return 0;
    if (m_capabilities.contains("STLS")) {
        if (const QString text = offered ? offered() : QString(); !text.isEmpty())
            return failFatal(Pop3Error::ConnectFailed, text);
        return startTls(tlsRequired);
    }
    if (tlsRequired)
        return withdrawnTls(QStringLiteral("今回は暗号化を提供していません。"));
    return 0;
}

// A server that offered TLS before and does not give it now: someone on the way may have taken
// it out, to read the password.
int Pop3Session::withdrawnTls(const QString &what)
{
    return failFatal(Pop3Error::TlsFailed,
        QStringLiteral("サーバー %1 は以前は暗号化（TLS）を提供していましたが、%2"
                       "パスワードは送信していません。")
            .arg(m_host, what));
}

int Pop3Session::startTls(bool tlsRequired)
{
    Reply reply;
    if (const int rc = command("STLS", &reply))
        return rc;
    if (!reply.ok && tlsRequired)
        return withdrawnTls(QStringLiteral("今回は暗号化の開始（STLS）を断りました：%1。")
                                .arg(serverText(reply.text)));
    if (!reply.ok)
        return failFatal(Pop3Error::TlsFailed,
            QStringLiteral("サーバーが TLS を提供しながら STLS を断りました。"
                           "暗号化せずにログインすることはしません：%1")
                .arg(serverText(reply.text)));
    // Anything that came with or after the +OK was sent in the clear, before the handshake.
    m_inStart = m_inEnd = 0;
    m_lastTls = m_transport->startTls(replyDeadline());
    if (const Pop3Transport::TlsResult &tls = m_lastTls; !tls.ok) {
        return failFatal(Pop3Error::TlsFailed,
            tlsRequired ? QStringLiteral("サーバー %1 は以前は暗号化（TLS）を提供していました。%2"
                                         "パスワードは送信していません。")
                              .arg(m_host, tls.failureText)
                        : tls.failureText);
    }
    return loadCapabilities();
}

int Pop3Session::refusedLogin(const Reply &reply)
{
    const QString text = serverText(reply.text);
    QString hint;
    if (text.startsWith(QLatin1String("[AUTH]")))
        hint = QStringLiteral("ユーザー名かパスワードが違います。");
    else if (text.startsWith(QLatin1String("[IN-USE]")))
        hint = QStringLiteral("メールボックスは別の接続で使用中です。");
    else if (text.startsWith(QLatin1String("[LOGIN-DELAY]")))
        hint = QStringLiteral("前回のログインから時間が経っていません。");
    else if (text.startsWith(QLatin1String("[SYS/TEMP]")))
        hint = QStringLiteral("サーバー側の一時的な障害です。");
    else if (text.startsWith(QLatin1String("[SYS/PERM]")))
        hint = QStringLiteral("サーバー側の障害です。");
    QString message = QStringLiteral("ログインを拒否されました。");
    if (!hint.isEmpty())
        message += hint;
    if (!text.isEmpty())
        message += QStringLiteral("サーバーの応答：%1").arg(text);
    return fail(Pop3Error::LoginRefused, message);
}

int Pop3Session::login(const QString &user, const QString &password, bool apop)
{
    Reply reply;
    if (apop) {
        const QByteArray digest = apopDigest(m_timestamp, password.toUtf8());
        if (const int rc = command("APOP " + user.toUtf8() + ' ' + digest, &reply))
            return rc;
        return reply.ok ? 0 : refusedLogin(reply);
    }
    if (const int rc = command("USER " + user.toUtf8(), &reply))
        return rc;
    if (!reply.ok)
        return refusedLogin(reply);
    if (const int rc = command("PASS " + password.toUtf8(), &reply))
        return rc;
    return reply.ok ? 0 : refusedLogin(reply);
}

int Pop3Session::authenticate(const QString &user, const QString &password, bool apop)
{
    if (const int rc = checkUsable())
        return rc;
    if (m_state != State::Authorization)
        return fail(Pop3Error::InvalidState, QStringLiteral("すでにログインしています。"));
    if (hasLineBreakOrNul(user) || hasLineBreakOrNul(password) || user.isEmpty())
        return fail(Pop3Error::InvalidArgument,
            QStringLiteral("ユーザー名かパスワードに使えない文字が含まれています。"));
    if (apop && m_timestamp.isEmpty())
        return fail(Pop3Error::ApopUnavailable,
            QStringLiteral("このサーバーでは APOP を使えません"
                           "（挨拶にタイムスタンプがないか、形式が正しくありません）。"));

    if (!m_secured) {
        if (const int rc = secureConnection(false))
            return rc;
    }
    if (int rc = login(user, password, apop))
        return rc;
    Reply reply;
    if (int rc = command("STAT", &reply))
        return rc;
    if (!reply.ok)
        return fail(Pop3Error::ServerError,
            QStringLiteral("メールボックスの状態を取得できません：%1").arg(serverText(reply.text)));
    const QList<QByteArrayView> parts = words(reply.text);
    qint64 count = 0;
    if (parts.isEmpty() || !parseNumber(parts[0], &count) || count > INT_MAX)
        return failFatal(Pop3Error::ProtocolError,
            QStringLiteral("STAT の応答を理解できません：%1").arg(serverText(reply.text)));
    m_count = int(count);
    if (qint64 octets = 0; parts.size() >= 2 && parseNumber(parts[1], &octets))
        m_mailboxOctets = octets;
    m_state = State::Transaction;
    return m_count;
}

// --- Messages --------------------------------------------------------------------------------

int Pop3Session::readListReply(int number, const Reply &reply, qint64 *size)
{
    if (!reply.ok)
        return fail(Pop3Error::ServerError,
            QStringLiteral("メッセージ %1 の大きさを取得できません：%2")
                .arg(number)
                .arg(serverText(reply.text)));
    const QList<QByteArrayView> parts = words(reply.text);
    qint64 listed = 0;
    if (parts.size() < 2 || !parseNumber(parts[0], &listed) || listed != number
        || !parseNumber(parts[1], size))
        return failFatal(Pop3Error::ProtocolError,
            QStringLiteral("LIST の応答を理解できません：%1").arg(serverText(reply.text)));
    m_sizeNumber = number;
    m_size = *size;
    return 0;
}

int Pop3Session::checkMessageNumber(int number)
{
    if (const int rc = checkUsable())
        return rc;
    if (m_state != State::Transaction)
        return fail(Pop3Error::InvalidState, QStringLiteral("ログインしていません。"));
    if (number < 1 || number > m_count)
        return fail(
            Pop3Error::ServerError, QStringLiteral("メッセージ %1 はありません。").arg(number));
    return 0;
}

qint64 Pop3Session::messageSize(int number)
{
    if (const int rc = checkMessageNumber(number))
        return rc;
    if (m_refusedNumber == number && m_sizeNumber != number)
        return fail(Pop3Error(m_refusedCode), m_refusedText); // its LIST was refused
    if (m_ahead.holds(number)) {
        // Its LIST went out ahead, with its RETR: take both replies now.
        const int rc = retrieve(number, false);
        if (m_sizeNumber == number)
            return m_size;
        return rc;
    }
    if (m_sizeNumber == number)
        return m_size;
    Reply reply;
    if (const int rc = command("LIST " + QByteArray::number(number), &reply))
        return rc;
    qint64 size = 0;
    if (const int rc = readListReply(number, reply, &size))
        return rc;
    return size;
}

int Pop3Session::readRetrReply(int number, bool keep)
{
    Reply reply;
    if (const int rc = readReply(&reply))
        return rc;
    if (!reply.ok)
        return fail(Pop3Error::ServerError,
            QStringLiteral("メッセージ %1 を取得できません：%2")
                .arg(number)
                .arg(serverText(reply.text)));
    // resize, not clear: the head's buffer serves every message.
    m_head.resize(0);
    m_messageNumber = 0;
    m_dataAtLineStart = true;
    if (!keep)
        return skipData();
    m_headScan = 1;
    bool done = false;
    if (const int rc
        = pumpData([this](const char *p, qsizetype n) { return takeHead(p, n); }, &done))
        return rc;
    m_headWhole = done;
    m_dataPending = !done;
    m_messageNumber = number;
    return 0;
}

int Pop3Session::retrieve(int number, bool withText)
{
    if (const int rc = checkMessageNumber(number))
        return rc;
    if (m_refusedNumber == number)
        return fail(Pop3Error(m_refusedCode), m_refusedText);
    m_refusedNumber = 0;
    const int rc = fetch(number, withText);
    if (rc && !m_brokenCode) {
        m_refusedNumber = number;
        m_refusedCode = rc;
        m_refusedText = m_failureText;
    }
    return rc;
}

int Pop3Session::fetch(int number, bool withText)
{
    // The text can be read while it is whole in the head or still waiting on the connection.
    if (m_messageNumber == number && (!withText || m_headWhole || m_dataPending))
        return 0;

    const auto listAndRetr = [](int n) {
        const QByteArray number = QByteArray::number(n);
        return "LIST " + number + "\r\nRETR " + number + "\r\n";
    };
    int rc = 0;
    if ((m_sizeNumber != number || m_ahead.holds(number))
        && m_capabilities.contains("PIPELINING")) {
        // LIST and RETR go out together, and both replies are always read so the connection
        // stays in step, whatever LIST says. The next messages' go out with them, or were sent
        // with an earlier message's, so that the server sends each message while the ones before
        // are read, and never waits for the client.
        if ((rc = drainPending()) || (rc = skipAhead(number)))
            return rc;
        QByteArray requests;
        if (m_ahead.first == number)
            m_ahead.dropFirst();
        else
            requests = listAndRetr(number);
        if (m_ahead.isEmpty() && number < m_count) {
            m_ahead.open(number + 1, std::min(m_count, number + AheadCount));
            for (int n = m_ahead.first; n <= m_ahead.last; ++n)
                requests += listAndRetr(n);
        }
        if (!requests.isEmpty() && (rc = write(requests)))
            return rc;
        Reply list;
        if ((rc = readReply(&list)))
            return rc;
        qint64 size = 0;
        const int listRc = readListReply(number, list, &size);
        if (m_brokenCode)
            return m_brokenCode;
        const bool keep = listRc == 0 && size <= MaxMessageSize;
        const QString listFailure = m_failureText;
        if ((rc = readRetrReply(number, keep)))
            return rc;
        if (!keep) {
            return listRc ? fail(Pop3Error(listRc), listFailure)
                          : fail(Pop3Error::MessageTooLarge,
                              QStringLiteral("メッセージ %1 が大きすぎます。").arg(number));
        }
        return 0;
    }

    const qint64 size = messageSize(number);
    if (size < 0)
        return int(size);
    if (size > MaxMessageSize)
        return fail(Pop3Error::MessageTooLarge,
            QStringLiteral("メッセージ %1 が大きすぎます。").arg(number));
    if ((rc = send("RETR " + QByteArray::number(number) + "\r\n")))
        return rc;
    return readRetrReply(number, true);
}

void Pop3Session::quit()
{
    if (m_state != State::Closed && !m_brokenCode && !m_transport->isAborted()) {
        // Every message is read by now and nothing depends on the answer: a server that stays
        // silent after QUIT holds the check for QuitTimeout at most, not a reply's full time.
        m_replyTimeout = std::min(m_replyTimeout, QuitTimeout);
        Reply reply;
        // The reply is read only so that the server sees an orderly end; its content does not
        // matter.
        if (command("QUIT", &reply) == 0)
            m_state = State::Closed;
    }
    m_state = State::Closed;
    m_transport->close();
}
