// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A media-command layer that records every command with the reply size it was offered, and
// prepare() as "prepare", and answers status queries from a queue ("playing" when the queue is
// empty and a tune is open).
#include "scenes/mediacommand.h"

#include <QStringList>
#include <cstring>

class FakeMedia : public MediaCommandLayer {
public:
    QStringList commands;
    QStringList statusReplies;
    bool open = false;

    int sendString(const QString &command, char *reply, int replySize) override
    {
        commands.append(
            replySize ? QStringLiteral("%1 [%2]").arg(command).arg(replySize) : command);
        if (command.startsWith(QLatin1String("open "))) {
            if (open)
                return MediaError::AliasInUse;
            open = true;
            return 0;
        }
        if (command == QLatin1String("close bgm")) {
            const bool wasOpen = open;
            open = false;
            return wasOpen ? 0 : MediaError::UnknownAlias;
        }
        if (command.startsWith(QLatin1String("status "))) {
            if (!open)
                return MediaError::UnknownAlias;
            const QByteArray answer
                = (statusReplies.isEmpty() ? QStringLiteral("playing") : statusReplies.takeFirst())
                      .toUtf8();
            if (answer.size() + 1 > replySize)
                return MediaError::ReplyTooLong;
            std::memcpy(reply, answer.constData(), size_t(answer.size()) + 1);
            return 0;
        }
        return open ? 0 : MediaError::UnknownAlias;
    }
    void prepare() override { commands.append(QStringLiteral("prepare")); }
};
