// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The POP3 library's failure codes, shared by the library and the session below it.

// Results below zero. NMailPop3Connect only ever returns -1 (ConnectFailed); the reason is in the
// failure text.
enum class Pop3Error : int {
    ConnectFailed = -1,
    LoginRefused = -2, // the server's own -ERR text is in the failure text
    ApopUnavailable = -3, // no usable timestamp in the greeting
    TlsFailed = -4,
    TimedOut = -5,
    ConnectionLost = -6,
    ProtocolError = -7, // the server broke the protocol (over-long or malformed reply)
    ServerError = -8, // -ERR to a command after login, such as RETR of a missing message
    BadHandle = -9, // unknown or closed handle
    InvalidState = -10, // e.g. a message call before a successful login
    InvalidArgument = -11, // e.g. a user name holding a line break
    MessageTooLarge = -12, // 2 GiB or more
    Aborted = -13, // the connection was cut from another thread (a check stopped by the user)
};
