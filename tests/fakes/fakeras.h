#pragma once
// A remote access layer with a fixed list of connections that records listings and hang-ups.
#include "mail/remoteaccess.h"

#include <QStringList>

class FakeRas : public RemoteAccess {
public:
    int enumResult = 0;
    QList<DialUpConnection> active;
    QStringList calls;

    int enumConnections(QList<DialUpConnection> *connections) override
    {
        calls.append(QStringLiteral("enum"));
        if (enumResult == 0)
            *connections = active;
        return enumResult;
    }
    int hangUp(const QString &handle) override
    {
        calls.append(QStringLiteral("hangUp %1").arg(handle));
        return 0;
    }
};
