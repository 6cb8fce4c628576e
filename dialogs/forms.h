// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dialogs room (dialogs/): the four dialogs that edit the settings, on the window kit (ui/)
// and the settings (settings/). They never reach the mail library, the scenes or the main window;
// a box they show goes through the prompter (ui/prompter.h).
//
// The four dialogs' shared instances. Other code reaches a dialog, and the live settings its
// controls hold, only through these slots, so touching a control loads the dialog first.
#include "ui/form.h"

class OptionForm;
class IdPassForm;
class SetForm;
class HenkouForm;

class Forms {
public:
    Forms();
    ~Forms();

    FormSlot<OptionForm> optionForm;
    FormSlot<IdPassForm> idPassForm;
    FormSlot<SetForm> setForm;
    FormSlot<HenkouForm> henkouForm;

    // Program exit: every dialog still loaded goes without its unload step.
    void destroyAllWithoutUnload();
};

// The program's dialogs. The application calls destroyAllWithoutUnload() before it ends.
Forms &forms();
