// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The media-command interpreter: sendString() parses the text with parseMediaCommand()
// (mediaparser.h) and runs the command against the open aliases, one MediaDevice each. The
// device is chosen by the file's extension: ".mid" and ".midi" open the MIDI sequencer; nothing
// else is supported. Aliases are case-insensitive, as the command keywords are.
#include "scenes/fluidsequencer.h"
#include "scenes/mediacommand.h"
#include "scenes/mediadevice.h"
#include "scenes/mediaparser.h"

#include <QByteArray>
#include <QHash>
#include <functional>
#include <memory>

class MediaCommandInterpreter : public MediaCommandLayer {
public:
    using SequencerFactory = std::function<std::unique_ptr<MediaDevice>()>;

    // The real thing: FluidSynth sequencers with the given options (SoundFont, audio drivers,
    // clock). Nothing is loaded before the first "open" or prepare().
    explicit MediaCommandInterpreter(FluidSequencerOptions options = {});
    // Any sequencer, for tests.
    explicit MediaCommandInterpreter(SequencerFactory makeSequencer);
    ~MediaCommandInterpreter() override;

    int sendString(const QString &command, char *reply, int replySize) override;
    // Loads FluidSynth and the SoundFont into a synth on a thread of its own (FluidPreload) for
    // the next open, which takes it. Does nothing while a tune is open (its open is done), while
    // a synth waits for an open, or for the sequencers of tests.
    void prepare() override;

    // Runs one parsed command; reply receives the reply text (empty for all but status).
    int execute(const MediaCommand &command, QByteArray &reply);

    bool isOpen(const QString &alias) const;

private:
    MediaDevice *device(const QString &alias) const;

    std::shared_ptr<FluidPreload> m_preload; // the real sequencers' only
    SequencerFactory m_makeSequencer;
    QHash<QString, std::shared_ptr<MediaDevice>> m_devices; // by lower-case alias
};
