// SPDX-License-Identifier: GPL-3.0-or-later
#include "scenes/mediainterpreter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstring>

namespace {

QString aliasKey(const QString &alias)
{
    return alias.toLower();
}

bool isSequencerFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1StringView("mid") || suffix == QLatin1StringView("midi");
}

} // namespace

QString mediaModeText(MediaMode mode)
{
    switch (mode) {
    case MediaMode::Playing:
        return QStringLiteral("playing");
    case MediaMode::Stopped:
        return QStringLiteral("stopped");
    case MediaMode::Paused:
        return QStringLiteral("paused");
    case MediaMode::NotReady:
        break;
    }
    return QStringLiteral("not ready");
}

MediaCommandInterpreter::MediaCommandInterpreter(FluidSequencerOptions options)
    : m_preload(std::make_shared<FluidPreload>(options.soundFontPath))
    , m_makeSequencer(
          [options = std::move(options), preload = m_preload]() -> std::unique_ptr<MediaDevice> {
              return std::make_unique<FluidSequencer>(options, preload);
          })
{
}

MediaCommandInterpreter::MediaCommandInterpreter(SequencerFactory makeSequencer)
    : m_makeSequencer(std::move(makeSequencer))
{
}

MediaCommandInterpreter::~MediaCommandInterpreter() = default;

int MediaCommandInterpreter::sendString(const QString &command, char *reply, int replySize)
{
    if (!reply || replySize < 0)
        replySize = 0;

    const MediaParse parsed = parseMediaCommand(command);
    QByteArray text;
    const int code = parsed.ok() ? execute(parsed.command, text) : parsed.error;

    if (code == MediaError::None && (text.isEmpty() || text.size() < replySize)) {
        if (replySize > 0)
            std::memcpy(reply, text.constData(), size_t(text.size()) + 1);
        return MediaError::None;
    }
    // A failed command, or a reply that does not fit with its NUL, leaves the buffer empty.
    if (replySize > 0)
        reply[0] = '\0';
    return code == MediaError::None ? int(MediaError::ReplyTooLong) : code;
}

void MediaCommandInterpreter::prepare()
{
    if (m_preload && m_devices.isEmpty())
        m_preload->start();
}

int MediaCommandInterpreter::execute(const MediaCommand &command, QByteArray &reply)
{
    reply.clear();

    if (const auto *open = std::get_if<MediaOpen>(&command)) {
        const QString key = aliasKey(open->alias);
        if (m_devices.contains(key))
            return MediaError::AliasInUse;
        if (!isSequencerFile(open->path))
            return MediaError::UnsupportedDevice;
        std::unique_ptr<MediaDevice> device = m_makeSequencer ? m_makeSequencer() : nullptr;
        if (!device)
            return MediaError::DeviceFailed;
        if (const int code = device->open(open->path); code != MediaError::None)
            return code;
        m_devices.insert(key, std::shared_ptr<MediaDevice>(std::move(device)));
        return MediaError::None;
    }
    if (const auto *close = std::get_if<MediaClose>(&command)) {
        // Taking the device out first keeps the table consistent while it shuts down.
        const std::shared_ptr<MediaDevice> device = m_devices.take(aliasKey(close->alias));
        return device ? int(MediaError::None) : int(MediaError::UnknownAlias);
    }

    const QString alias = std::visit([](const auto &c) { return c.alias; }, command);
    MediaDevice *target = device(alias);
    if (!target)
        return MediaError::UnknownAlias;

    if (const auto *play = std::get_if<MediaPlay>(&command))
        return target->play(play->fromStart);
    if (std::holds_alternative<MediaStop>(command))
        return target->stop();
    if (std::holds_alternative<MediaStatusMode>(command)) {
        reply = mediaModeText(target->mode()).toLatin1();
        return MediaError::None;
    }
    return MediaError::UnknownCommand;
}

bool MediaCommandInterpreter::isOpen(const QString &alias) const
{
    return device(alias) != nullptr;
}

MediaDevice *MediaCommandInterpreter::device(const QString &alias) const
{
    const auto it = m_devices.constFind(aliasKey(alias));
    return it == m_devices.constEnd() ? nullptr : it->get();
}
