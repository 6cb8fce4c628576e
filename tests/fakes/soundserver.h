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

private:
    bool control(const QStringList &arguments, QByteArray *output);

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_error;
};
