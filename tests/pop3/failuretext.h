// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library's last failure text, as the check reads it.
#include "mail/pop3library.h"

#include <QString>
#include <array>

inline QString failureText(Pop3Library &library)
{
    std::array<char, NMailApi::BufferSize> buffer {};
    int size = NMailApi::BufferSize;
    library.NMailGetMessage(0, buffer, &size);
    return QString::fromUtf8(buffer.data());
}
