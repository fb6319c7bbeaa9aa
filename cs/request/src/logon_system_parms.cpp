// The local server's system parameters for a logon or a password change.
#include "logon_detail.h"

namespace cslogon {

int ReadLocalSystemParms(CsHandle* handle, CsSystemParms* parms) {
    int rc = QelLocal_LoadTables(handle);
    QelLocalSystemParms row;
    if (rc == CS_OK) rc = QelLocal_ReadSystemParms(handle, &row);
    rc = QelLocal_EndRequest(handle, rc);
    if (rc != CS_OK) return rc;
    *parms = CsSystemParms{};
    parms->passwordExpiryDays = row.passwdExp;
    parms->minPasswordLength = row.passwdMinLen;
    parms->timeOut = row.timeOut;
    parms->flags = row.sysMask;
    parms->systemLogMask = row.syslogMask;
    parms->exitMask = row.exitlogMask;
    return CS_OK;
}

}  // namespace cslogon
