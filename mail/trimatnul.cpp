// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/nmail.h"

QString TrimAtNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}
