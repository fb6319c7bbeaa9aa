// The request layer's logon, logoff, password and list operations bound into the table
// the sessions use (server_ops.h).
//
// Not built yet: the request layer does not declare these operations so far. The calls
// follow the operations' documented argument order; check each against qel_cs.h when it
// declares them, then switch QEL_CLIENT_CS_BINDING on in client/CMakeLists.txt.
#include <cstring>
#include <memory>

#include "qel_cs.h"
#include "server_ops.h"

namespace qelclient {
namespace {

void CopyText(std::string* to, const char* from) { *to = from ? from : ""; }

template <size_t N>
void CopySlot(char (&to)[N], const char* from) {
    std::memset(to, 0, N);
    if (from) std::memcpy(to, from, strnlen(from, N - 1));
}

// What a logon left in the user record and the handle, as the session keeps it. The
// user record's password field holds no password after a logon (the request layer wipes
// it); the session's own hash is set by Session_SetPassword.
void TakeLogon(ClientSession* s, const CsUserRecord& u) {
    s->user.userNumber = u.userNumber;
    CopySlot(s->user.userId, u.userId);
    CopySlot(s->user.userName, u.userName);
    s->user.userType = u.userType;
    s->user.passwordChanged = u.passwordChanged;
    s->user.logonTimeOut = u.logonTimeOut;
    s->user.logonState = u.logonState;
    s->systemParms.reset();
    if (s->handle.systemParms) s->systemParms = *s->handle.systemParms;
    s->logon.reset();
    if (const CsLogonRecord* l = s->handle.logon) {
        ClientLogonRecord copy;
        copy.userNumber = l->userNumber;
        CopyText(&copy.groupList, l->groupList);
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

int ChangePassword(ClientSession* s, const char* oldPassword, const char* newPassword,
                   int* reason) {
    // The request gets its own record with the old password; the session's keeps its hash.
    CsUserRecord record{};
    record.userNumber = s->user.userNumber;
    CopySlot(record.userId, s->user.userId);
    CopySlot(record.password, oldPassword);
    CopySlot(record.userName, s->user.userName);
    record.userType = s->user.userType;
    uint32_t word = 0;
    const int rc = CsChangePassword(&s->handle, &record, newPassword, &word);
    std::memset(&record, 0, sizeof record);
    *reason = static_cast<int>(word);
    return rc;
}

struct FolderSinkContext {
    const FolderRowSink* sink;
};

int FolderEntry(void* context, CsFolderEntry* entry) {
    const auto* c = static_cast<FolderSinkContext*>(context);
    ClientFolderRow row;
    row.number = entry->number;
    CopyText(&row.name, entry->name);
    CopyText(&row.description, entry->description);
    row.type = entry->type;
    row.fieldTotal = entry->fieldTotal;
    row.flags = entry->flags;
    (*c->sink)(std::move(row));
    return 1;  // copied: the request layer frees its entry
}

int GetFolderList(ClientSession* s, const FolderRowSink& sink) {
    FolderSinkContext context{&sink};
    void* saved = s->handle.callbackContext;
    s->handle.callbackContext = &context;
    const char* user = s->handle.identity.userId;
    const int rc = CsGetFolderList(&s->handle, nullptr, user, nullptr, 3, nullptr, FolderEntry);
    s->handle.callbackContext = saved;
    return rc;
}

struct GroupSinkContext {
    const GroupRowSink* sink;
};

int GroupEntry(void* context, CsGroupEntry* entry) {
    const auto* c = static_cast<GroupSinkContext*>(context);
    ClientGroupEntry row;
    row.number = entry->number;
    row.owner = entry->owner;
    CopyText(&row.id, entry->name);
    CopyText(&row.description, entry->description);
    (*c->sink)(std::move(row));
    return 1;
}

int GetUserGroups(ClientSession* s, const char* key, const GroupRowSink& sink) {
    GroupSinkContext context{&sink};
    void* saved = s->handle.callbackContext;
    s->handle.callbackContext = &context;
    const int rc = CsGetUserGroups(&s->handle, nullptr, 0, nullptr, key, GroupEntry);
    s->handle.callbackContext = saved;
    return rc;
}

int Disconnect(ClientSession* s) {
    const int rc = CsDisconnect(&s->handle);
    // The logon stays on the server; this process's copies of it go.
    CsFreeLogonRecord(&s->handle);
    return rc;
}

void CaptureLogon(ClientSession* s) {
    if (s->logon && s->handle.logon) s->logon->lastActivity = s->handle.logon->lastActivity;
}

int InstallLogon(ClientSession* s) {
    if (s->systemParms) {
        auto parms = std::make_unique<CsSystemParms>(*s->systemParms);
        s->handle.systemParms = parms.release();
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
