// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The remote access room (remoteaccess/): the dial-up connections and their hang-up, on Qt Core
// and Qt DBus alone. It knows nothing of the mail check that calls it and never shows anything.
//
// The remote access layer: the computer's active dial-up connections, listed in the system's
// order, and hung up one by one. NetworkManagerRemoteAccess (networkmanagerremoteaccess.h) serves
// it over NetworkManager's D-Bus API; tests use a recording fake.
#include <QList>
#include <QString>

struct DialUpConnection {
    QString handle; // what hangUp() takes: NetworkManager's active-connection object path
    QString name;
    QString type;
};

class RemoteAccess {
public:
    static constexpr int MaxConnections = 256;

    virtual ~RemoteAccess() = default;
    // 0 and at most MaxConnections dial-up connections, or a non-zero code.
    virtual int enumConnections(QList<DialUpConnection> *connections) = 0;
    virtual int hangUp(const QString &handle) = 0;
};
