#pragma once
#include "settings/dialogs/prompter.h"

// The real prompter: a modal QMessageBox. Boxes without a caption of their own carry the
// program's title.
class MessageBoxPrompter : public Prompter {
public:
    int msgBox(const QString &text, int style, const QString &caption = QString()) override;
};
