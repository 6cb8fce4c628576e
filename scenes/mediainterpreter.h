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
    // clock). Nothing is loaded before the first "open".
    explicit MediaCommandInterpreter(FluidSequencerOptions options = {});
    // Any sequencer, for tests.
    explicit MediaCommandInterpreter(SequencerFactory makeSequencer);
    ~MediaCommandInterpreter() override;

    int sendString(const QString &command, char *reply, int replySize) override;

    // Runs one parsed command; reply receives the reply text (empty for all but status).
    int execute(const MediaCommand &command, QByteArray &reply);

    bool isOpen(const QString &alias) const;

private:
    MediaDevice *device(const QString &alias) const;

    SequencerFactory m_makeSequencer;
    QHash<QString, std::shared_ptr<MediaDevice>> m_devices; // by lower-case alias
};
