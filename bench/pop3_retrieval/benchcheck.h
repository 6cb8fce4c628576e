// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own mail check (MailCheck, mail/checkmail.h) run to its end against the library,
// for the benchmark's timed, memory and round-trip runs: connect, log in, fetch every message,
// close. BenchLibrary is the library with an eye on the calls the check makes, so that an
// observer sees each message's steps (the memory run samples /proc between them) and its body.
#include "mail/pop3library.h"

#include <QByteArray>
#include <QString>

#include <functional>

enum class CheckStep { Status, SizeAndBuffer, Mail };

struct CheckOutcome {
    bool ok = false;
    int count = 0; // messages the login reported
    qint64 bodyBytes = 0; // bytes handed back in the body buffers, without their NULs
    int largestSize = 0; // largest size the size call gave
    QString error;
};

// body: the body buffer as the mail call left it (up to its NUL).
using CheckObserver
    = std::function<void(int number, int size, CheckStep step, QByteArrayView body)>;

class BenchLibrary : public Pop3Library {
public:
    // One check of the mailbox at server, as the program makes it.
    CheckOutcome runCheck(const QString &server, const QString &user, const QString &password,
        const CheckObserver &observer = {});
    // Opens the check's connection instead of NMailPop3Connect: the handle, or -1.
    void setConnector(std::function<int(Pop3Library &library)> connect)
    {
        m_connect = std::move(connect);
    }

    int NMailPop3Connect(const QString &server) override;
    int NMailPop3GetMailStatus(int handle, int mailNo, std::span<char> subject,
        std::span<char> from, std::span<char> date, std::span<char> messageId, int flag) override;
    int NMailPop3GetMailSize(int handle, int mailNo) override;
    int NMailPop3GetMail(int handle, int mailNo, std::span<char> subject, std::span<char> from,
        std::span<char> date, std::span<char> messageId, std::span<char> body, int flag1,
        int flag2) override;

private:
    void fail(const QString &step, int mailNo);

    std::function<int(Pop3Library &library)> m_connect;
    CheckObserver m_observer;
    CheckOutcome m_outcome;
    int m_size = 0; // the last size call's answer
};

// A "Vm..." field of /proc/self/status in KiB, or -1.
qint64 procStatusKb(const char *field);
