#include "settings/dialogs/forms.h"

#include "settings/dialogs/henkouform.h"
#include "settings/dialogs/idpassform.h"
#include "settings/dialogs/optionform.h"
#include "settings/dialogs/setform.h"

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
