// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mail room (mail/): the POP3 library, the thread its calls run on and the check's library
// steps, on Qt Core and Qt Network alone. It makes no call into a window, shows no box, and knows
// nothing of the settings files, the dial-up hang-up or the scenes.
//
// The POP3 library as the program sees it: the ten calls, with the names, arguments and results
// the mail check relies on, and five of our own for stopping a check, telling its progress and
// trusting a server's certificate.
// Handles and results are 32-bit signed integers; text buffers are byte buffers (UTF-8 text ended
// by a NUL) whose size travels with them as a span, so the library can never write past one.
//
// Pop3Library (pop3library.h) is the real implementation over Qt Network; tests use a recording
// fake of this interface.
#include "mail/servertrust.h"

#include <QString>
#include <optional>
#include <span>

class NMailApi {
public:
    static constexpr int BufferSize = 8192; // also option 1's value

    virtual ~NMailApi() = default;

    virtual int NMailInitializeWinSock() = 0;
    virtual int NMailSetOption(int option, int value) = 0;
    // A handle (>= 0), or -1 when no connection could be made.
    virtual int NMailPop3Connect(const QString &server) = 0;
    // Above 0: number of messages; 0: none; below 0: a failure code, its text via NMailGetMessage.
    // apop is -1 for an APOP login, 0 for USER/PASS.
    virtual int NMailPop3Authenticate(
        int handle, const QString &id, const QString &password, int apop)
        = 0;
    virtual int NMailPop3GetMailStatus(int handle, int mailNo, std::span<char> subject,
        std::span<char> from, std::span<char> date, std::span<char> messageId, int flag)
        = 0;
    // The message's size in octets, or -1 on any failure.
    virtual int NMailPop3GetMailSize(int handle, int mailNo) = 0;
    virtual int NMailPop3GetMail(int handle, int mailNo, std::span<char> subject,
        std::span<char> from, std::span<char> date, std::span<char> messageId, std::span<char> body,
        int flag1, int flag2)
        = 0;
    // Writes the last failure's text, NUL-terminated, into buffer; *size holds the buffer's size.
    virtual int NMailGetMessage(int code, std::span<char> buffer, int *size) = 0;
    virtual int NMailPop3Close(int handle) = 0;
    virtual int NMailEndWinSock() = 0;

    // Callable from any thread, also while another call runs: closes at once every connection
    // of the library and the one being made, without QUIT; the call in progress returns its
    // failure (Aborted) within a moment, and later calls on those handles fail at once. Every
    // connect after it fails the same way, before any byte goes out, until allowConnections():
    // a stop that comes before the library's thread has reached its connect is not lost.
    virtual void abortConnections() = 0;
    // On the library's thread, as a check begins its connect: connections may be made again.
    virtual void allowConnections() = 0;
    // The mailbox's size in octets as STAT gave it at login, or -1 (no login, no size given).
    virtual qint64 mailboxOctets(int handle) = 0;
    // Callable from any thread: the octets read so far on the library's connections after login,
    // message data and what was read past included. It only grows: a check subtracts the value
    // it found at its start.
    virtual qint64 receivedOctets() const = 0;
    // Callable from any thread: the certificate refusal of the last connection that failed on
    // one (servertrust.h), once; the window asks the user about it.
    virtual std::optional<CertificateRefusal> takeCertificateRefusal() = 0;
    // The user's yes to a refusal: its certificate is trusted for its server from now on. False
    // when that could not be recorded.
    virtual bool trustCertificate(const CertificateRefusal &refusal) = 0;
};

// Returns the characters before the first NUL, or the text unchanged when it holds none.
QString TrimAtNul(const QString &text);
