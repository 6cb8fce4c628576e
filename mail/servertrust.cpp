// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/servertrust.h"

QString formatFingerprint(const QByteArray &sha256)
{
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}
