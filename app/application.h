// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>

// Creates the application, the main window and its collaborators, runs the event loop.
int runBrindle(int argc, char **argv);

// The platform the program asks Qt for, given the environment's QT_QPA_PLATFORM, WAYLAND_DISPLAY
// and DISPLAY; empty leaves the choice to Qt. Wayland gives an ordinary window no way to stay
// above the others, so where the session offers X (XWayland) as well, the program takes X unless
// the user named a platform.
QByteArray platformForSession(
    const QByteArray &qpaPlatform, const QByteArray &waylandDisplay, const QByteArray &display);
