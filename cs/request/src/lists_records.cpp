// Records of the request layer: the system parameters and the load information of a
// group.
#include <limits>
#include <memory>
#include <new>

#include "logon_detail.h"

namespace {

int RemoteSystemParms(CsHandle* handle, CsSystemParms* parms) {
    CsXdrSystemParms* reply = nullptr;
    const int rc = CsServerRequest(handle, CS_REQ_SYSTEM_PARMS, &reply);
    if (rc == CS_OK && reply != nullptr) {
        parms->passwordExpiryDays = reply->passwordExpiryDays;
        parms->minPasswordLength = reply->minPasswordLength;
        parms->timeOut = reply->timeOut;
        parms->flags = reply->flags;
        parms->systemLogMask = reply->systemLogMask;
        parms->exitMask = reply->exitMask;
    }
    CsFreeReplyEntry(CS_REQ_SYSTEM_PARMS, reply);
    if (rc == CS_OK && reply == nullptr) return CS_FAILED;  // a reply without its record
    return rc;
}

// The group's next load name; its counter advances.
int LocalLoadInfo(CsHandle* handle, uint32_t groupNumber, char* load, size_t size) {
    if (groupNumber > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return CS_FAILED;
    const auto group = static_cast<int32_t>(groupNumber);
    int rc = QelLocal_LoadTables(handle);
    char name[QELLOCAL_LOAD_NAME_SIZE] = {};
    try {
        // A counter is kept only for a group the tables know.
        QelLocalAppGroup record;
        if (rc == CS_OK) rc = QelLocal_ReadAppGroup(handle, group, &record);
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    if (rc == CS_OK) rc = QelLocal_NextLoadId(handle, group, name);
    rc = QelLocal_EndRequest(handle, rc);
    if (rc == CS_OK) rc = CsSetText(load, size, name);
    return rc;
}

}  // namespace

int CsGetSystemParms(CsHandle* handle, CsSystemParms** out) {
    if (handle == nullptr || out == nullptr) return CS_FAILED;
    *out = nullptr;
    auto parms = std::unique_ptr<CsSystemParms>(new (std::nothrow) CsSystemParms());
    if (!parms) return CS_NO_MEMORY;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    rc = cslogon::IsLocal(handle) ? cslogon::ReadLocalSystemParms(handle, parms.get())
                                  : RemoteSystemParms(handle, parms.get());
    rc = CsSessionLeave(handle, rc);
    if (rc == CS_OK) *out = parms.release();
    return rc;
}

void CsFreeSystemParmsRecord(CsSystemParms* parms) { delete parms; }

int CsGetLoadInfo(CsHandle* handle, uint32_t groupNumber, char* load, size_t size) {
    if (handle == nullptr || load == nullptr || size == 0) return CS_FAILED;
    load[0] = '\0';
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    rc = cslogon::IsLocal(handle) ? LocalLoadInfo(handle, groupNumber, load, size)
                                  : CsServerRequest(handle, CS_REQ_LOAD_INFO, groupNumber, load, size);
    return CsSessionLeave(handle, rc);
}
