// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A throwaway PulseAudio server for tests: one null sink, reached through a unix socket in a
// temporary folder, so that what plays goes nowhere but passes through a real sound server.
//
//   NullSoundServer sound;
//   ASSERT_TRUE(sound.start()) << sound.errorText().toStdString(); // never skipped
//   qputenv("PULSE_SERVER", sound.address());
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class NullSoundServer {
public:
    NullSoundServer() = default;
    ~NullSoundServer(); // stops the server
    NullSoundServer(const NullSoundServer &) = delete;
    NullSoundServer &operator=(const NullSoundServer &) = delete;

    // Starts the server and waits (bounded) until it answers. False when PulseAudio is missing
    // or does not come up; errorText() then says why.
    bool start();
    QString errorText() const { return m_error; }

    // The server address, as PULSE_SERVER takes it.
    QByteArray address() const;
    // The playback streams connected now, or -1 when the server cannot be asked.
    int streamCount();

    // Stops the server's process (SIGSTOP) or lets it go on (SIGCONT): a frozen server accepts
    // connections into its socket's backlog and takes what fits in its queue, then answers
    // nothing. False when the signal cannot be sent.
    bool freeze(bool frozen);

private:
    bool control(const QStringList &arguments, QByteArray *output);

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_error;
};
