// SPDX-License-Identifier: GPL-3.0-or-later
// NetworkManagerRemoteAccess against python3-dbusmock's networkmanager template, on a private
// bus that each test starts for itself.
#include "remoteaccess/hangup.h"
#include "remoteaccess/networkmanagerremoteaccess.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

using NMSettings = QMap<QString, QVariantMap>;

const QString NMService = QStringLiteral("org.freedesktop.NetworkManager");
const QString NMPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString MockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

// A dbus-daemon of our own, listening on a socket in a temporary folder.
class PrivateBus {
public:
    bool start(QString *error)
    {
        if (!m_dir.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
        m_daemon.start(QStringLiteral("dbus-daemon"),
            { QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--print-address"),
                QStringLiteral("--address=unix:path=%1/bus").arg(m_dir.path()) });
        if (!m_daemon.waitForStarted(10000)) {
            *error = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
            return false;
        }
        QDeadlineTimer deadline(10000);
        while (!m_daemon.canReadLine()) {
            if (deadline.hasExpired()
                || !m_daemon.waitForReadyRead(int(deadline.remainingTime()))) {
                *error = QStringLiteral("dbus-daemon printed no address: ")
                    + QString::fromLocal8Bit(m_daemon.readAllStandardError());
                return false;
            }
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return !m_address.isEmpty();
    }

    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    QString address() const { return m_address; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

class NetworkManagerRemoteAccessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qDBusRegisterMetaType<NMSettings>();
        QString error;
        ASSERT_TRUE(m_bus.start(&error)) << error.toStdString();
        m_connectionName = QStringLiteral("remoteaccess-test-%1").arg(++s_serial);
        m_connection = QDBusConnection::connectToBus(m_bus.address(), m_connectionName);
        ASSERT_TRUE(m_connection.isConnected()) << m_connection.lastError().message().toStdString();
    }

    void TearDown() override
    {
        for (QProcess *process : { &m_mock, &m_silent }) {
            process->kill();
            process->waitForFinished(5000);
        }
        QDBusConnection::disconnectFromBus(m_connectionName);
    }

    // Starts a process that is to claim NetworkManager's name and waits, bounded, until it has.
    void startNetworkManager(QProcess &process, const QString &program, const QStringList &args)
    {
        QDBusServiceWatcher watcher(
            NMService, m_connection, QDBusServiceWatcher::WatchForRegistration);
        QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_bus.address());
        process.setProcessEnvironment(env);
        // The mock logs every call: into a file, as a pipe nobody reads would fill and stall it.
        const QString log
            = m_bus.folder() + QStringLiteral("/%1.log").arg(QFileInfo(program).baseName());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(log);
        process.start(program, args);
        ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
        if (!m_connection.interface()->isServiceRegistered(NMService))
            ASSERT_TRUE(registered.wait(20000))
                << "NetworkManager never appeared: " << readFile(log).toStdString();
    }

    void startMock()
    {
        startNetworkManager(m_mock, QStringLiteral("/usr/bin/python3"),
            { QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                QStringLiteral("--template"), QStringLiteral("networkmanager") });
    }

    // One call on the mock; fails the test on a D-Bus error.
    QDBusMessage callMock(const QString &path, const QString &interface, const QString &method,
        const QVariantList &args)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(NMService, path, interface, method);
        message.setArguments(args);
        const QDBusMessage reply = m_connection.call(message, QDBus::Block, 10000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
        return reply;
    }

    QString addEthernetDevice()
    {
        const QDBusMessage reply
            = callMock(NMPath, MockInterface, QStringLiteral("AddEthernetDevice"),
                { QStringLiteral("eth0"), QStringLiteral("eth0"), 100 });
        return reply.arguments().value(0).toString();
    }

    // Stores a connection profile of this type and makes it active (state 2, activated) under
    // the object name `name`; returns the active connection's path.
    QString addActive(const QString &name, const QString &type, const QStringList &devices = {},
        const NMSettings &extra = {})
    {
        NMSettings settings = extra;
        settings[QStringLiteral("connection")] = QVariantMap {
            { QStringLiteral("id"), name },
            { QStringLiteral("type"), type },
            { QStringLiteral("uuid"), QUuid::createUuid().toString(QUuid::WithoutBraces) },
        };
        const QDBusMessage added = callMock(NMPath + QStringLiteral("/Settings"),
            QStringLiteral("org.freedesktop.NetworkManager.Settings"),
            QStringLiteral("AddConnection"), { QVariant::fromValue(settings) });
        const auto settingsPath = qvariant_cast<QDBusObjectPath>(added.arguments().value(0));
        const QDBusMessage active
            = callMock(NMPath, MockInterface, QStringLiteral("AddActiveConnection"),
                { devices, settingsPath.path(), QStringLiteral("/"), name, 2u });
        return active.arguments().value(0).toString();
    }

    QStringList activeConnections()
    {
        const QDBusMessage reply
            = callMock(NMPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("Get"), { NMService, QStringLiteral("ActiveConnections") });
        const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
        QStringList paths;
        for (const QDBusObjectPath &path : qdbus_cast<QList<QDBusObjectPath>>(value))
            paths << path.path();
        return paths;
    }

    // The argument of every DeactivateConnection the mock received, in order.
    QStringList deactivated()
    {
        const QDBusMessage reply = callMock(NMPath, MockInterface, QStringLiteral("GetMethodCalls"),
            { QStringLiteral("DeactivateConnection") });
        QStringList paths;
        const auto calls = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
        calls.beginArray();
        while (!calls.atEnd()) {
            qulonglong time = 0;
            QVariantList args;
            calls.beginStructure();
            calls >> time >> args;
            calls.endStructure();
            const QVariant arg = args.value(0);
            paths << (arg.metaType() == QMetaType::fromType<QDBusObjectPath>()
                    ? qvariant_cast<QDBusObjectPath>(arg).path()
                    : arg.toString());
        }
        calls.endArray();
        return paths;
    }

    static QStringList handles(const QList<DialUpConnection> &connections)
    {
        QStringList list;
        for (const DialUpConnection &c : connections)
            list << c.handle;
        return list;
    }

    static inline int s_serial = 0;
    PrivateBus m_bus;
    QString m_connectionName;
    QDBusConnection m_connection { QString() };
    QProcess m_mock;
    QProcess m_silent;
};

TEST_F(NetworkManagerRemoteAccessTest, ListsOnlyDialUpKindsInTheManagersOrder)
{
    startMock();
    const QString eth = addEthernetDevice();
    const QString cdma = addActive(QStringLiteral("cdma0"), QStringLiteral("cdma"));
    addActive(QStringLiteral("wired"), QStringLiteral("802-3-ethernet"), { eth });
    addActive(QStringLiteral("wlan"), QStringLiteral("802-11-wireless"));
    const QString adsl = addActive(QStringLiteral("adsl0"), QStringLiteral("adsl"));
    addActive(QStringLiteral("office"), QStringLiteral("vpn"));
    const QString gsm = addActive(QStringLiteral("gsm0"), QStringLiteral("gsm"));

    NetworkManagerRemoteAccess ras(m_connection);
    QList<DialUpConnection> connections;
    ASSERT_EQ(ras.enumConnections(&connections), NetworkManagerRemoteAccess::Ok)
        << ras.lastErrorDetail().toStdString();
    ASSERT_EQ(handles(connections), (QStringList { cdma, adsl, gsm }));
    EXPECT_EQ(connections[0].name, QStringLiteral("cdma0"));
    EXPECT_EQ(connections[0].type, QStringLiteral("cdma"));
    EXPECT_EQ(connections[2].name, QStringLiteral("gsm0"));
    EXPECT_EQ(connections[2].type, QStringLiteral("gsm"));
}

TEST_F(NetworkManagerRemoteAccessTest, HangUpEndsGsmAndPppoeInOrderAndLeavesEthernetUp)
{
    startMock();
    // The template only takes an active connection down through a device, so there is one.
    const QString eth = addEthernetDevice();
    const QString gsm = addActive(QStringLiteral("gsm0"), QStringLiteral("gsm"));
    const QString wired
        = addActive(QStringLiteral("wired"), QStringLiteral("802-3-ethernet"), { eth });
    const QString pppoe = addActive(QStringLiteral("dsl0"), QStringLiteral("pppoe"));
    ASSERT_EQ(activeConnections(), (QStringList { gsm, wired, pppoe }));

    NetworkManagerRemoteAccess ras(m_connection);
    hangUpDialUpConnections(ras);

    EXPECT_EQ(deactivated(), (QStringList { gsm, pppoe }));
    EXPECT_EQ(activeConnections(), QStringList { wired });

    // Nothing dial-up is left, so a second hang-up sends nothing more.
    hangUpDialUpConnections(ras);
    EXPECT_EQ(deactivated(), (QStringList { gsm, pppoe }));
}

TEST_F(NetworkManagerRemoteAccessTest, BluetoothCountsOnlyAsDialUpNetworking)
{
    startMock();
    const auto bluetooth = [](const char *kind) {
        return NMSettings { { QStringLiteral("bluetooth"),
            QVariantMap { { QStringLiteral("type"), QString::fromLatin1(kind) },
                { QStringLiteral("bdaddr"), QByteArray::fromHex("001122334455") } } } };
    };
    addActive(QStringLiteral("tether"), QStringLiteral("bluetooth"), {}, bluetooth("panu"));
    const QString dun
        = addActive(QStringLiteral("phone"), QStringLiteral("bluetooth"), {}, bluetooth("dun"));
    addActive(QStringLiteral("bare"), QStringLiteral("bluetooth"));

    NetworkManagerRemoteAccess ras(m_connection);
    QList<DialUpConnection> connections;
    ASSERT_EQ(ras.enumConnections(&connections), NetworkManagerRemoteAccess::Ok);
    EXPECT_EQ(handles(connections), QStringList { dun });
}

TEST_F(NetworkManagerRemoteAccessTest, ListsAtMost256)
{
    startMock();
    QStringList first;
    for (int i = 0; i < RemoteAccess::MaxConnections + 4; ++i) {
        const QString path = addActive(QStringLiteral("gsm%1").arg(i), QStringLiteral("gsm"));
        if (i < RemoteAccess::MaxConnections)
            first << path;
    }

    NetworkManagerRemoteAccess ras(m_connection);
    QList<DialUpConnection> connections;
    ASSERT_EQ(ras.enumConnections(&connections), NetworkManagerRemoteAccess::Ok);
    EXPECT_EQ(handles(connections), first);
}

TEST_F(NetworkManagerRemoteAccessTest, MissingNetworkManagerFailsAtOnce)
{
    NetworkManagerRemoteAccess ras(m_connection);
    QList<DialUpConnection> connections { { QStringLiteral("/stale"), QString(), QString() } };
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ras.enumConnections(&connections), NetworkManagerRemoteAccess::NoNetworkManager);
    EXPECT_TRUE(connections.isEmpty());
    EXPECT_EQ(ras.hangUp(QStringLiteral("/org/freedesktop/NetworkManager/ActiveConnection/1")),
        NetworkManagerRemoteAccess::NoNetworkManager);
    hangUpDialUpConnections(ras);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(NetworkManagerRemoteAccess::errorText(NetworkManagerRemoteAccess::NoNetworkManager)
                     .isEmpty());
}

TEST_F(NetworkManagerRemoteAccessTest, SilentNetworkManagerCostsOnlyTheTimeOut)
{
    startNetworkManager(m_silent, QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(BRINDLE_SOURCE_DIR "/tests/remoteaccess/silent_networkmanager.py"),
            m_bus.address() });
    NetworkManagerRemoteAccess ras(m_connection, 300);
    QList<DialUpConnection> connections;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ras.enumConnections(&connections), NetworkManagerRemoteAccess::TimedOut);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(connections.isEmpty());
}

TEST_F(NetworkManagerRemoteAccessTest, NoBusFailsAtOnce)
{
    const QString name = QStringLiteral("remoteaccess-test-nobus");
    QTemporaryDir dir;
    QDBusConnection dead = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=%1/nothing-here").arg(dir.path()), name);
    {
        NetworkManagerRemoteAccess ras(dead);
        QList<DialUpConnection> connections;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(ras.enumConnections(&connections), NetworkManagerRemoteAccess::NoBus);
        EXPECT_EQ(ras.hangUp(QStringLiteral("/x")), NetworkManagerRemoteAccess::NoBus);
        EXPECT_LT(clock.elapsed(), 1000);
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST_F(NetworkManagerRemoteAccessTest, HandleThatIsNoObjectPathIsRefusedUnsent)
{
    startMock();
    NetworkManagerRemoteAccess ras(m_connection);
    EXPECT_EQ(ras.hangUp(QStringLiteral("gsm0")), NetworkManagerRemoteAccess::InvalidHandle);
    EXPECT_EQ(ras.hangUp(QString()), NetworkManagerRemoteAccess::InvalidHandle);
    EXPECT_EQ(ras.hangUp(QStringLiteral("/a//b")), NetworkManagerRemoteAccess::InvalidHandle);
    EXPECT_TRUE(deactivated().isEmpty());
}

} // namespace
