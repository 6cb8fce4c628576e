// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small POP3 server that counts round trips: how often the client has to wait for an answer.
// It listens on 127.0.0.1 at a free port, in a thread of its own, serves one connection over a
// mailbox of fixed messages, and advertises PIPELINING in CAPA or not.
//
// A turn is one "read what the client sent, then answer it" cycle: the server reads all the
// bytes the client has sent so far (a pipelined batch arrives as one write), answers every
// complete command in them with one write, and counts one turn. The greeting counts as a turn
// too, since the client waits for it. Turns are booked to the phase of their first command:
// login (greeting, CAPA, USER, PASS, STAT...), message (LIST, RETR, TOP, UIDL of one message)
// or quit.
#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

class RoundTripServer {
public:
    struct Counts {
        int loginTurns = 0;
        int messageTurns = 0;
        int quitTurns = 0;
        int commands = 0;
        int retrCount = 0;
        int listCount = 0;
    };

    RoundTripServer(QList<QByteArray> messages, bool pipelining);
    ~RoundTripServer();

    // Listens and starts the thread; false (see errorText()) when it cannot.
    bool start();
    quint16 port() const { return m_port; }
    // Waits (bounded) until the connection has ended; false if it did not.
    bool waitForEnd(int timeoutMs);
    Counts counts() const;
    QString errorText() const;

private:
    void serve();
    void problem(const QString &text);
    QByteArray answer(const QByteArray &line, int *phase);

    QList<QByteArray> m_messages;
    bool m_pipelining;
    int m_listenFd = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_ended { false };
    mutable std::mutex m_mutex;
    Counts m_counts;
    QString m_error;
};
