// The user and group list (request 13, or the local group table).
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "logon_detail.h"

using namespace cslogon;

namespace {

constexpr uint16_t kSeesAllGroups = 0x04 | 0x20;

// Hands an entry to the caller, who keeps it by answering 0.
void Deliver(CsHandle* handle, CsGroupFn callback, CsGroupEntry* entry) {
    if (callback == nullptr || callback(handle->callbackContext, entry) != 0) delete entry;
}

template <size_t N, size_t M>
void CopyText(char (&to)[N], const char (&from)[M]) {
    std::memset(to, 0, N);
    std::memcpy(to, from, std::min(strnlen(from, M), N - 1));
}

// Remote entries arrive as user entries; the caller gets group entries.
struct RemoteAdapter {
    CsHandle* handle;
    void* context;
    CsGroupFn callback;
    bool noMemory = false;
};

int RemoteEntry(void* context, void* entry) {
    auto* a = static_cast<RemoteAdapter*>(context);
    const auto* remote = static_cast<const CsXdrUserEntry*>(entry);
    auto* group = new (std::nothrow) CsGroupEntry();
    if (group == nullptr) {
        a->noMemory = true;
        return 1;
    }
    group->number = static_cast<int32_t>(remote->number);
    CopyText(group->name, remote->name);
    CopyText(group->description, remote->description);
    if (a->callback == nullptr || a->callback(a->context, group) != 0) delete group;
    return 1;
}

int RemoteGroups(CsHandle* handle, const char* name, uint32_t number, uint32_t applGroupFilter,
                 const char* userFilter, CsGroupFn callback) {
    RemoteAdapter adapter{handle, handle->callbackContext, callback};
    handle->callbackContext = &adapter;
    int rc =
        CsServerRequest(handle, CS_REQ_GROUP_LIST, name, number, applGroupFilter, userFilter, RemoteEntry);
    handle->callbackContext = adapter.context;
    return rc == CS_OK && adapter.noMemory ? CS_NO_MEMORY : rc;
}

// The numbers of the caller's own groups.
int OwnGroups(CsHandle* handle, int32_t user, std::vector<int32_t>* own) {
    const std::string key = std::to_string(user);
    QelLocalGroup group;
    int rc = QelLocal_ListGroupsFirst(handle, key.c_str(), nullptr, &group);
    for (; rc == CS_OK; rc = QelLocal_ListGroupsNext(handle, &group)) own->push_back(group.gid);
    return rc == CS_NOT_FOUND ? CS_OK : rc;
}

bool Contains(const std::vector<int32_t>& ids, int32_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

int LocalGroups(CsHandle* handle, const char* name, uint32_t number, uint32_t applGroupFilter,
                const char* userFilter, CsGroupFn callback) {
    CsSystemParms parms;
    if (handle->systemParms != nullptr)
        parms = *handle->systemParms;
    else if (int rc = ReadLocalSystemParms(handle, &parms); rc != CS_OK)
        return rc;
    const CsLogonRecord* caller = handle->logon;
    const int32_t callerNumber = caller ? static_cast<int32_t>(caller->userNumber) : 0;
    const bool seesAll = caller != nullptr && (caller->userType & kSeesAllGroups);

    std::string selection;
    if (name != nullptr && name[0] != '\0')
        selection = "'" + CaseCopy(name, parms.flags & 0x01) + "'";
    else if (number != 0)
        selection = std::to_string(number);

    int rc = QelLocal_LoadTables(handle);
    std::vector<int32_t> own, permitted;
    if (rc == CS_OK && !seesAll) rc = OwnGroups(handle, callerNumber, &own);
    if (rc == CS_OK && applGroupFilter != 0) {
        rc = QelLocal_ReadAgPermsList(handle, static_cast<int32_t>(applGroupFilter), &permitted);
        if (rc == CS_NOT_FOUND) rc = CS_OK;  // nobody holds permissions on it
    }
    QelLocalGroup group;
    if (rc == CS_OK)
        rc = QelLocal_ListGroupsFirst(handle, userFilter, selection.empty() ? nullptr : selection.c_str(),
                                      &group);
    for (; rc == CS_OK; rc = QelLocal_ListGroupsNext(handle, &group)) {
        const bool visible = seesAll || Contains(own, group.gid) || Contains(own, group.uid) ||
                             (caller != nullptr && group.uid == callerNumber);
        if (!visible || (applGroupFilter != 0 && !Contains(permitted, group.gid))) continue;
        auto* entry = new (std::nothrow) CsGroupEntry();
        if (entry == nullptr) {
            rc = CS_NO_MEMORY;
            break;
        }
        entry->number = group.gid;
        entry->owner = group.uid;
        CopyText(entry->name, group.name);
        CopyText(entry->description, group.description);
        Deliver(handle, callback, entry);
    }
    if (rc == CS_NOT_FOUND) rc = CS_OK;
    return QelLocal_EndRequest(handle, rc);
}

}  // namespace

int CsGetUserGroups(CsHandle* handle, const char* name, uint32_t number, uint32_t applGroupFilter,
                    const char* userFilter, CsGroupFn callback) {
    if (handle == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    rc = IsLocal(handle) ? LocalGroups(handle, name, number, applGroupFilter, userFilter, callback)
                         : RemoteGroups(handle, name, number, applGroupFilter, userFilter, callback);
    return CsSessionLeave(handle, rc);
}

void CsFreeUserList(CsXdrUserEntry* entry) { CsFreeReplyEntry(CS_REQ_USER_LIST, entry); }

void CsFreeGroupList(CsGroupEntry* entry) { delete entry; }
