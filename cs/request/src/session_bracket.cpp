// The call bracket: enter and leave of every operation, the cancel poll and the
// interrupt of a running call.
#include "qel_cs.h"

#include <cstring>

#include "arc_datetime.h"
#include "dispatcher_roads.h"
#include "qel_local.h"
#include "qel_sm.h"

namespace {

// A yield callback that never answers 0 must not hold the caller for ever.
constexpr int kYieldRounds = 64;

bool IsLocal(const CsHandle* handle) { return handle->def.kind == CS_KIND_LOCAL; }

// Opens one local resource unless the caller manages it or it is open already.
int OpenResource(CsHandle* handle, uint32_t callerBit, uint32_t openBit, int (*open)(CsHandle*)) {
    uint32_t flags = handle->def.flags1;
    if (flags & (callerBit | openBit)) return CS_OK;
    int rc = open(handle);
    if (rc != CS_OK) return rc;
    handle->def.flags1 |= openBit;
    return CS_OK;
}

int LoadSystemLog(CsHandle* handle) { return CsLoadSystemLogDef(handle); }

// Closes what the outermost enter opened, storage first and the local server last.
void CloseResources(CsHandle* handle) {
    uint32_t flags = handle->def.flags1;
    if (flags & CS_F1_LOCAL_OPEN) QelLocal_SetCancel(handle, 0);
    if ((flags & CS_F1_STORAGE_OPEN) && !(flags & CS_F1_CALLER_STORAGE)) {
        SmCloseStorage(handle);
        handle->def.flags1 &= ~CS_F1_STORAGE_OPEN;
    }
    if ((flags & CS_F1_SYSLOG_LOADED) && !(flags & CS_F1_CALLER_SYSLOG)) {
        CsFreeSystemLogDef();
        handle->def.flags1 &= ~CS_F1_SYSLOG_LOADED;
    }
    if ((flags & CS_F1_LOCAL_OPEN) && !(flags & CS_F1_CALLER_LOCAL)) {
        QelLocal_Close(handle);
        handle->def.flags1 &= ~CS_F1_LOCAL_OPEN;
    }
}

int EnterOutermostLocal(CsHandle* handle) {
    int rc = CsCheckTimeout(handle);
    if (rc == CS_OK) rc = OpenResource(handle, CS_F1_CALLER_LOCAL, CS_F1_LOCAL_OPEN, QelLocal_Open);
    if (rc == CS_OK) rc = OpenResource(handle, CS_F1_CALLER_SYSLOG, CS_F1_SYSLOG_LOADED, LoadSystemLog);
    if (rc == CS_OK) rc = OpenResource(handle, CS_F1_CALLER_STORAGE, CS_F1_STORAGE_OPEN, SmOpenStorage);
    return rc;
}

void InterruptOne(CsHandle* handle) {
    uint32_t before = handle->def.flags1.fetch_or(CS_F1_INTERRUPT);
    if (before & CS_F1_INTERRUPT) return;
    if (!IsLocal(handle)) {
        CsCancelRequest(handle);
    } else if (handle->nesting != 0 && (handle->def.flags1 & CS_F1_LOCAL_OPEN)) {
        QelLocal_SetCancel(handle, 1);
    }
}

}  // namespace

int CsSessionEnter(CsHandle* handle) {
    if (handle == nullptr) return CS_FAILED;
    csreq::detail::LendDispatcher();
    handle->delegated = nullptr;
    std::memcpy(handle->currentServerName, handle->serverName, sizeof handle->currentServerName);
    if (!IsLocal(handle)) {
        int rc = CsCheckTimeout(handle);
        return rc == CS_OK ? CS_OK : CsSessionLeave(handle, rc);
    }
    if (++handle->nesting == 1) {
        int rc = EnterOutermostLocal(handle);
        if (rc != CS_OK) return CsSessionLeave(handle, rc);
    }
    if (CsPollCancel(handle)) return CsSessionLeave(handle, CS_CANCELLED);
    return CS_OK;
}

int CsSessionLeave(CsHandle* handle, int rc) {
    if (handle == nullptr) return rc;
    if (handle->logon != nullptr) handle->logon->lastActivity = ArcDT_Now('Z');
    // A leave without its enter must not wrap the count and close another call's resources.
    if (IsLocal(handle) && handle->nesting != 0 && --handle->nesting == 0) CloseResources(handle);
    if (rc == CS_OK && CsPollCancel(handle)) rc = CS_CANCELLED;
    CsClearBusy(handle);
    return rc;
}

int CsPollCancel(CsHandle* handle) {
    if (handle == nullptr) return 0;
    if (handle->yield != nullptr) {
        for (int round = 0; round < kYieldRounds && handle->yield() != 0; ++round) {
        }
    }
    return (handle->def.flags1 & CS_F1_INTERRUPT) != 0;
}

void CsClearBusy(CsHandle* handle) {
    if (handle == nullptr) return;
    if (IsLocal(handle) && handle->nesting != 0) return;
    handle->def.flags1 &= ~CS_F1_INTERRUPT;
}

void CsInterrupt(CsHandle* handle) {
    if (handle == nullptr) return;
    InterruptOne(handle);
    CsHandle* delegated = handle->delegated;
    if (delegated != nullptr && delegated != handle) InterruptOne(delegated);
}
