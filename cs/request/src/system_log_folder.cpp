// The "System Log" group of a local handle's archive and its storage set, for the caller.
#include <cstring>
#include <memory>
#include <new>

#include "qel_cs.h"
#include "qel_local.h"

namespace {

// The group table is read as a user of type 0x04: the logon's type is raised for the
// call (a temporary record stands in without a logon) and given back on every path.
constexpr uint16_t kReaderType = 0x04;

class RaisedUserType {
public:
    explicit RaisedUserType(CsHandle* handle) : handle_(handle) {
        if (handle->logon == nullptr) {
            temporary_.userType = kReaderType;
            handle->logon = &temporary_;
        } else {
            savedType_ = handle->logon->userType;
            handle->logon->userType = kReaderType;
        }
    }
    ~RaisedUserType() {
        if (handle_->logon == &temporary_)
            handle_->logon = nullptr;
        else if (handle_->logon != nullptr)
            handle_->logon->userType = savedType_;
    }
    RaisedUserType(const RaisedUserType&) = delete;
    RaisedUserType& operator=(const RaisedUserType&) = delete;

private:
    CsHandle* handle_;
    CsLogonRecord temporary_;
    uint16_t savedType_ = 0;
};

struct GroupFree {
    void operator()(QelLocalAppGroup* group) const { CsFreeReplyC(group); }
};
using GroupPtr = std::unique_ptr<QelLocalAppGroup, GroupFree>;
struct SetFree {
    void operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }
};
using SetPtr = std::unique_ptr<CsStorageSet, SetFree>;

constexpr char kGroupName[] = "System Log";

// The group of the name, fields and all. Every name is looked at: a second group of the
// name would make the choice arbitrary (a lookup by name stops at the first).
int FindGroup(CsHandle* handle, QelLocalAppGroup* group) {
    int rc = QelLocal_ListAppGroupsFirst(handle, -1, nullptr, group);
    int32_t agid = group->agid;
    char name[QELLOCAL_NAME_SIZE] = {};
    std::memcpy(name, group->name, sizeof name);
    int32_t found = 0;
    int matches = 0;
    while (rc == CS_OK) {
        if (std::strncmp(name, kGroupName, sizeof name) == 0) {
            found = agid;
            ++matches;
        }
        rc = QelLocal_NextAppGroupName(handle, &agid, name);
    }
    if (rc != CS_NOT_FOUND) return rc;
    if (matches == 0) return CS_NOT_FOUND;
    if (matches > 1) return CS_FAILED;
    return QelLocal_ReadAppGroup(handle, found, group);
}

int ReadGroup(CsHandle* handle, QelLocalAppGroup* group) {
    int rc = QelLocal_LoadTables(handle);
    try {
        if (rc == CS_OK) rc = FindGroup(handle, group);
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    return QelLocal_EndRequest(handle, rc);
}

int ReadFolder(CsHandle* handle, QelLocalAppGroup* group, SetPtr* folder) {
    RaisedUserType raised(handle);
    int rc = ReadGroup(handle, group);
    if (rc != CS_OK || group->sid == 0) return rc;
    if (group->sid < 0) return CS_FAILED;
    CsStorageSet* set = nullptr;
    rc = CsOpenStorageSet(handle, static_cast<uint32_t>(group->sid), CsResolveServerDef, &set);
    folder->reset(set);
    return rc;
}

}  // namespace

int CsGetSystemLogFolder(CsHandle* handle, QelLocalAppGroup** group, CsStorageSet** folder) {
    if (group != nullptr) *group = nullptr;
    if (folder != nullptr) *folder = nullptr;
    if (handle == nullptr || group == nullptr || folder == nullptr) return CS_FAILED;
    if (handle->def.kind != CS_KIND_LOCAL) return CS_FAILED;  // a server keeps its log to itself
    GroupPtr record(new (std::nothrow) QelLocalAppGroup());
    if (!record) return CS_NO_MEMORY;
    SetPtr set;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    rc = ReadFolder(handle, record.get(), &set);
    rc = CsSessionLeave(handle, rc);
    if (rc != CS_OK) return rc;
    *group = record.release();
    *folder = set.release();
    return CS_OK;
}

void CsFreeReplyC(QelLocalAppGroup* group) { delete group; }

int CsGetSystemLogDocument(CsHandle* handle, size_t row, std::string* data) {
    if (data != nullptr) data->clear();
    if (handle == nullptr || data == nullptr) return CS_FAILED;
    if (handle->def.kind != CS_KIND_LOCAL) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (handle->logon == nullptr || !(handle->logon->userType & kReaderType)) {
        rc = CS_NOT_AUTHORISED;
    } else {
        try {
            QelLocalAppGroup group;
            rc = ReadGroup(handle, &group);
            if (rc == CS_OK) rc = QelLocal_ReadIndexRowDocument(handle, group.agid, row, data);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return CsSessionLeave(handle, rc);
}
