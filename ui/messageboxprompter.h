// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "ui/prompter.h"

// The real prompter: a modal QMessageBox, waited for or opened. Boxes without a caption of their
// own carry the program's title.
class MessageBoxPrompter : public Prompter {
public:
    explicit MessageBoxPrompter(QString programTitle = QString())
        : m_programTitle(std::move(programTitle))
    {
    }
    int msgBox(const QString &text, int style, const QString &caption = QString()) override;
    QObject *open(const QString &text, int style, const QString &caption, QObject *receiver,
        std::function<void(int answer)> answered) override;

private:
    QString m_programTitle;
};
