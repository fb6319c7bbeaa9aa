// Freeing the system parameters a logon left in a handle.
#include "qel_cs.h"

void CsFreeSystemParms(CsHandle* handle) {
    if (handle == nullptr) return;
    // Parameters owned elsewhere (an external handle's) are only let go.
    if (!(handle->def.flags1 & CS_F1_EXTERNAL)) delete handle->systemParms;
    handle->systemParms = nullptr;
}
