// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include <gtest/gtest.h>

TEST(PlatformForSession, XWhereWaylandOffersItUnlessTheUserChose)
{
    const struct {
        QByteArray qpaPlatform, waylandDisplay, display, chosen;
    } rows[] = {
        { "", "wayland-0", ":0", "xcb" },
        { "wayland", "wayland-0", ":0", "" },
        { "offscreen", "wayland-0", ":0", "" },
        { "", "wayland-0", "", "" }, // Wayland alone: nothing else to take
        { "", "", ":0", "" }, // an X session: Qt takes X anyway
        { "", "", "", "" },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(
            (row.qpaPlatform + "|" + row.waylandDisplay + "|" + row.display).toStdString());
        EXPECT_EQ(platformForSession(row.qpaPlatform, row.waylandDisplay, row.display), row.chosen);
    }
}
