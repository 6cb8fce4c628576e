// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A remote access layer with a fixed list of connections that records listings and hang-ups.
#include "remoteaccess/remoteaccess.h"

#include <QStringList>

class FakeRas : public RemoteAccess {
public:
    int enumResult = 0;
    int hangUpResult = 0;
    // Handed out even when the listing fails: a failing layer may have filled the list anyway.
    QList<DialUpConnection> active;
    QStringList calls;

    int enumConnections(QList<DialUpConnection> *connections) override
    {
        calls.append(QStringLiteral("enum"));
        *connections = active;
        return enumResult;
    }
    int hangUp(const QString &handle) override
    {
        calls.append(QStringLiteral("hangUp %1").arg(handle));
        return hangUpResult;
    }
};
