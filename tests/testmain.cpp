// SPDX-License-Identifier: GPL-3.0-or-later
// Shared main() for the GoogleTest executables: a QApplication on the offscreen platform, so
// widgets, timers and sockets work the same under ctest and when a test binary is run by hand.
#include <QApplication>
#include <gtest/gtest.h>

namespace {
QtMessageHandler g_defaultHandler = nullptr;

// The offscreen platform warns on every raise(); that noise hides real warnings.
void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    g_defaultHandler(type, context, message);
}
} // namespace

int main(int argc, char **argv)
{
    g_defaultHandler = qInstallMessageHandler(filterMessages);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
