// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starts a check from the main window's menu and runs the event loop until it has ended.
#include "app/mainform.h"

#include <QAction>
#include <QSignalSpy>

inline bool checkFromMenu(MainForm &form, int timeoutMs = 20000)
{
    QSignalSpy ended(&form, &MainForm::checkEnded);
    form.menuAction(QStringLiteral("mcheck"))->trigger();
    return !form.isChecking() || ended.wait(timeoutMs);
}
