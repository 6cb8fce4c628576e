#pragma once
// The mail check's library calls, in the order and with the buffers the program's own check
// uses (connect, log in, then per message: status, size, a body buffer of size + 1 filled with
// blanks, mail; close), for the benchmark's timed, memory and round-trip runs. An observer sees
// each message's steps so the memory run can sample /proc between them.
#include <QByteArray>
#include <QString>

#include <functional>

class Pop3Library;

enum class CheckStep { Status, SizeAndBuffer, Mail };

struct CheckRun {
    bool ok = false;
    int count = 0; // messages the login reported
    qint64 bodyBytes = 0; // bytes handed back in the body buffers, without their NULs
    int largestSize = 0; // largest size the size call gave
    QString error;
};

// body: the body buffer as the mail call left it (up to its NUL).
using CheckObserver
    = std::function<void(int number, int size, CheckStep step, QByteArrayView body)>;

// Opens the connection and returns its handle (or -1), as NMailPop3Connect does.
using CheckConnector = std::function<int(Pop3Library &library)>;
CheckConnector libraryConnect(const QString &server); // the library's own NMailPop3Connect

CheckRun runCheck(Pop3Library &library, const CheckConnector &connect, const QString &user,
    const QString &password, const CheckObserver &observer = {});

// A "Vm..." field of /proc/self/status in KiB, or -1.
qint64 procStatusKb(const char *field);
