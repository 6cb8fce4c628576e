// SPDX-License-Identifier: GPL-3.0-or-later
#include "scenes/backgroundtune.h"

#include "scenes/mediacommand.h"
#include "core/programfolder.h"

#include <QTimer>
#include <cstring>

namespace {
constexpr int StatusReplySize = 255;
}

BackgroundTune::BackgroundTune(
    MediaCommandLayer &media, QTimer &watcher, std::function<bool()> loopTicked)
    : m_media(media)
    , m_watcher(watcher)
    , m_loopTicked(std::move(loopTicked))
{
}

QString BackgroundTune::openCommand()
{
    return QStringLiteral("open \"") + programFolder() + QStringLiteral("/Sound/Kouka.mid")
        + QStringLiteral("\" alias bgm");
}

void BackgroundTune::send(const QString &command)
{
    m_media.sendString(command, nullptr, 0);
}

void BackgroundTune::prepare()
{
    m_media.prepare();
}

void BackgroundTune::play()
{
    // While the tune plays, the open fails (the alias is in use) and "play" lets it go on.
    send(openCommand());
    send(QStringLiteral("play bgm"));
    m_watcher.start();
}

void BackgroundTune::stop()
{
    stopAndClose();
    m_watcher.stop();
}

void BackgroundTune::stopAndClose()
{
    send(QStringLiteral("stop bgm"));
    send(QStringLiteral("close bgm"));
}

void BackgroundTune::watchTick()
{
    std::memset(m_reply, 0, sizeof m_reply);
    m_media.sendString(QStringLiteral("status bgm mode"), m_reply, StatusReplySize);
    if (std::strncmp(m_reply, "stopped", 7) != 0)
        return;
    if (m_loopTicked()) {
        send(QStringLiteral("play bgm from 0"));
    } else {
        stopAndClose();
        m_watcher.stop();
    }
}
