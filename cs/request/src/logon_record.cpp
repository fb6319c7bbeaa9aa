// The logon record and its group list, and the user row as a user record.
#include <cstring>
#include <new>
#include <string>

#include "logon_detail.h"

namespace cslogon {
namespace {

template <size_t N, size_t M>
void CopyField(char (&to)[N], const char (&from)[M]) {
    static_assert(N >= M);
    std::memset(to, 0, N);
    std::memcpy(to, from, strnlen(from, M - 1));
}

// A record text back into a row field of the same size; false when not terminated.
template <size_t N, size_t M>
bool TakeField(char (&to)[N], const char (&from)[M]) {
    static_assert(N == M);
    if (strnlen(from, M) == M) return false;
    std::memcpy(to, from, M);
    return true;
}

}  // namespace

int BuildGroupList(CsHandle* handle, int32_t userNumber, std::string* list) {
    // The list grows with the user's groups: no fixed buffer to overrun or cut.
    std::string text = "IN (" + std::to_string(userNumber);
    const std::string user = std::to_string(userNumber);
    QelLocalGroup group;
    int rc = QelLocal_ListGroupsFirst(handle, user.c_str(), nullptr, &group);
    while (rc == CS_OK) {
        text += "," + std::to_string(group.gid);
        rc = QelLocal_ListGroupsNext(handle, &group);
    }
    if (rc != CS_NOT_FOUND) return rc;
    *list = text + ")";
    return CS_OK;
}

void RowToRecord(const QelLocalUser& row, CsUserRecord* record) {
    std::memset(record, 0, sizeof *record);
    record->userNumber = static_cast<uint32_t>(row.uid);
    CopyField(record->userId, row.userId);
    // The stored hash stays in the row: the record's 21-byte password field would cut a
    // SHA-512 hash, and the record travels.
    CopyField(record->description, row.description);
    CopyField(record->userName, row.name);
    const char(*info[10])[61] = {&row.acctInfo, &row.company, &row.title, &row.addr1,    &row.addr2,
                                 &row.addr3,    &row.addr4,   &row.dept,  &row.building, &row.room};
    for (size_t i = 0; i < 10; ++i) CopyField(record->info[i], *info[i]);
    CopyField(record->phone[0], row.phone);
    CopyField(record->phone[1], row.fax);
    CopyField(record->email, row.coverpage);
    record->attributes = static_cast<uint32_t>(row.pid);
    record->userType = row.admin;
    record->passwordChanged = row.lastUpdate;
    record->logonTimeOut = row.timeout;
}

bool RecordTextsToRow(const CsUserRecord& record, QelLocalUser* row) {
    char(*info[10])[61] = {&row->acctInfo, &row->company, &row->title, &row->addr1,    &row->addr2,
                           &row->addr3,    &row->addr4,   &row->dept,  &row->building, &row->room};
    bool ok = TakeField(row->description, record.description) && TakeField(row->name, record.userName);
    for (size_t i = 0; i < 10 && ok; ++i) ok = TakeField(*info[i], record.info[i]);
    return ok && TakeField(row->phone, record.phone[0]) && TakeField(row->fax, record.phone[1]) &&
           TakeField(row->coverpage, record.email);
}

}  // namespace cslogon

int CsMakeLogonRecord(CsHandle* handle, uint32_t userNumber, const char* groupList, uint16_t userType,
                      int64_t lastActivity, int64_t timeOut) {
    if (handle == nullptr) return CS_FAILED;
    auto* logon = new (std::nothrow) CsLogonRecord();
    if (logon == nullptr) return CS_NO_MEMORY;
    try {
        logon->groupList = groupList ? groupList : "";
    } catch (const std::bad_alloc&) {
        delete logon;
        return CS_NO_MEMORY;
    }
    logon->userNumber = userNumber;
    logon->userType = userType;
    logon->lastActivity = lastActivity;
    logon->timeOut = timeOut;
    delete handle->logon;
    handle->logon = logon;
    return CS_OK;
}

void CsFreeLogonRecord(CsHandle* handle) {
    if (handle == nullptr) return;
    delete handle->logon;
    handle->logon = nullptr;
}
