#include "app/attach.h"

#include "app/frmMain.h"
#include "record/valuetools.h"

void attachTools(frmMain &window)
{
    new ValueTools(&window);
}
