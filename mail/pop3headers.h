// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Header fields of a retrieved message as the status and fetch calls hand them out: unfolded,
// RFC 2047 encoded words decoded, UTF-8, cut to the caller's buffer.
#include <QByteArrayView>
#include <QString>
#include <span>

struct MailHeaderFields {
    QString subject;
    QString from;
    QString date;
    QString messageId;
};

// Reads the header section (up to the first empty line) of a raw message.
MailHeaderFields parseMailHeaders(QByteArrayView message);

// Decodes one unfolded header value: encoded words in any charset the system knows, the rest
// as UTF-8 (or Latin-1 when it is not valid UTF-8).
QString decodeHeaderValue(QByteArrayView raw);

// Writes text into buffer as UTF-8 ended by a NUL, cut so that no character is split. An empty
// buffer receives nothing. Returns the number of bytes written before the NUL.
qsizetype writeCutUtf8(std::span<char> buffer, QByteArrayView utf8);
