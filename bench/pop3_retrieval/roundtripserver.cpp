// SPDX-License-Identifier: GPL-3.0-or-later
#include "roundtripserver.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int IdleTimeoutMs = 30000;

enum Phase { Login = 0, Message = 1, Quit = 2 };

bool sendAll(int fd, const QByteArray &data)
{
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n
            = ::send(fd, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

QByteArray dotStuffed(const QByteArray &message)
{
    QByteArray out;
    out.reserve(message.size() + 64);
    bool lineStart = true;
    for (char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    return out + ".\r\n";
}

} // namespace

RoundTripServer::RoundTripServer(QList<QByteArray> messages, bool pipelining)
    : m_messages(std::move(messages))
    , m_pipelining(pipelining)
{
}

RoundTripServer::~RoundTripServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

bool RoundTripServer::start()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(m_listenFd, 1) != 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        problem(QStringLiteral("cannot listen on 127.0.0.1: %1").arg(qt_error_string(errno)));
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
    return true;
}

bool RoundTripServer::waitForEnd(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_ended && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_ended;
}

RoundTripServer::Counts RoundTripServer::counts() const
{
    std::lock_guard lock(m_mutex);
    return m_counts;
}

QString RoundTripServer::errorText() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

void RoundTripServer::problem(const QString &text)
{
    std::lock_guard lock(m_mutex);
    if (m_error.isEmpty())
        m_error = text;
}

QByteArray RoundTripServer::answer(const QByteArray &line, int *phase)
{
    const QList<QByteArray> words = line.trimmed().split(' ');
    const QByteArray verb = words.first().toUpper();
    const int count = int(m_messages.size());
    auto number = [&](bool *ok) {
        const int n = words.size() > 1 ? words[1].toInt(ok) : 0;
        *ok = *ok && n >= 1 && n <= count;
        return n;
    };
    std::lock_guard lock(m_mutex);
    ++m_counts.commands;
    *phase = Login;
    if (verb == "CAPA") {
        return QByteArray("+OK capability list follows\r\nUSER\r\nUIDL\r\nTOP\r\n")
            + (m_pipelining ? "PIPELINING\r\n" : "") + ".\r\n";
    }
    if (verb == "USER" || verb == "PASS" || verb == "NOOP")
        return "+OK\r\n";
    if (verb == "STAT") {
        qint64 total = 0;
        for (const QByteArray &message : m_messages)
            total += message.size();
        return "+OK " + QByteArray::number(count) + ' ' + QByteArray::number(total) + "\r\n";
    }
    if (verb == "QUIT") {
        *phase = Quit;
        return "+OK bye\r\n";
    }
    if (verb == "LIST" || verb == "RETR" || verb == "TOP" || verb == "UIDL") {
        *phase = Message;
        bool ok = false;
        const int n = number(&ok);
        if (!ok)
            return "-ERR no such message\r\n";
        const QByteArray &message = m_messages[n - 1];
        if (verb == "LIST") {
            ++m_counts.listCount;
            return "+OK " + QByteArray::number(n) + ' ' + QByteArray::number(message.size())
                + "\r\n";
        }
        if (verb == "UIDL")
            return "+OK " + QByteArray::number(n) + " uid" + QByteArray::number(n) + "\r\n";
        if (verb == "RETR")
            ++m_counts.retrCount;
        QByteArray text = message;
        if (verb == "TOP") {
            const qsizetype end = text.indexOf("\r\n\r\n");
            text = text.left(end < 0 ? text.size() : end + 4);
        }
        return "+OK " + QByteArray::number(message.size()) + " octets\r\n" + dotStuffed(text);
    }
    return "-ERR unknown command\r\n";
}

void RoundTripServer::serve()
{
    int fd = -1;
    pollfd listener { m_listenFd, POLLIN, 0 };
    const QDeadlineTimer acceptDeadline(IdleTimeoutMs);
    while (!m_stop && !acceptDeadline.hasExpired()) {
        if (::poll(&listener, 1, 50) > 0) {
            fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            break;
        }
    }
    if (fd < 0) {
        problem(QStringLiteral("no client came"));
        m_ended = true;
        return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    {
        std::lock_guard lock(m_mutex);
        ++m_counts.loginTurns; // the greeting
    }
    bool open = sendAll(fd, "+OK counting server ready <1.2@127.0.0.1>\r\n");
    QByteArray pending;
    QDeadlineTimer idle(IdleTimeoutMs);
    while (open && !m_stop) {
        pollfd p { fd, POLLIN, 0 };
        const int ready = ::poll(&p, 1, 50);
        if (ready == 0) {
            if (idle.hasExpired()) {
                problem(QStringLiteral("the client went silent"));
                break;
            }
            continue;
        }
        // Everything the client has sent by now: a pipelined batch is one turn.
        char chunk[65536];
        ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            break;
        pending.append(chunk, got);
        while ((got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
            pending.append(chunk, got);
        idle = QDeadlineTimer(IdleTimeoutMs);

        QByteArray out;
        int firstPhase = -1;
        bool quit = false;
        qsizetype eol;
        while ((eol = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(eol).trimmed();
            pending.remove(0, eol + 1);
            int phase = Login;
            out += answer(line, &phase);
            if (firstPhase < 0)
                firstPhase = phase;
            if (phase == Quit) {
                quit = true;
                break;
            }
        }
        if (out.isEmpty())
            continue; // half a command: the client is still talking
        {
            std::lock_guard lock(m_mutex);
            int &turns = firstPhase == Message ? m_counts.messageTurns
                : firstPhase == Quit           ? m_counts.quitTurns
                                               : m_counts.loginTurns;
            ++turns;
        }
        open = sendAll(fd, out) && !quit;
    }
    ::close(fd);
    m_ended = true;
}
