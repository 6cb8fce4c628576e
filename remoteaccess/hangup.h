// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dial-up hang-up that ends a mail check when the hang-up option is ticked: the main window's
// Command5_Click runs it with the program's remote access layer.
#include "remoteaccess/remoteaccess.h"

// One listing; when it succeeds, every listed connection is hung up in the listed order and the
// results are not looked at. A failed listing does nothing more, and nothing is shown either way.
void hangUpDialUpConnections(RemoteAccess &ras);
