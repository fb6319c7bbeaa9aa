// Logoff and disconnect must get through a logon that timed out or idled too long.
#include "logon_detail.h"

namespace cslogon {

int TimeoutSuspension::Enter() {
    CsHandle* h = handle_;
    timedOut_ = (h->def.flags1 & CS_F1_TIMED_OUT) != 0;
    h->def.flags1 &= ~CS_F1_TIMED_OUT;
    // Both limits at 0 switch the check off for this one enter.
    int64_t systemWide = 0, perLogon = 0;
    if (h->systemParms) {
        systemWide = h->systemParms->timeOut;
        h->systemParms->timeOut = 0;
    }
    if (h->logon) {
        perLogon = h->logon->timeOut;
        h->logon->timeOut = 0;
    }
    const int rc = CsSessionEnter(h);
    if (h->systemParms) h->systemParms->timeOut = systemWide;
    if (h->logon) h->logon->timeOut = perLogon;
    if (timedOut_) h->def.flags1 |= CS_F1_TIMED_OUT;
    return rc;
}

}  // namespace cslogon
