#include "settings/forms.h"

#include "settings/henkouform.h"
#include "settings/idpassform.h"
#include "settings/optionform.h"
#include "settings/setform.h"

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
