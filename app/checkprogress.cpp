// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/checkprogress.h"

#include <algorithm>

QString CheckProgress::messagesText() const
{
    switch (phase) {
    case Phase::Connecting:
        return QStringLiteral("接続中…");
    case Phase::LoggingIn:
        return QStringLiteral("ログイン中…");
    case Phase::Fetching:
        break;
    }
    return QStringLiteral("%1/%2").arg(reached).arg(count);
}

QString CheckProgress::octetsText() const
{
    if (phase != Phase::Fetching || totalOctets < 0)
        return {};
    // Status and LIST lines are read too, and stuffed dots: the count may pass the size.
    const qint64 read = std::clamp<qint64>(readOctets, 0, totalOctets);
    if (totalOctets < 1000)
        return QStringLiteral("%1 / %2 B").arg(read).arg(totalOctets);
    static const QString units[]
        = { QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB") };
    double scale = 1000;
    int unit = 0;
    // The unit in which the total, rounded to one decimal, stays below 1000.
    while (unit < 2 && double(totalOctets) / scale >= 999.95) {
        scale *= 1000;
        ++unit;
    }
    return QStringLiteral("%1 / %2 %3")
        .arg(double(read) / scale, 0, 'f', 1)
        .arg(double(totalOctets) / scale, 0, 'f', 1)
        .arg(units[unit]);
}
