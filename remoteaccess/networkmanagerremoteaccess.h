// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The remote access layer over NetworkManager's D-Bus API (system bus, through Qt DBus).
//  - Listing reads the manager's ActiveConnections and keeps, in that order, the dial-up kinds:
//    "gsm", "cdma", "pppoe", "adsl", and "bluetooth" when the connection's Bluetooth setting is
//    "dun" (a modem reached over Bluetooth; "panu" is a network link and stays up).
//  - Hanging up is the manager's DeactivateConnection on the active connection's object path.
//  - Every call is a plain blocking message with its own time-out, so a missing or stuck
//    NetworkManager costs at most a few seconds and never an introspection round-trip.
//  - The system bus is reached at the first call, not when the object is made: the program
//    makes one at start, and most runs never hang up.
#include "remoteaccess/remoteaccess.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <optional>

class NetworkManagerRemoteAccess : public RemoteAccess {
public:
    enum Code {
        Ok = 0,
        NoBus = 1, // no system bus to talk to
        NoNetworkManager = 2, // nobody owns org.freedesktop.NetworkManager
        TimedOut = 3, // NetworkManager did not answer in time
        CallFailed = 4, // any other D-Bus error
        BadReply = 5, // an answer of an unexpected shape
        InvalidHandle = 6, // hangUp() given something that is not an object path
    };

    static constexpr int DefaultTimeoutMs = 3000;

    // On the system bus.
    NetworkManagerRemoteAccess();
    explicit NetworkManagerRemoteAccess(
        const QDBusConnection &bus, int timeoutMs = DefaultTimeoutMs);

    int enumConnections(QList<DialUpConnection> *connections) override;
    int hangUp(const QString &handle) override;

    // The human text of a code, and the details of the last failure (the D-Bus error, if any).
    static QString errorText(int code);
    QString lastErrorDetail() const { return m_lastErrorDetail; }

    // Whether an active connection of this NetworkManager type is a dial-up kind. For
    // "bluetooth" the answer also needs the connection's Bluetooth type.
    static bool isDialUpType(const QString &type, const QString &bluetoothType = QString());

private:
    // Sends one call and waits for its answer at most m_timeoutMs. On failure returns the code
    // and remembers the detail; *reply is set only on success.
    int call(const QDBusMessage &message, QDBusMessage *reply);
    int getProperties(const QString &path, const QString &interface, QVariantMap *properties);
    QString bluetoothType(const QString &settingsPath);

    QDBusConnection &bus();

    std::optional<QDBusConnection> m_bus;
    int m_timeoutMs;
    QString m_lastErrorDetail;
};
