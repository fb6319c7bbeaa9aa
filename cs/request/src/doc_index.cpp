// Adding index rows to an application group: a local load into the group's segments,
// or one request 103 per row.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "archive_texts.h"
#include "doc_detail.h"
#include "doc_index_detail.h"
#include "logon_detail.h"
#include "route_detail.h"

namespace {

constexpr int kMsgLoad = 68;
constexpr int32_t kMaskOffline = 0x01;
constexpr int32_t kMaskNoUpdate = 0x02;

// The rows of a load as the local server takes them, with their segment dates.
struct LoadRows {
    std::vector<QelLocalIdxRow> rows;
    std::vector<int64_t> dates;
};

int PrepareRows(CsHandle* handle, const csdoc::LocalGroup& local, const CsXdrApplGroup& group,
                std::span<const CsXdrHitRow> hits, LoadRows* out) {
    cstexts::ArchiveTexts texts(handle);
    out->rows.resize(hits.size());
    out->dates.resize(hits.size());
    for (size_t i = 0; i < hits.size(); ++i) {
        if (int rc = csdoc::HitToRow(local.record, hits[i], texts, &out->rows[i]); rc != CS_OK) return rc;
        if (int rc = csdoc::SegmentDate(group, hits[i], &out->dates[i]); rc != CS_OK) return rc;
    }
    return CS_OK;
}

// A segment the load may write: available, open for updates, and with room.
bool HasRoom(const QelLocalSegment& segment, uint32_t limit) {
    if (segment.mask & (kMaskOffline | kMaskNoUpdate)) return false;
    return limit == 0 || segment.totalRows < static_cast<int64_t>(limit);
}

// The most recently started segment of the group (the later listed on a tie), dated
// or not. CS_OK with *found, or the local server's failure.
int NewestSegment(CsHandle* handle, int32_t agid, QelLocalSegment* newest, bool* found) {
    *found = false;
    for (int undated = 0; undated <= 1; ++undated) {
        QelLocalSegment segment;
        int rc =
            QelLocal_ListSegmentTableFirst(handle, agid, std::numeric_limits<int64_t>::min(),
                                           std::numeric_limits<int64_t>::max(), nullptr, undated, &segment);
        for (; rc == CS_OK; rc = QelLocal_ListSegmentTableNext(handle, &segment)) {
            if (!*found || segment.postDate >= newest->postDate) *newest = segment;
            *found = true;
        }
        if (rc != CS_NOT_FOUND) return rc;
    }
    return CS_OK;
}

// A new segment's record: the empty date range (greatest start, stop 1), made now.
int FreshSegment(int32_t agid, const std::string& name, uint32_t limit, QelLocalSegment* segment) {
    if (!csdoc::FitsSegmentName(name)) return CS_FAILED;
    *segment = QelLocalSegment{};
    segment->agid = agid;
    std::memcpy(segment->name, name.c_str(), name.size() + 1);
    segment->startDate = std::numeric_limits<int64_t>::max();
    segment->stopDate = 1;
    segment->postDate = ArcOS_TimeNow();
    segment->lastUpdate = segment->postDate;
    segment->maxRows = limit;
    return CS_OK;
}

class Loader {
public:
    Loader(CsHandle* handle, const csdoc::LocalGroup& local, const LoadRows& load)
        : handle_(handle), local_(local), load_(load) {}

    // Kind 'M': the newest segment while it has room, then new ones of `limit` rows.
    int LoadFilling(uint32_t limit) {
        const int32_t agid = local_.record.agid;
        QelLocalSegment segment;
        bool open = false;
        if (int rc = NewestSegment(handle_, agid, &segment, &open); rc != CS_OK) return rc;
        open = open && HasRoom(segment, limit);
        for (size_t at = 0; at < load_.rows.size();) {
            bool fresh = false;
            if (!open) {
                int32_t id = 0;
                int rc = QelLocal_NextSegmentId(handle_, agid, &id);
                if (rc == CS_OK)
                    rc = FreshSegment(agid, std::string(local_.record.agidName) + std::to_string(id), limit,
                                      &segment);
                if (rc != CS_OK) return rc;
                fresh = true;
            }
            size_t count = load_.rows.size() - at;
            if (limit != 0) count = std::min(count, static_cast<size_t>(limit - segment.totalRows));
            if (int rc = Write(&segment, fresh, at, count); rc != CS_OK) return rc;
            at += count;
            open = HasRoom(segment, limit);
        }
        full_ = !HasRoom(segment, limit);
        return CS_OK;
    }

    // Other kinds: every row to the load's own segment, started when it is missing.
    int LoadNamed(const char* loadId) {
        if (loadId == nullptr || *loadId == '\0') return CS_FAILED;
        const int32_t agid = local_.record.agid;
        const std::string name = std::string(local_.record.agidName) + loadId;
        if (!csdoc::FitsSegmentName(name)) return CS_FAILED;
        QelLocalSegment segment;
        int rc = QelLocal_ReadSegment(handle_, agid, name.c_str(), &segment);
        bool fresh = rc == CS_NOT_FOUND;
        if (fresh) rc = FreshSegment(agid, name, 0, &segment);
        if (rc != CS_OK) return rc;
        if (!fresh && (segment.mask & (kMaskOffline | kMaskNoUpdate))) return CS_FAILED;
        rc = Write(&segment, fresh, 0, load_.rows.size());
        if (rc == CS_OK) full_ = segment.maxRows > 0 && segment.totalRows >= segment.maxRows;
        return rc;
    }

    const QelLocalSegment& Last() const { return last_; }
    bool Full() const { return full_; }
    int64_t Added() const { return added_; }

private:
    // Rows [at, at + count) into the segment; *segment becomes its record afterwards.
    int Write(QelLocalSegment* segment, bool fresh, size_t at, size_t count) {
        const int32_t agid = local_.record.agid;
        if (!fresh && !segment->hasDates) {
            segment->startDate = std::numeric_limits<int64_t>::max();
            segment->stopDate = 1;
        }
        int64_t start = segment->startDate, stop = segment->stopDate;
        for (size_t i = at; i < at + count; ++i) {
            start = std::min(start, load_.dates[i]);
            stop = std::max(stop, load_.dates[i]);
        }
        int rc = fresh ? QelLocal_AddSegment(handle_, agid, segment) : CS_OK;
        int64_t added = 0;
        if (rc == CS_OK)
            rc =
                QelLocal_AddIndexRows(handle_, local_.record, *segment,
                                      std::span<const QelLocalIdxRow>(load_.rows).subspan(at, count), &added);
        if (rc != CS_OK) return rc;
        // The index build counted the rows and numbered the index file: read them back.
        QelLocalSegment after;
        rc = QelLocal_ReadSegment(handle_, agid, segment->name, &after);
        if (rc != CS_OK) return rc;
        after.startDate = start;
        after.stopDate = stop;
        after.insRows += added;
        after.lastUpdate = ArcOS_TimeNow();
        rc = QelLocal_UpdateSegment(handle_, agid, &after);
        if (rc != CS_OK) return rc;
        after.hasDates = start <= stop;
        *segment = after;
        last_ = after;
        added_ += added;
        return CS_OK;
    }

    CsHandle* handle_;
    const csdoc::LocalGroup& local_;
    const LoadRows& load_;
    QelLocalSegment last_;
    bool full_ = false;
    int64_t added_ = 0;
};

int ToSegmentRecord(const QelLocalSegment& local, CsXdrSegment* record) {
    *record = CsXdrSegment{};
    if (!csroute::CopyField(record->name, local.name) || local.indexFile < 0 || local.indexFile > 0xFFFF)
        return CS_FAILED;
    record->number = static_cast<uint16_t>(local.indexFile);
    record->status = static_cast<uint16_t>(((local.mask & kMaskOffline) ? 0 : 0x01) |
                                           ((local.mask & kMaskNoUpdate) ? 0x02 : 0));
    record->startDate = local.startDate;
    record->stopDate = local.stopDate;
    record->rows = local.totalRows;
    return CS_OK;
}

int LoadLocal(CsHandle* handle, const CsXdrApplGroup& group, std::span<const CsXdrHitRow> hits,
              const char* loadId, CsXdrSegment* outSegment, uint32_t* inOutFull) {
    csdoc::LocalGroup local;
    int rc = csdoc::ReadLocalGroup(handle, group.number, &local);
    if (rc == CS_OK) rc = csdoc::Permit(local.permissions, CS_PERMIT_STORE);
    LoadRows load;
    if (rc == CS_OK) rc = PrepareRows(handle, local, group, hits, &load);
    if (rc != CS_OK) return rc;
    Loader loader(handle, local, load);
    {
        csdoc::SegmentLock lock(handle, local.record.name);
        rc = group.segmentKind == 'M' ? loader.LoadFilling(group.rowsPerSegment) : loader.LoadNamed(loadId);
    }
    if (rc != CS_OK) return rc;
    // The rows are in: a message that does not get out cannot undo them.
    if ((local.record.logFlags & CS_LOG_STORES) && loader.Added() > 0)
        CsIssueMessageV(handle, kMsgLoad, 'S', local.record.name, 'I', local.record.agid, 'B', loader.Added(),
                        'S', "Qelcs", 'I', __LINE__, 'V');
    if (outSegment != nullptr && loader.Added() > 0) rc = ToSegmentRecord(loader.Last(), outSegment);
    if (inOutFull != nullptr) *inOutFull = loader.Full() ? 1 : 0;
    return rc;
}

int LocalAddRows(CsHandle* handle, const CsXdrApplGroup& group, std::span<const CsXdrHitRow> hits,
                 const char* loadId, CsXdrSegment* outSegment, uint32_t* inOutFull) {
    int rc = QelLocal_LoadTables(handle);
    if (rc == CS_OK) {
        try {
            rc = LoadLocal(handle, group, hits, loadId, outSegment, inOutFull);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return QelLocal_EndRequest(handle, rc);
}

int RemoteAddRows(CsHandle* handle, const CsXdrApplGroup& group, std::span<const CsXdrHitRow> hits,
                  CsXdrSegment* outSegment, uint32_t* inOutFull) {
    uint32_t word = inOutFull != nullptr ? *inOutFull : 0;
    CsXdrSegment segment = outSegment != nullptr ? *outSegment : CsXdrSegment{};
    for (const CsXdrHitRow& hit : hits) {
        CsXdrIndexResult result{};
        const int rc = CsServerRequest(handle, CS_REQ_ADD_INDEX_ROW, const_cast<CsXdrApplGroup*>(&group),
                                       const_cast<CsXdrHitRow*>(&hit), static_cast<CsXdrValueItem*>(nullptr),
                                       &result, &segment, &word);
        if (rc != CS_OK) return rc;
    }
    if (outSegment != nullptr) *outSegment = segment;
    if (inOutFull != nullptr) *inOutFull = word;
    return CS_OK;
}

}  // namespace

bool csdoc::FitsSegmentName(const std::string& name) {
    // The segment record's name field is the narrowest that carries it.
    return !name.empty() && name.size() < CS_XDR_SEGNAME_SIZE;
}

csdoc::SegmentLock::SegmentLock(CsHandle* handle, const char* groupName)
    : handle_(handle), groupWide_(std::strcmp(groupName, "System Log") == 0 ? 1 : 0) {
    CsSessionLock(1, handle_, groupWide_);
}

csdoc::SegmentLock::~SegmentLock() { CsSessionLock(0, handle_, groupWide_); }

int CsAddIndexRow(CsHandle* handle, const CsXdrApplGroup* group, std::span<const CsXdrHitRow> rows,
                  const char* loadId, CsXdrSegment* outSegment, uint32_t* inOutFull) {
    if (handle == nullptr || group == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    rc = cslogon::IsLocal(handle) ? LocalAddRows(handle, *group, rows, loadId, outSegment, inOutFull)
                                  : RemoteAddRows(handle, *group, rows, outSegment, inOutFull);
    return CsSessionLeave(handle, rc);
}
