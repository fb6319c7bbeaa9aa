// Letting go of the system parameters a logon left in a handle.
#include "qel_cs.h"

void CsFreeSystemParms(CsHandle* handle) {
    if (handle != nullptr) handle->systemParms.reset();
}
