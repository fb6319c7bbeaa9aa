// Lists of the request layer: storage-node information, named queries, the segment table
// of a group and the server's printers. Remote handles send one request; local ones read
// the local server's tables.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "archive_texts.h"
#include "qel_cswire.h"
#include "route_detail.h"
#include "server_print_local.h"

namespace {

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
// User types and folder permission bits that see every named query.
constexpr uint16_t kSeesAllQueries = 0x04 | 0x10;
constexpr uint16_t kFolderAllQueries = 0x02 | 0x04;
// QelLocal_NamedQueriesFirst: every owner.
constexpr int32_t kEveryOwner = -1;

bool IsLocal(const CsHandle* handle) { return handle->def.kind == CS_KIND_LOCAL; }

// A zeroed entry, freed the way the dispatcher frees the code's entries.
template <class T>
T* NewEntry() {
    return static_cast<T*>(std::calloc(1, sizeof(T)));
}

// Hands a local entry to the callback (freeing it unless kept), then asks whether to go on.
template <class T>
int Deliver(CsHandle* handle, CsEntryFn callback, T* entry, void (*release)(T*)) {
    if (callback == nullptr || callback(handle->callbackContext, entry) != 0) release(entry);
    return CsPollCancel(handle) ? CS_CANCELLED : CS_OK;
}

// --- storage nodes ----------------------------------------------------------

int LocalStorageNodes(CsHandle* handle, uint32_t groupNumber, uint16_t nodeNumber, CsXdrNodeInfo** out) {
    if (groupNumber > static_cast<uint32_t>(kInt32Max)) return CS_FAILED;
    int rc = QelLocal_LoadTables(handle);
    QelLocalObjectNodes row;
    if (rc == CS_OK)
        rc = QelLocal_ReadObjectNodes(handle, static_cast<int32_t>(groupNumber), nodeNumber, &row);
    rc = QelLocal_EndRequest(handle, rc);
    if (rc != CS_OK) return rc;
    constexpr int32_t kNodeMax = std::numeric_limits<uint16_t>::max();
    if (row.priNid < 0 || row.priNid > kNodeMax || row.secNid < 0 || row.secNid > kNodeMax) return CS_FAILED;
    auto* info = NewEntry<CsXdrNodeInfo>();
    if (info == nullptr) return CS_NO_MEMORY;
    info->groupNumber = groupNumber;
    info->primaryNode = static_cast<uint16_t>(row.priNid);
    info->secondaryNode = static_cast<uint16_t>(row.secNid);
    info->compression = row.compType;
    *out = info;
    return CS_OK;
}

// --- named queries ----------------------------------------------------------

// The owner the local server filters by: every owner for those who see all, else the user.
int QueryOwner(CsHandle* handle, int32_t folder, int32_t* owner) {
    const CsLogonRecord* logon = handle->logon;
    if (logon == nullptr) return CS_NOT_AUTHORISED;
    *owner = static_cast<int32_t>(logon->userNumber);
    if (logon->userType & kSeesAllQueries) {
        *owner = kEveryOwner;
        return CS_OK;
    }
    QelLocalFolderPerms perms;
    const int rc = QelLocal_GetFolderPerms(handle, folder, static_cast<int32_t>(logon->userNumber),
                                           logon->groupList.c_str(), &perms);
    if (rc == CS_NOT_FOUND) return CS_OK;
    if (rc != CS_OK) return rc;
    if (perms.perms & kFolderAllQueries) *owner = kEveryOwner;
    return CS_OK;
}

int ToQuery(const QelLocalNamedQuery& row, CsXdrNamedQuery** out) {
    CsXdrNamedQuery* entry = NewEntry<CsXdrNamedQuery>();
    if (entry == nullptr) return CS_NO_MEMORY;
    entry->number = static_cast<uint32_t>(row.number);
    if (!csroute::CopyField(entry->name, row.name)) {
        CsFreeNamedQueries(entry);
        return CS_FAILED;
    }
    entry->text = static_cast<char*>(std::malloc(row.text.size() + 1));
    if (entry->text == nullptr) {
        CsFreeNamedQueries(entry);
        return CS_NO_MEMORY;
    }
    std::memcpy(entry->text, row.text.c_str(), row.text.size() + 1);
    *out = entry;
    return CS_OK;
}

int LocalQueries(CsHandle* handle, uint32_t folderNumber, CsEntryFn callback) {
    if (folderNumber > static_cast<uint32_t>(kInt32Max)) return CS_FAILED;
    const auto folder = static_cast<int32_t>(folderNumber);
    int rc = QelLocal_LoadTables(handle);
    int32_t owner = kEveryOwner;
    if (rc == CS_OK) rc = QueryOwner(handle, folder, &owner);
    try {
        QelLocalNamedQuery row;
        std::optional<cstexts::ArchiveTexts> texts;
        if (rc == CS_OK) texts.emplace(handle);
        if (rc == CS_OK) rc = QelLocal_NamedQueriesFirst(handle, folder, owner, &row);
        for (; rc == CS_OK; rc = QelLocal_NamedQueriesNext(handle, &row)) {
            // The query's text comes back as a WHERE text in the session's code page.
            if (!texts->ToSession(&row.text) || !texts->ToSession(row.name, sizeof row.name)) {
                rc = CS_FAILED;
                break;
            }
            CsXdrNamedQuery* entry = nullptr;
            rc = ToQuery(row, &entry);
            if (rc == CS_OK) rc = Deliver(handle, callback, entry, CsFreeNamedQueries);
            if (rc != CS_OK) break;
        }
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    if (rc == CS_NOT_FOUND) rc = CS_OK;  // the end of the list, or a folder without queries
    return QelLocal_EndRequest(handle, rc);
}

// --- segments ----------------------------------------------------------------

int LocalSegments(CsHandle* handle, uint32_t groupNumber, CsEntryFn callback) {
    if (groupNumber > static_cast<uint32_t>(kInt32Max)) return CS_FAILED;
    const auto group = static_cast<int32_t>(groupNumber);
    CsSegmentList list;
    int rc = QelLocal_LoadTables(handle);
    try {
        if (rc == CS_OK) rc = csroute::ListSegments(handle, group, nullptr, 0, nullptr, &list);
        if (rc == CS_OK)
            rc = csroute::ListSegments(handle, group, nullptr, CS_SEGMENTS_UNDATED, nullptr, &list);
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    rc = QelLocal_EndRequest(handle, rc);
    for (size_t i = 0; rc == CS_OK && i < list.segments.size(); ++i) {
        auto* entry = NewEntry<CsXdrSegment>();
        if (entry == nullptr) return CS_NO_MEMORY;
        *entry = list.segments[i];
        rc = Deliver(handle, callback, entry, CsFreeSegmentEntry);
    }
    return rc;
}

}  // namespace

int CsGetStorageNodes(CsHandle* handle, uint32_t groupNumber, uint16_t nodeNumber, CsXdrNodeInfo** out) {
    if (handle == nullptr || out == nullptr) return CS_FAILED;
    *out = nullptr;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    CsXdrNodeInfo* info = nullptr;
    rc = IsLocal(handle) ? LocalStorageNodes(handle, groupNumber, nodeNumber, &info)
                         : CsServerRequest(handle, CS_REQ_STORAGE_NODES, groupNumber, int{nodeNumber}, &info);
    rc = CsSessionLeave(handle, rc);
    if (rc == CS_OK && info == nullptr) rc = CS_FAILED;  // a reply without its record
    if (rc == CS_OK)
        *out = info;
    else
        CsFreeStorageNodes(info);
    return rc;
}

void CsFreeStorageNodes(CsXdrNodeInfo* info) { CsFreeReplyEntry(CS_REQ_STORAGE_NODES, info); }

int CsGetNamedQueries(CsHandle* handle, uint32_t folderNumber, CsEntryFn callback) {
    if (handle == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (IsLocal(handle)) {
        rc = LocalQueries(handle, folderNumber, callback);
    } else {
        const uint32_t user = handle->logon != nullptr ? handle->logon->userNumber : 0;
        rc = CsServerRequest(handle, CS_REQ_NAMED_QUERIES, folderNumber, user, 0,
                             static_cast<CsXdrTextEntry*>(nullptr), callback);
    }
    return CsSessionLeave(handle, rc);
}

void CsFreeNamedQueries(CsXdrNamedQuery* query) { CsFreeReplyEntry(CS_REQ_NAMED_QUERIES, query); }

int CsGetSegmentList(CsHandle* handle, uint32_t groupNumber, CsEntryFn callback) {
    if (handle == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    uint32_t groups[1] = {groupNumber};
    rc = IsLocal(handle) ? LocalSegments(handle, groupNumber, callback)
                         : CsServerRequest(handle, CS_REQ_SEGMENTS, 1, groups, callback);
    return CsSessionLeave(handle, rc);
}

void CsFreeSegmentEntry(CsXdrSegment* segment) { CsFreeReplyEntry(CS_REQ_SEGMENTS, segment); }

int CsGetPrinters(CsHandle* handle, CsEntryFn callback) {
    if (handle == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (!IsLocal(handle)) return CsSessionLeave(handle, CsServerRequest(handle, CS_REQ_PRINTERS, callback));
    // The local server's printers come from its configuration (none without a PRINTERS
    // section). The kind letter travels in the low byte of the first word.
    for (const auto& p : csreq::detail::LocalPrinters(handle)) {
        auto* entry = static_cast<CsXdrPrinter*>(std::calloc(1, sizeof(CsXdrPrinter)));
        if (entry == nullptr) return CsSessionLeave(handle, CS_NO_MEMORY);
        entry->number = p.number;
        std::snprintf(entry->name, sizeof entry->name, "%s", p.name.c_str());
        std::snprintf(entry->description, sizeof entry->description, "%s", p.description.c_str());
        entry->words[0] = static_cast<unsigned char>(p.type);
        if (callback == nullptr || callback(handle->callbackContext, entry) != 0) CsFreePrinters(entry);
    }
    return CsSessionLeave(handle, rc);
}

void CsFreePrinters(CsXdrPrinter* printer) { CsFreeReplyEntry(CS_REQ_PRINTERS, printer); }
