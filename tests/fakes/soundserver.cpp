// SPDX-License-Identifier: GPL-3.0-or-later
#include "soundserver.h"

#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

namespace {

QProcessEnvironment serverEnvironment(const QString &folder)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", "/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), folder);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder);
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), folder);
    return environment;
}

} // namespace

NullSoundServer::~NullSoundServer()
{
    if (m_server.state() != QProcess::NotRunning) {
        freeze(false);
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
}

QByteArray NullSoundServer::address() const
{
    return "unix:" + QFile::encodeName(m_dir.filePath(QStringLiteral("native")));
}

bool NullSoundServer::start()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (program.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty()) {
        m_error = QStringLiteral("pulseaudio or pactl is missing (Debian: pulseaudio, "
                                 "pulseaudio-utils)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_server.setProcessEnvironment(serverEnvironment(m_dir.path()));
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.start(program,
        { QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
            QStringLiteral("-n"), QStringLiteral("--system=no"),
            QStringLiteral("--use-pid-file=no"), QStringLiteral("--disallow-exit"),
            QStringLiteral("--high-priority=no"), QStringLiteral("--realtime=no"),
            QStringLiteral("--log-target=stderr"),
            QStringLiteral("--load=module-null-sink sink_name=test_null"),
            QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=")
                + m_dir.filePath(QStringLiteral("native")) });
    if (!m_server.waitForStarted(10000)) {
        m_error = QStringLiteral("pulseaudio did not start: ") + m_server.errorString();
        return false;
    }
    const bool up = QTest::qWaitFor(
        [this] {
            return m_server.state() != QProcess::Running
                || control({ QStringLiteral("info") }, nullptr);
        },
        30000);
    if (!up || m_server.state() != QProcess::Running) {
        m_error = QStringLiteral("pulseaudio did not come up: ")
            + QString::fromLocal8Bit(m_server.readAll().right(3000));
        return false;
    }
    return true;
}

bool NullSoundServer::freeze(bool frozen)
{
    const qint64 pid = m_server.processId();
    return pid > 0 && ::kill(pid_t(pid), frozen ? SIGSTOP : SIGCONT) == 0;
}

int NullSoundServer::streamCount()
{
    QByteArray output;
    if (!control({ QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs") },
            &output))
        return -1;
    return int(output.count('\n'));
}

bool NullSoundServer::control(const QStringList &arguments, QByteArray *output)
{
    QProcess pactl;
    pactl.setProcessEnvironment(serverEnvironment(m_dir.path()));
    pactl.start(QStringLiteral("pactl"),
        QStringList { QStringLiteral("--server"), QString::fromLocal8Bit(address()) } + arguments);
    if (!pactl.waitForFinished(10000) || pactl.exitStatus() != QProcess::NormalExit
        || pactl.exitCode() != 0)
        return false;
    if (output)
        *output = pactl.readAllStandardOutput();
    return true;
}
