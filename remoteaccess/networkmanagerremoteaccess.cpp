// SPDX-License-Identifier: GPL-3.0-or-later
#include "remoteaccess/networkmanagerremoteaccess.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QRegularExpression>

namespace {

const QString Service = QStringLiteral("org.freedesktop.NetworkManager");
const QString ManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString ManagerInterface = QStringLiteral("org.freedesktop.NetworkManager");
const QString ActiveInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString SettingsConnectionInterface
    = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage methodCall(const QString &path, const QString &interface, const QString &method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, path, interface, method);
    // Hanging up must never start NetworkManager just to find nothing to end.
    message.setAutoStartService(false);
    return message;
}

int codeForError(const QString &name)
{
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return NetworkManagerRemoteAccess::NoNetworkManager;
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply")
        || name == QLatin1String("org.freedesktop.DBus.Error.Timeout")
        || name == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
        return NetworkManagerRemoteAccess::TimedOut;
    if (name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
        return NetworkManagerRemoteAccess::NoBus;
    return NetworkManagerRemoteAccess::CallFailed;
}

// A reply's first argument, unwrapped from the variant a property Get returns.
QVariant firstArgument(const QDBusMessage &reply)
{
    const QList<QVariant> arguments = reply.arguments();
    if (arguments.isEmpty())
        return {};
    QVariant value = arguments.first();
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

} // namespace

NetworkManagerRemoteAccess::NetworkManagerRemoteAccess()
    : m_timeoutMs(DefaultTimeoutMs)
{
}

NetworkManagerRemoteAccess::NetworkManagerRemoteAccess(const QDBusConnection &bus, int timeoutMs)
    : m_bus(bus)
    , m_timeoutMs(timeoutMs)
{
}

QDBusConnection &NetworkManagerRemoteAccess::bus()
{
    if (!m_bus)
        m_bus = QDBusConnection::systemBus();
    return *m_bus;
}

bool NetworkManagerRemoteAccess::isDialUpType(const QString &type, const QString &bluetoothType)
{
    if (type == QLatin1String("gsm") || type == QLatin1String("cdma")
        || type == QLatin1String("pppoe") || type == QLatin1String("adsl"))
        return true;
    return type == QLatin1String("bluetooth") && bluetoothType == QLatin1String("dun");
}

QString NetworkManagerRemoteAccess::errorText(int code)
{
    switch (code) {
    case Ok:
        return QStringLiteral("成功しました。");
    case NoBus:
        return QStringLiteral("システムバスに接続できません。");
    case NoNetworkManager:
        return QStringLiteral("NetworkManager が動いていません。");
    case TimedOut:
        return QStringLiteral("NetworkManager から時間内に応答がありません。");
    case CallFailed:
        return QStringLiteral("NetworkManager への要求が失敗しました。");
    case BadReply:
        return QStringLiteral("NetworkManager から想定外の応答が返りました。");
    case InvalidHandle:
        return QStringLiteral("接続の指定が正しくありません。");
    }
    return QStringLiteral("不明なエラーです。");
}

int NetworkManagerRemoteAccess::call(const QDBusMessage &message, QDBusMessage *reply)
{
    if (!bus().isConnected()) {
        m_lastErrorDetail = bus().lastError().message();
        return NoBus;
    }
    QDBusMessage answer = bus().call(message, QDBus::Block, m_timeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage) {
        *reply = answer;
        return Ok;
    }
    if (answer.type() == QDBusMessage::ErrorMessage) {
        m_lastErrorDetail = answer.errorName() + QLatin1String(": ") + answer.errorMessage();
        return codeForError(answer.errorName());
    }
    m_lastErrorDetail = QStringLiteral("unexpected message type");
    return BadReply;
}

int NetworkManagerRemoteAccess::getProperties(
    const QString &path, const QString &interface, QVariantMap *properties)
{
    QDBusMessage message = methodCall(path, PropertiesInterface, QStringLiteral("GetAll"));
    message << interface;
    QDBusMessage reply;
    if (const int code = call(message, &reply); code != Ok)
        return code;
    const QVariant value = firstArgument(reply);
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        *properties = value.toMap();
        return Ok;
    }
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        *properties = qdbus_cast<QVariantMap>(value);
        return Ok;
    }
    m_lastErrorDetail = QStringLiteral("GetAll(%1) returned %2").arg(interface, value.typeName());
    return BadReply;
}

// The "type" of the connection's "bluetooth" setting ("dun" or "panu"), or empty when it cannot
// be read; an unreadable Bluetooth connection is then treated as a network link and left up.
QString NetworkManagerRemoteAccess::bluetoothType(const QString &settingsPath)
{
    if (settingsPath.isEmpty() || settingsPath == QLatin1String("/"))
        return {};
    const QDBusMessage message
        = methodCall(settingsPath, SettingsConnectionInterface, QStringLiteral("GetSettings"));
    QDBusMessage reply;
    if (call(message, &reply) != Ok)
        return {};
    const QVariant value = firstArgument(reply);
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return {};
    const auto settings = qdbus_cast<QMap<QString, QVariantMap>>(value);
    return settings.value(QStringLiteral("bluetooth")).value(QStringLiteral("type")).toString();
}

int NetworkManagerRemoteAccess::enumConnections(QList<DialUpConnection> *connections)
{
    m_lastErrorDetail.clear();
    if (!connections)
        return CallFailed;
    connections->clear();

    QDBusMessage message = methodCall(ManagerPath, PropertiesInterface, QStringLiteral("Get"));
    message << ManagerInterface << QStringLiteral("ActiveConnections");
    QDBusMessage reply;
    if (const int code = call(message, &reply); code != Ok)
        return code;
    const QVariant value = firstArgument(reply);
    if (value.metaType() != QMetaType::fromType<QDBusArgument>()) {
        m_lastErrorDetail = QStringLiteral("ActiveConnections is %1").arg(value.typeName());
        return BadReply;
    }
    const auto activePaths = qdbus_cast<QList<QDBusObjectPath>>(value);

    QList<DialUpConnection> found;
    for (const QDBusObjectPath &active : activePaths) {
        if (found.size() >= MaxConnections)
            break;
        QVariantMap properties;
        if (const int code = getProperties(active.path(), ActiveInterface, &properties);
            code != Ok) {
            // A connection that ended since the list was read is simply gone; a manager that has
            // stopped answering fails the whole listing rather than costing a time-out per entry.
            if (code == TimedOut || code == NoBus || code == NoNetworkManager)
                return code;
            continue;
        }
        const QString type = properties.value(QStringLiteral("Type")).toString();
        QString btType;
        if (type == QLatin1String("bluetooth")) {
            const auto settingsPath
                = qvariant_cast<QDBusObjectPath>(properties.value(QStringLiteral("Connection")));
            btType = bluetoothType(settingsPath.path());
        }
        if (!isDialUpType(type, btType))
            continue;
        found.append({ active.path(), properties.value(QStringLiteral("Id")).toString(), type });
    }
    *connections = found;
    return Ok;
}

int NetworkManagerRemoteAccess::hangUp(const QString &handle)
{
    m_lastErrorDetail.clear();
    // QDBusObjectPath would accept anything and the call would then fail to marshal.
    static const QRegularExpression objectPath(QStringLiteral("^/$|^(/[A-Za-z0-9_]+)+$"));
    if (!objectPath.match(handle).hasMatch()) {
        m_lastErrorDetail = QStringLiteral("not an object path: %1").arg(handle);
        return InvalidHandle;
    }
    QDBusMessage message
        = methodCall(ManagerPath, ManagerInterface, QStringLiteral("DeactivateConnection"));
    message << QVariant::fromValue(QDBusObjectPath(handle));
    QDBusMessage reply;
    return call(message, &reply);
}
