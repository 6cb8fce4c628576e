// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/forms.h"

#include "dialogs/henkouform.h"
#include "dialogs/idpassform.h"
#include "dialogs/optionform.h"
#include "dialogs/setform.h"

Forms::Forms() = default;

Forms::~Forms()
{
    destroyAllWithoutUnload();
}

void Forms::destroyAllWithoutUnload()
{
    optionForm.destroyWithoutUnload();
    idPassForm.destroyWithoutUnload();
    setForm.destroyWithoutUnload();
    henkouForm.destroyWithoutUnload();
}

Forms &forms()
{
    // Never destroyed: the windows must go while the application object still exists, which
    // destroyAllWithoutUnload() sees to; a static destructor would run too late.
    static Forms *const instance = new Forms;
    return *instance;
}
