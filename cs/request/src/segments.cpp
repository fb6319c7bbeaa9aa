// The segments of an application group that a date range meets, from the local
// server's tables.
#include <limits>
#include <memory>
#include <new>
#include <optional>

#include "route_detail.h"

CsSegmentList::CsSegmentList() = default;
CsSegmentList::~CsSegmentList() = default;

namespace {

constexpr int32_t kSegmentDateField = 0x04;
// Segment MASK bits of the local tables.
constexpr int32_t kMaskOffline = 0x01;
constexpr int32_t kMaskNoUpdate = 0x02;
constexpr uint16_t kAvailable = 0x01;
constexpr uint16_t kNotForUpdate = 0x02;
// The list grows by this many records at a time.
constexpr size_t kGrowth = 5;

struct Range {
    int64_t from = std::numeric_limits<int64_t>::min();
    int64_t to = std::numeric_limits<int64_t>::max();
};

int64_t ValueOf(const CsXdrValue& value, char type) {
    switch (type) {
        case 'N': return value.v.small;
        case 'I': return value.v.integer;
        default: return value.v.big;
    }
}

// The range by the type of the group's segment-date field: CS_OK or CS_FAILED.
int ReadRange(CsHandle* handle, int32_t groupNumber, const CsXdrCriteria* criteria, Range* range) {
    if (criteria == nullptr) return CS_OK;
    QelLocalAppGroup group;
    if (int rc = QelLocal_ReadAppGroup(handle, groupNumber, &group); rc != CS_OK) return rc;
    const QelLocalAgField* date = nullptr;
    for (const QelLocalAgField& field : group.fields) {
        if (field.mask & kSegmentDateField) {
            date = &field;
            break;
        }
    }
    if (date == nullptr) return CS_FAILED;
    range->from = ValueOf(criteria->values[0], date->type);
    range->to = ValueOf(criteria->values[1], date->type);
    return CS_OK;
}

int ToRecord(const QelLocalSegment& local, CsXdrSegment* record) {
    *record = CsXdrSegment{};
    if (!csroute::CopyField(record->name, local.name)) return CS_FAILED;
    if (local.indexFile < 0 || local.indexFile > 0xFFFF) return CS_FAILED;
    record->number = static_cast<uint16_t>(local.indexFile);
    record->status = static_cast<uint16_t>(((local.mask & kMaskOffline) ? 0 : kAvailable) |
                                           ((local.mask & kMaskNoUpdate) ? kNotForUpdate : 0));
    record->startDate = local.startDate;
    record->stopDate = local.stopDate;
    record->rows = local.totalRows;
    return CS_OK;
}

}  // namespace

int csroute::ListSegments(CsHandle* handle, int32_t groupNumber, const char* name, uint32_t mode,
                          const CsXdrCriteria* criteria, CsSegmentList* list) {
    Range range;
    int rc = ReadRange(handle, groupNumber, criteria, &range);
    QelLocalSegment local;
    if (rc == CS_OK)
        rc = QelLocal_ListSegmentTableFirst(handle, groupNumber, range.from, range.to, name,
                                            (mode & CS_SEGMENTS_UNDATED) ? 1 : 0, &local);
    for (; rc == CS_OK; rc = QelLocal_ListSegmentTableNext(handle, &local)) {
        if (list->segments.size() == list->segments.capacity())
            list->segments.reserve(list->segments.size() + kGrowth);
        CsXdrSegment record;
        rc = ToRecord(local, &record);
        if (rc != CS_OK) break;
        list->segments.push_back(record);
    }
    return rc == CS_NOT_FOUND ? CS_OK : rc;
}

namespace {

int ReadSegments(CsHandle* handle, uint32_t groupNumber, const char* name, uint32_t mode,
                 const CsXdrCriteria* criteria, CsSegmentList* list) {
    if (groupNumber > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return CS_FAILED;
    int rc = QelLocal_LoadTables(handle);
    if (rc == CS_OK) {
        try {
            rc = csroute::ListSegments(handle, static_cast<int32_t>(groupNumber), name, mode, criteria, list);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return QelLocal_EndRequest(handle, rc);
}

}  // namespace

int CsGetSegments(CsHandle* handle, uint32_t groupNumber, const char* segmentName, uint32_t mode,
                  const CsXdrCriteria* range, CsSegmentList** out) {
    if (handle == nullptr || out == nullptr) return CS_FAILED;
    *out = nullptr;
    std::unique_ptr<CsSegmentList> list(new (std::nothrow) CsSegmentList());
    if (!list) return CS_NO_MEMORY;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (handle->def.kind != CS_KIND_LOCAL) {
        rc = CS_FAILED;  // a server searches its own segments
    } else {
        rc = ReadSegments(handle, groupNumber, segmentName, mode, range, list.get());
    }
    rc = CsSessionLeave(handle, rc);
    if (rc == CS_OK) *out = list.release();
    return rc;
}

void CsFreeSegmentList(CsSegmentList* list) { delete list; }
