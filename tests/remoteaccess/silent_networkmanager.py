# SPDX-License-Identifier: GPL-3.0-or-later
"""Owns org.freedesktop.NetworkManager on the bus given as argv[1] and never answers a call.

It holds the name until its standard input closes. Without a main loop dbus-python reads no
incoming calls, so every caller waits for its own time-out.
"""
import sys

import dbus

bus = dbus.bus.BusConnection(sys.argv[1])
bus.request_name('org.freedesktop.NetworkManager', dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
print('ready', flush=True)
sys.stdin.read()
