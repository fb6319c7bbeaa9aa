// The request layer's logon, logoff, password and list operations bound into the table
// the sessions use (server_ops.h).
#include <cstring>
#include <memory>
#include <new>

#include "qel_cs.h"
#include "qel_cswire.h"
#include "server_ops.h"

namespace qelclient {
namespace {

template <size_t N>
void CopySlot(char (&to)[N], const char* from) {
    std::memset(to, 0, N);
    if (from) std::memcpy(to, from, strnlen(from, N - 1));
}

// The row texts of a user record, both ways. The session keeps the whole row: a password
// change sends it back, and the server writes every text as it comes.
template <class To, class From>
void CopyRow(To* to, const From& from) {
    to->userNumber = from.userNumber;
    CopySlot(to->userId, from.userId);
    CopySlot(to->description, from.description);
    CopySlot(to->userName, from.userName);
    for (size_t i = 0; i < 10; ++i) CopySlot(to->info[i], from.info[i]);
    for (size_t i = 0; i < 2; ++i) CopySlot(to->phone[i], from.phone[i]);
    CopySlot(to->email, from.email);
    to->attributes = from.attributes;
    to->userType = from.userType;
    to->passwordChanged = from.passwordChanged;
    to->logonTimeOut = from.logonTimeOut;
    to->logonState = from.logonState;
}

void TakeRow(ClientUserRecord* to, const CsUserRecord& from) { CopyRow(to, from); }

void GiveRow(CsUserRecord* to, const ClientUserRecord& from) {
    std::memset(to, 0, sizeof *to);
    CopyRow(to, from);
}

// What a logon left in the user record and the handle, as the session keeps it. The
// record's password field holds no password after a logon (the request layer wipes it);
// the session's own hash is set by Session_SetPassword.
void TakeLogon(ClientSession* s, const CsUserRecord& u) {
    std::string hash = std::move(s->user.password);
    TakeRow(&s->user, u);
    s->user.password = std::move(hash);
    s->systemParms.reset();
    if (s->handle.systemParms) s->systemParms = *s->handle.systemParms;
    s->logon.reset();
    if (const CsLogonRecord* l = s->handle.logon) {
        ClientLogonRecord copy;
        copy.userNumber = l->userNumber;
        copy.groupList = l->groupList;
        copy.userType = l->userType;
        copy.lastActivity = l->lastActivity;
        copy.timeOut = l->timeOut;
        s->logon = std::move(copy);
    }
}

int Logon(ClientSession* s, const char* user, const char* password) {
    CsUserRecord record{};
    const int rc = CsLogon(&s->handle, user, password, &record);
    if (rc == CS_OK || rc == CS_PASSWORD_EXPIRED) TakeLogon(s, record);
    std::memset(&record, 0, sizeof record);
    return rc;
}

int IntegratedLogon(ClientSession* s) {
    CsUserRecord record{};
    const int rc = CsIntegratedLogon(&s->handle, &record);
    if (rc == CS_OK || rc == CS_PASSWORD_EXPIRED) TakeLogon(s, record);
    return rc;
}

int ChangePassword(ClientSession* s, const char* oldPassword, const char* newPassword, int* reason) {
    // The request gets its own record with the old password; the session's keeps its hash.
    CsUserRecord record;
    GiveRow(&record, s->user);
    CopySlot(record.password, oldPassword);
    uint32_t word = 0;
    const int rc = CsChangePassword(&s->handle, &record, newPassword, &word);
    if (rc == CS_OK) {
        // The row as stored now (the password field stays the session's hash).
        std::string hash = std::move(s->user.password);
        TakeRow(&s->user, record);
        s->user.password = std::move(hash);
    }
    std::memset(&record, 0, sizeof record);
    *reason = static_cast<int>(word);
    return rc;
}

int FolderEntry(void* context, CsFolderEntry* entry) {
    const auto* sink = static_cast<const FolderRowSink*>(context);
    ClientFolderRow row;
    row.number = entry->number;
    row.name.assign(entry->name, strnlen(entry->name, sizeof entry->name));
    row.description.assign(entry->description, strnlen(entry->description, sizeof entry->description));
    row.type = entry->type;
    row.fieldTotal = entry->fieldTotal;
    row.flags = entry->flags;
    (*sink)(std::move(row));
    return 1;  // copied: the request layer frees its entry
}

// The list callbacks get the handle's callback context; it points to the sink for the
// length of the call and back to the session afterwards.
class ContextSwap {
public:
    ContextSwap(CsHandle* handle, const void* context) : handle_(handle), saved_(handle->callbackContext) {
        handle_->callbackContext = const_cast<void*>(context);
    }
    ~ContextSwap() { handle_->callbackContext = saved_; }
    ContextSwap(const ContextSwap&) = delete;
    ContextSwap& operator=(const ContextSwap&) = delete;

private:
    CsHandle* handle_;
    void* saved_;
};

int GetFolderList(ClientSession* s, const FolderRowSink& sink) {
    ContextSwap swap(&s->handle, &sink);
    return CsGetFolderList(&s->handle, nullptr, s->handle.identity.userId, nullptr, 3, nullptr, FolderEntry);
}

int GroupEntry(void* context, CsGroupEntry* entry) {
    const auto* sink = static_cast<const GroupRowSink*>(context);
    ClientGroupEntry row;
    row.number = static_cast<uint32_t>(entry->number);
    row.owner = static_cast<uint32_t>(entry->owner);
    row.id.assign(entry->name, strnlen(entry->name, sizeof entry->name));
    row.description.assign(entry->description, strnlen(entry->description, sizeof entry->description));
    (*sink)(std::move(row));
    return 1;
}

int GetUserGroups(ClientSession* s, const char* key, const GroupRowSink& sink) {
    ContextSwap swap(&s->handle, &sink);
    return CsGetUserGroups(&s->handle, nullptr, 0, 0, key, GroupEntry);
}

int Disconnect(ClientSession* s) {
    const int rc = CsDisconnect(&s->handle);
    // The logon stays on the server; this process's copies of it go.
    CsFreeLogonRecord(&s->handle);
    CsFreeSystemParms(&s->handle);
    return rc;
}

void CaptureLogon(ClientSession* s) {
    if (s->logon && s->handle.logon) s->logon->lastActivity = s->handle.logon->lastActivity;
}

int InstallLogon(ClientSession* s) {
    CsFreeSystemParms(&s->handle);
    if (s->systemParms) {
        auto parms = std::unique_ptr<CsSystemParms>(new (std::nothrow) CsSystemParms(*s->systemParms));
        if (!parms) return CS_NO_MEMORY;
        s->handle.systemParms = CsSystemParmsPtr::Own(std::move(parms));
        // The copy is this handle's own, whatever the saving process's handle held.
        s->handle.def.flags1 &= ~CS_F1_EXTERNAL;
    }
    if (s->logon) {
        return CsMakeLogonRecord(&s->handle, s->logon->userNumber, s->logon->groupList.c_str(),
                                 s->logon->userType, s->logon->lastActivity, s->logon->timeOut);
    }
    return 0;
}

}  // namespace

ServerOps RequestLayerOps() {
    ServerOps ops;
    ops.logon = Logon;
    ops.integratedLogon = IntegratedLogon;
    ops.logoff = [](ClientSession* s) { return CsLogoff(&s->handle); };
    ops.disconnect = Disconnect;
    ops.changePassword = ChangePassword;
    ops.getFolderList = GetFolderList;
    ops.getUserGroups = GetUserGroups;
    ops.checkTimeout = [](ClientSession* s) { return CsCheckTimeoutEntry(&s->handle); };
    ops.interrupt = [](ClientSession* s) { CsInterrupt(&s->handle); };
    ops.captureLogon = CaptureLogon;
    ops.installLogon = InstallLogon;
    return ops;
}

}  // namespace qelclient
