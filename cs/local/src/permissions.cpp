// permissions.cpp - permissions of users and groups on application groups and folders.
#include <limits>

#include "local_state.h"

using namespace qel::local::detail;

namespace {

constexpr size_t kRestrictMax = 32700;
constexpr uint16_t kNoPermission = 0xFFFF;  // -1 as stored

// The candidates of a lookup: the ids of the group-list text, then the user.
int Candidates(const char* groupList, int32_t userId, std::vector<int32_t>* ids) {
    if (GroupListIds(groupList, ids) != CS_OK) return CS_FAILED;
    ids->push_back(userId);
    return CS_OK;
}

int ReadAgRow(const TableFile& perms, int32_t id, int32_t agid, int withRestrict, QelLocalAgPerms* record) {
    QelLocalAgPerms p;
    p.id = id;
    p.agid = agid;
    std::string s = Row(id, agid);
    if (int rc = perms.UInt16(s, "ID_PERMS", &p.idPerms, CS_FAILED); rc != CS_OK) return rc;
    if (perms.UInt16(s, "DOC_PERMS", &p.docPerms, CS_FAILED, -1) != CS_OK ||
        perms.UInt16(s, "ANN_PERMS", &p.annPerms, CS_FAILED, -1) != CS_OK) {
        return CS_FAILED;
    }
    if (withRestrict) {
        int rc = perms.LongText(s, "Q_RESTRICT", &p.queryRestrict, CS_NOT_FOUND, nullptr, kRestrictMax);
        if (rc == CS_FAILED) return CS_FAILED;
        p.hasRestrict = rc == CS_OK;
    }
    *record = std::move(p);
    return CS_OK;
}

int ReadFolderRow(const TableFile& perms, int32_t id, int32_t fid, QelLocalFolderPerms* record) {
    QelLocalFolderPerms p;
    p.id = id;
    p.fid = fid;
    std::string s = Row(id, fid);
    if (int rc = perms.UInt16(s, "PERMS", &p.perms, CS_FAILED); rc != CS_OK) return rc;
    if (perms.Int32(s, "HITS", &p.hits, CS_FAILED, -1) != CS_OK) return CS_FAILED;
    *record = p;
    return CS_OK;
}

int IdsOf(int table, int32_t object, std::vector<int32_t>* ids) {
    TableFile perms;
    if (LoadTable(table, &perms) != CS_OK) return CS_FAILED;
    return perms.IdList(Row(object), "IDS", ids);
}

}  // namespace

int QelLocal_ReadAgPerms(CsHandle*, int32_t id, int32_t agid, int withRestrict, QelLocalAgPerms* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile perms;
    if (LoadTable(QELLOCAL_TBL_AGPERMS, &perms) != CS_OK) return CS_FAILED;
    return ReadAgRow(perms, id, agid, withRestrict, record);
}

int QelLocal_ReadAgPermsList(CsHandle*, int32_t agid, std::vector<int32_t>* ids) {
    if (ids == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return IdsOf(QELLOCAL_TBL_AGPERMS, agid, ids);
}

int QelLocal_GetAppGroupPerms(CsHandle*, int32_t agid, int32_t userId, const char* groupList,
                              int withRestrict, QelLocalAgPerms* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile perms;
    if (LoadTable(QELLOCAL_TBL_AGPERMS, &perms) != CS_OK) return CS_FAILED;
    std::vector<int32_t> candidates;
    if (Candidates(groupList, userId, &candidates) != CS_OK) return CS_FAILED;
    for (int32_t id : candidates) {
        QelLocalAgPerms p;
        int rc = ReadAgRow(perms, id, agid, withRestrict, &p);
        if (rc == CS_FAILED && !perms.Get(Row(id, agid), "ID_PERMS")) continue;  // no row for this id
        if (rc != CS_OK) return rc;
        if (p.idPerms == kNoPermission) continue;
        *record = std::move(p);
        return CS_OK;
    }
    return CS_NOT_FOUND;
}

int QelLocal_ReadFolderPerms(CsHandle*, int32_t id, int32_t fid, QelLocalFolderPerms* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile perms;
    if (LoadTable(QELLOCAL_TBL_FOLPERMS, &perms) != CS_OK) return CS_FAILED;
    return ReadFolderRow(perms, id, fid, record);
}

int QelLocal_ReadFolderPermsList(CsHandle*, int32_t fid, std::vector<int32_t>* ids) {
    if (ids == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return IdsOf(QELLOCAL_TBL_FOLPERMS, fid, ids);
}

int QelLocal_GetFolderPerms(CsHandle*, int32_t fid, int32_t userId, const char* groupList,
                            QelLocalFolderPerms* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile perms;
    if (LoadTable(QELLOCAL_TBL_FOLPERMS, &perms) != CS_OK) return CS_FAILED;
    std::vector<int32_t> candidates;
    if (Candidates(groupList, userId, &candidates) != CS_OK) return CS_FAILED;
    for (int32_t id : candidates) {
        if (!perms.Get(Row(id, fid), "PERMS")) continue;
        QelLocalFolderPerms p;
        if (int rc = ReadFolderRow(perms, id, fid, &p); rc != CS_OK) return rc;
        if (p.perms == kNoPermission) continue;
        *record = p;
        return CS_OK;
    }
    return CS_NOT_FOUND;
}
