// Shared internals of the store, search and retrieve operations.
#include "doc_detail.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "arc_platform.h"
#include "archive_texts.h"
#include "logon_detail.h"
#include "route_detail.h"

namespace csdoc {

int ReadLocalGroup(CsHandle* handle, uint32_t number, LocalGroup* out) {
    if (number > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return CS_FAILED;
    const CsLogonRecord* logon = handle->logon;
    if (logon == nullptr) return CS_NOT_AUTHORISED;
    const auto agid = static_cast<int32_t>(number);
    int rc = QelLocal_ReadAppGroup(handle, agid, &out->record);
    if (rc == CS_NOT_FOUND) return CS_FAILED;
    if (rc != CS_OK) return rc;
    QelLocalAgPerms perms;
    rc = QelLocal_GetAppGroupPerms(handle, agid, static_cast<int32_t>(logon->userNumber),
                                   logon->groupList.c_str(), 1, &perms);
    if (rc == CS_NOT_FOUND) {
        if (!cslogon::SeesAllFolders(handle)) return CS_NOT_AUTHORISED;
        perms = QelLocalAgPerms{};
    } else if (rc != CS_OK) {
        return rc;
    }
    out->permissions = static_cast<uint8_t>(perms.docPerms);
    out->notePermissions = perms.annPerms;
    out->restriction = perms.hasRestrict ? perms.queryRestrict : std::string();
    out->storage.storageId = out->record.agidName;
    out->storage.name = out->record.name;
    out->storage.cachePeriod = out->record.cachePeriod;
    out->storage.migrationPeriod = out->record.migrationPeriod;
    return CS_OK;
}

NoteReader NotesReadBy(const CsHandle& handle, const LocalGroup* group) {
    // User types that read every note.
    constexpr uint16_t kReadsAllNotes = 0x04 | 0x10;
    const CsLogonRecord& logon = *handle.logon;
    if ((logon.userType & kReadsAllNotes) || (group != nullptr && (group->permissions & CS_PERMIT_ALL_NOTES)))
        return NoteReader{};
    return NoteReader{static_cast<int32_t>(logon.userNumber), logon.groupList.c_str()};
}

namespace {

constexpr int kMsgUnavailable = 146;
constexpr uint16_t kAvailable = 0x01;

// The row header of a hit's object reference: CS_OK, or CS_FAILED for a name too long.
int HeaderOf(const CsXdrHitRow& hit, QelLocalIdxHeader* header) {
    const CsXdrObjectRef& object = *hit.object;
    header->objName = object.name != nullptr ? object.name : "";
    if (header->objName.size() > QELIDX_OBJECT_NAME_SIZE) return CS_FAILED;
    header->off = object.offset;
    header->len = object.length;
    header->compOff = object.compressedOffset;
    header->compLen = object.compressedLength;
    header->compType = object.compression;
    header->rid = object.resourceId;
    header->priNid = object.primaryNode;
    header->secNid = object.secondaryNode;
    header->annot = hit.noteFlag == 'Y' ? 1 : 0;
    return CS_OK;
}

}  // namespace

std::string Restriction(const std::string& user, const char* folder) {
    if (folder == nullptr || folder[0] == '\0') return user;
    if (user.empty()) return folder;
    return "(" + user + ") AND (" + folder + ")";
}

int FindSegment(CsHandle* handle, const LocalGroup& local, const char* name, std::string* found) {
    if (*name == '\0') return CS_NOT_FOUND;
    CsSegmentList list;
    int rc = csroute::ListSegments(handle, local.record.agid, name, 0, nullptr, &list);
    if (rc == CS_OK)
        rc = csroute::ListSegments(handle, local.record.agid, name, CS_SEGMENTS_UNDATED, nullptr, &list);
    if (rc != CS_OK) return rc;
    if (list.segments.empty()) return CS_NOT_FOUND;
    if (list.segments.size() > 1) return CS_FAILED;
    if (!(list.segments[0].status & kAvailable)) {
        CsIssueMessageV(handle, kMsgUnavailable, 'S', local.record.name, 'I', local.record.agid, 'S',
                        list.segments[0].name, 'S', "Qelcs", 'I', __LINE__, 'V');
        return CS_UNAVAILABLE;
    }
    *found = list.segments[0].name;
    return CS_OK;
}

int CheckRow(CsHandle* handle, const LocalGroup& local, const char* folderRestriction, const CsXdrHitRow& hit,
             RowMatch match, const CsXdrHitRow* replacement, std::string* segment) {
    if (hit.object == nullptr) return CS_FAILED;
    // The hit's values and the folder's restriction compare in the archive's code page.
    cstexts::ArchiveTexts texts(handle);
    std::string folder = folderRestriction != nullptr ? folderRestriction : "";
    if (!texts.ToArchive(&folder)) return CS_FAILED;
    QelLocalIdxRow row, changed;
    if (replacement != nullptr && HitToRow(local.record, *replacement, texts, &changed) != CS_OK)
        return CS_FAILED;
    // A hit that fits no row of the group names none.
    if (match == RowMatch::kExact) {
        if (HitToRow(local.record, hit, texts, &row) != CS_OK) return CS_NOT_AUTHORISED;
    } else {
        if (HeaderOf(hit, &row.header) != CS_OK) return CS_NOT_AUTHORISED;
        row.values.resize(local.record.fields.size());
    }
    const std::string name(hit.segment, strnlen(hit.segment, sizeof hit.segment));
    std::string listed;
    int rc = FindSegment(handle, local, name.c_str(), &listed);
    if (rc == CS_NOT_FOUND) return CS_NOT_AUTHORISED;
    if (rc != CS_OK) return rc;
    const std::string restriction = Restriction(local.restriction, folder.c_str());
    rc = QelLocal_CheckIndexRow(handle, local.record, listed.c_str(), row,
                                match == RowMatch::kExact ? QELIDX_MATCH_EXACT : QELIDX_MATCH_DOCUMENT,
                                restriction.c_str(), replacement != nullptr ? &changed : nullptr);
    if (rc == CS_NOT_FOUND) return CS_NOT_AUTHORISED;
    if (rc == CS_OK && segment != nullptr) *segment = listed;
    return rc;
}

int HitToRow(const QelLocalAppGroup& group, const CsXdrHitRow& hit, cstexts::ArchiveTexts& texts,
             QelLocalIdxRow* row) {
    *row = QelLocalIdxRow{};
    if (hit.valueCount != group.fields.size() || (hit.valueCount != 0 && hit.values == nullptr))
        return CS_FAILED;
    if (hit.object != nullptr && HeaderOf(hit, &row->header) != CS_OK) return CS_FAILED;
    row->values.resize(group.fields.size());
    for (size_t i = 0; i < group.fields.size(); ++i) {
        const QelLocalAgField& field = group.fields[i];
        const CsXdrValue& slot = hit.values[i];
        QelLocalIdxValue& value = row->values[i];
        if (slot.type != field.type) return CS_FAILED;
        switch (field.type) {
            case 'B': value.integer = slot.v.big; break;
            case 'I': value.integer = slot.v.integer; break;
            case 'N': value.integer = slot.v.small; break;
            case 'D': value.dbl = slot.v.real; break;
            case 'S':
                value.text = slot.v.text != nullptr ? slot.v.text : "";
                if (!texts.ToArchive(&value.text)) return CS_FAILED;
                if (value.text.size() > static_cast<size_t>(std::max(field.stringLen, 0))) return CS_FAILED;
                break;
            default: break;
        }
    }
    return CS_OK;
}

int RowToHit(const CsXdrApplGroup& group, const QelLocalIdxRow& row, const char* segment, int extra,
             cstexts::ArchiveTexts& texts, CsXdrHitRow** out) {
    *out = nullptr;
    if (row.values.size() > group.fieldCount) return CS_FAILED;
    CsXdrHitRow hit{};
    if (!csroute::CopyField(hit.segment, segment, std::strlen(segment) + 1)) return CS_FAILED;
    CsXdrObjectRef object{};
    std::string name = row.header.objName;
    object.name = name.data();
    object.offset = row.header.off;
    object.length = row.header.len;
    object.compressedOffset = row.header.compOff;
    object.compressedLength = row.header.compLen;
    object.compression = row.header.compType;
    object.resourceId = row.header.rid;
    object.primaryNode = row.header.priNid;
    object.secondaryNode = row.header.secNid;
    hit.object = &object;
    std::vector<CsXdrValue> slots(group.fieldCount);
    std::vector<std::string> values(group.fieldCount);
    for (size_t i = 0; i < slots.size(); ++i) {
        const char type = group.fields[i].type;
        CsXdrValue& slot = slots[i];
        slot.type = type;
        slot.v.big = 0;
        if (i >= row.values.size()) continue;
        const QelLocalIdxValue& value = row.values[i];
        switch (type) {
            case 'B': slot.v.big = value.integer; break;
            case 'I': slot.v.integer = static_cast<int32_t>(value.integer); break;
            case 'N': slot.v.small = static_cast<int16_t>(value.integer); break;
            case 'D': slot.v.real = value.dbl; break;
            case 'S':
            case 'T':
                values[i] = value.text;
                if (!texts.ToSession(&values[i])) return CS_FAILED;
                slot.v.text = values[i].data();
                break;
            default: slot.type = 0; break;
        }
    }
    hit.valueCount = group.fieldCount;
    hit.values = slots.empty() ? nullptr : slots.data();
    CsXdrHitRow* packed = &hit;
    const int rc = CsPackHit(&group, &packed, extra, CS_PACK_COPY);
    if (rc == CS_OK) *out = packed;
    return rc;
}

int SegmentDate(const CsXdrApplGroup& group, const CsXdrHitRow& hit, int64_t* value) {
    for (uint16_t i = 0; i < group.fieldCount; ++i) {
        if (!(group.fields[i].flags & CS_FIELD_SEGMENT_DATE)) continue;
        if (i >= hit.valueCount || hit.values == nullptr) return CS_FAILED;
        const CsXdrValue& slot = hit.values[i];
        switch (group.fields[i].type) {
            case 'N': *value = slot.v.small; break;
            case 'I': *value = slot.v.integer; break;
            default: *value = slot.v.big; break;
        }
        return CS_OK;
    }
    return CS_FAILED;
}

int ToNodeEntry(const CsStorageNode* node, CsXdrNodeEntry* entry) {
    *entry = CsXdrNodeEntry{};
    if (node == nullptr) return CS_OK;
    if (!csroute::CopyField(entry->name, node->name) ||
        !csroute::CopyField(entry->description, node->description) ||
        !csroute::CopyField(entry->logon, node->logon) ||
        !csroute::CopyField(entry->password, node->password) ||
        !csroute::CopyField(entry->serverName, node->serverName))
        return CS_FAILED;
    entry->flags = node->flags;
    entry->number = node->number;
    return CS_OK;
}

Stopwatch::Stopwatch() : startMs_(ArcOS_MonotonicMs()) {}

std::string Stopwatch::Seconds() const {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(ArcOS_MonotonicMs() - startMs_) / 1000.0);
    return text;
}

}  // namespace csdoc
