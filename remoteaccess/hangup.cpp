// SPDX-License-Identifier: GPL-3.0-or-later
#include "remoteaccess/hangup.h"

#include <algorithm>

void hangUpDialUpConnections(RemoteAccess &ras)
{
    QList<DialUpConnection> connections;
    if (ras.enumConnections(&connections) != 0)
        return;
    // The layer promises at most MaxConnections; a misbehaving one must not make us hang up more.
    const qsizetype count = std::min<qsizetype>(connections.size(), RemoteAccess::MaxConnections);
    for (qsizetype i = 0; i < count; ++i)
        ras.hangUp(connections.at(i).handle);
}
