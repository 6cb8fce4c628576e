// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// How far a running check is, as the window shows it beside 中止: the phase while the check
// connects and logs in, then the messages read and, when the mailbox's size is known, the part of
// it read.
struct CheckProgress {
    enum class Phase { Connecting, LoggingIn, Fetching };

    Phase phase = Phase::Connecting;
    int reached = 0; // the message being read, from 1
    int count = 0;
    qint64 readOctets = 0;
    qint64 totalOctets = -1; // unknown

    // "接続中…", "ログイン中…", or "12/345".
    QString messagesText() const;
    // "12.3 / 45.6 MB", or empty while nothing is fetched or the size is unknown. Units are
    // decimal (1 KB = 1000 bytes), the same for both numbers and chosen by the total, with one
    // decimal (whole bytes below 1 KB); the part read never shows more than the whole.
    QString octetsText() const;

    bool operator==(const CheckProgress &) const = default;
};
