// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QString>
#include <functional>

// Every modal message box goes through one Prompter, so that tests can answer and record the
// boxes. Styles and answers use the classic message-box numbers the program's handlers speak in.
class Prompter {
public:
    enum Style {
        OkOnly = 0,
        YesNo = 4,
        Question = 32,
        Exclamation = 48,
        Information = 64,
        DefaultButton2 = 256, // the second button (No) is the default
    };
    enum Answer {
        IdOk = 1,
        IdYes = 6,
        IdNo = 7,
    };

    virtual ~Prompter() = default;
    // Shows a modal box and returns the button pressed. An empty caption means the program's title.
    virtual int msgBox(const QString &text, int style, const QString &caption = QString()) = 0;
    // The same box, modal for the user, without waiting for it: answered(button) comes later
    // from the event loop, never from inside this call, unless receiver has gone. Deleting the
    // returned box closes it with no answer.
    virtual QObject *open(const QString &text, int style, const QString &caption, QObject *receiver,
        std::function<void(int answer)> answered)
        = 0;
};

// The program's prompter; the application installs the real one at start.
Prompter &prompter();
void setPrompter(Prompter *prompter);
