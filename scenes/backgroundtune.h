// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scenes room (scenes/): the scene pane, the background tune and the media-command layer
// under it, on Qt and the ground floor (core/) for the program folder. It knows nothing of the
// settings, the mail library or the main window, which drives it.
//
// The background tune: one MIDI file under the alias "bgm", driven through the media-command
// layer. Play opens and starts it and enables the watcher; the watcher (every 100 ms) asks for
// the tune's mode and, once it has run out, plays it again from the start while the loop box is
// ticked, or closes it. No command's result is examined: a missing file or a silent machine
// leaves the program quiet, never stuck.
#include <QString>
#include <functional>

class MediaCommandLayer;
class QTimer;

class BackgroundTune {
public:
    BackgroundTune(MediaCommandLayer &media, QTimer &watcher, std::function<bool()> loopTicked);

    static QString openCommand(); // open "<program folder>/Sound/Kouka.mid" alias bgm

    // Readies the tune's first open off the window's thread (MediaCommandLayer::prepare), so that
    // play() after it does not wait for the sound libraries and the SoundFont. A check calls it
    // when it starts; its result plays the tune.
    void prepare();
    void play(); // the "再生" button
    void stop(); // the "停止" button
    void watchTick(); // each tick of the watcher
    // "stop bgm" then "close bgm", leaving the watcher as it is (idle scene, start-up, shutdown).
    void stopAndClose();

private:
    void send(const QString &command);

    MediaCommandLayer &m_media;
    QTimer &m_watcher;
    std::function<bool()> m_loopTicked;
    // The status reply lands here; it lives as long as the tune.
    char m_reply[256] = {};
};
