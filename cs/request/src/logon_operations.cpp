// Logon, integrated logon, logoff and disconnect on a handle.
#include <cstring>
#include <string>

#include "arc_platform.h"
#include "logon_detail.h"

using namespace cslogon;

namespace {

// Marks the handle as going away while a logoff or disconnect talks to the server; the
// mark goes again at the end unless the caller had set it already.
class DisconnectMark {
public:
    explicit DisconnectMark(CsHandle* handle)
        : handle_(handle), ours_(!(handle->def.flags1 & CS_F1_DISCONNECT)) {
        handle_->def.flags1 |= CS_F1_DISCONNECT;
    }
    ~DisconnectMark() {
        if (ours_) handle_->def.flags1 &= ~CS_F1_DISCONNECT;
    }
    DisconnectMark(const DisconnectMark&) = delete;
    DisconnectMark& operator=(const DisconnectMark&) = delete;

private:
    CsHandle* handle_;
    bool ours_;
};

}  // namespace

int CsLogon(CsHandle* handle, const char* userId, const char* password, CsUserRecord* user) {
    if (handle == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    // A cut user id could name another user; an over-long password is refused alike.
    if (!Fits(userId, CS_USER_ID_SIZE) || !Fits(password, CS_USER_ID_SIZE))
        return CsSessionLeave(handle, CS_NOT_AUTHORISED);
    CsSetText(handle->identity.userId, sizeof handle->identity.userId, userId);
    CsUserRecord scratch{};
    CsUserRecord* out = user != nullptr ? user : &scratch;
    if (IsLocal(handle)) {
        rc = LocalLogon(handle, userId, password, out);
    } else {
        rc = CsNegotiateLevel(handle, 0, 0);
        if (rc == CS_OK)
            rc = CsServerRequest(handle, CS_REQ_LOGON, userId ? userId : "", password ? password : "", out);
    }
    std::memset(&scratch, 0, sizeof scratch);
    return CsSessionLeave(handle, rc);
}

int CsIntegratedLogon(CsHandle* handle, CsUserRecord* user) {
    if (handle == nullptr) return CS_FAILED;
    char name[256] = {};
    if (ArcOS_GetUserName(name, sizeof name) != 0 || !Fits(name, CS_USER_ID_SIZE)) return CS_NOT_AUTHORISED;
    char exchanged[CS_USER_ID_SIZE] = {};
    int rc = CsIntegratedLogonExchange(handle, name, exchanged, nullptr, nullptr);
    if (rc != CS_OK || user == nullptr) return rc;
    handle->def.flags1 |= CS_F1_INTEGRATED;
    rc = CsLogon(handle, exchanged, "", user);
    handle->def.flags1 &= ~CS_F1_INTEGRATED;
    return rc;
}

int CsLogoff(CsHandle* handle) {
    if (handle == nullptr) return CS_FAILED;
    TimeoutSuspension suspension(handle);
    int rc = suspension.Enter();
    if (rc != CS_OK) return rc;
    DisconnectMark mark(handle);
    if (IsLocal(handle)) {
        if (!(handle->def.flags1 & CS_F1_NO_LOGOFF_MSG))
            IssueLogonMessage(handle, suspension.WasTimedOut() ? 15 : 14, __LINE__);
        rc = CS_OK;
    } else {
        rc = CsServerRequest(handle, CS_REQ_LOGOFF);
    }
    CsFreeLogonRecord(handle);
    rc = CsSessionLeave(handle, rc);
    handle->systemParms.reset();
    handle->def.flags1 &= ~CS_F1_TIMED_OUT;
    return rc;
}

int CsDisconnect(CsHandle* handle) {
    if (handle == nullptr) return CS_FAILED;
    TimeoutSuspension suspension(handle);
    int rc = suspension.Enter();
    if (rc != CS_OK) return rc;
    DisconnectMark mark(handle);
    if (!IsLocal(handle) && CsIsConnected(handle)) rc = CsServerRequest(handle, CS_REQ_DISCONNECT);
    rc = CsSessionLeave(handle, rc);
    // The logon stays timed out: only a logoff ends that.
    if (suspension.WasTimedOut()) handle->def.flags1 |= CS_F1_TIMED_OUT;
    return rc;
}
