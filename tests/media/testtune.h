// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A short Standard MIDI File written by the tests themselves: three piano notes at 120 beats per
// minute, 960 ticks at 480 ticks per beat, so the tune lasts exactly one second.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace testtune {

constexpr int LengthMs = 1000;

inline void appendBigEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xff));
}

inline void appendEvent(QByteArray &track, quint32 delta, std::initializer_list<int> bytes)
{
    QByteArray quantity;
    quantity.prepend(char(delta & 0x7f));
    for (delta >>= 7; delta; delta >>= 7)
        quantity.prepend(char(0x80 | (delta & 0x7f)));
    track.append(quantity);
    for (int byte : bytes)
        track.append(char(byte));
}

inline QByteArray midiBytes()
{
    QByteArray track;
    appendEvent(track, 0, { 0xff, 0x51, 0x03, 0x07, 0xa1, 0x20 }); // 500000 us per beat
    appendEvent(track, 0, { 0xc0, 0x00 });
    appendEvent(track, 0, { 0x90, 60, 100 });
    appendEvent(track, 240, { 0x80, 60, 64 });
    appendEvent(track, 0, { 0x90, 64, 100 });
    appendEvent(track, 240, { 0x80, 64, 64 });
    appendEvent(track, 0, { 0x90, 67, 100 });
    appendEvent(track, 480, { 0x80, 67, 64 });
    appendEvent(track, 0, { 0xff, 0x2f, 0x00 });

    QByteArray file("MThd");
    appendBigEndian(file, 6, 4);
    appendBigEndian(file, 0, 2); // format 0
    appendBigEndian(file, 1, 2); // one track
    appendBigEndian(file, 480, 2); // ticks per beat
    file.append("MTrk");
    appendBigEndian(file, quint32(track.size()), 4);
    file.append(track);
    return file;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace testtune
