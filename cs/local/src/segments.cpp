// segments.cpp - segments of application groups: seg.tbl and the segment index profiles.
#include <cstring>
#include <limits>

#include "arc_platform.h"
#include "local_state.h"
#include "qel_local.h"
#include "selection.h"
#include "write_lock.h"

using namespace qel::local::detail;

namespace {

constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();

// A segment name becomes a section name and an element of a comma list.
bool SafeSegmentName(const char* name) {
    if (name == nullptr || *name == '\0' || strnlen(name, QELLOCAL_NAME_SIZE) >= QELLOCAL_NAME_SIZE) {
        return false;
    }
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p == ',' || *p == ']' || *p < 0x20 || *p == 0x7F) return false;
    }
    return true;
}

struct GroupNames {
    std::string name;      // NAME: names the segment index profile
    std::string agidName;  // AGID_NAME
    std::string profile;   // "index/<NAME>.seg"
};

int ReadGroupNames(int32_t agid, GroupNames* names) {
    TableFile ag;
    if (LoadTable(QELLOCAL_TBL_AG, &ag) != CS_OK) return CS_FAILED;
    std::string s = Row(agid);
    if (ag.LongText(s, "NAME", &names->name, CS_FAILED, nullptr, 60) != CS_OK ||
        ag.LongText(s, "AGID_NAME", &names->agidName, CS_FAILED, nullptr, 8) != CS_OK) {
        return CS_FAILED;
    }
    std::optional<std::string> profile = FileInFolder(QELLOCAL_DIR_INDEX, names->name + ".seg");
    if (!profile) return CS_FAILED;
    names->profile = *profile;
    return CS_OK;
}

int ReadSegmentSection(const TableFile& profile, int32_t agid, const std::string& name,
                       QelLocalSegment* record) {
    QelLocalSegment seg;
    seg.agid = agid;
    if (name.size() >= sizeof seg.name) return CS_FAILED;
    std::memcpy(seg.name, name.c_str(), name.size() + 1);
    struct Key64 {
        const char* key;
        int64_t* value;
    };
    const Key64 keys[] = {{"START_DATE", &seg.startDate},
                          {"STOP_DATE", &seg.stopDate},
                          {"POST_DATE", &seg.postDate},
                          {"CLOSED_DATE", &seg.closedDate},
                          {"REIMPORTED_DATE", &seg.reimportedDate},
                          {"LAST_UPDATE", &seg.lastUpdate},
                          {"LAST_BACKUP", &seg.lastBackup},
                          {"LAST_STATS", &seg.lastStats},
                          {"INS_ROWS", &seg.insRows},
                          {"UPD_ROWS", &seg.updRows},
                          {"DEL_ROWS", &seg.delRows},
                          {"MOD_ROWS", &seg.modRows},
                          {"MAX_ROWS", &seg.maxRows},
                          {"TOTAL_ROWS", &seg.totalRows}};
    for (const Key64& k : keys) {
        if (profile.Number(name, k.key, kMin64, kMax64, k.value, CS_FAILED, 0) != CS_OK) return CS_FAILED;
    }
    if (profile.Int32(name, "MASK", &seg.mask, CS_FAILED, 0) != CS_OK ||
        profile.Int32(name, "INDEX_FILE", &seg.indexFile, CS_FAILED, 0) != CS_OK) {
        return CS_FAILED;
    }
    // A fresh segment carries the empty range (greatest start, stop 1): no dates yet.
    bool keys2 = profile.Get(name, "START_DATE").has_value() || profile.Get(name, "STOP_DATE").has_value();
    seg.hasDates = keys2 && seg.startDate <= seg.stopDate;
    *record = seg;
    return CS_OK;
}

// The dates and counts of a segment, in the order they are written.
int WriteSegmentKeys(const std::string& profile, const QelLocalSegment& seg) {
    const char* s = seg.name;
    std::string v[14] = {
        std::to_string(seg.startDate),  std::to_string(seg.stopDate),       std::to_string(seg.postDate),
        std::to_string(seg.closedDate), std::to_string(seg.reimportedDate), std::to_string(seg.lastUpdate),
        std::to_string(seg.lastBackup), std::to_string(seg.lastStats),      std::to_string(seg.mask),
        std::to_string(seg.insRows),    std::to_string(seg.updRows),        std::to_string(seg.delRows),
        std::to_string(seg.modRows),    std::to_string(seg.maxRows)};
    const char* keys[14] = {"START_DATE",  "STOP_DATE",   "POST_DATE",  "CLOSED_DATE", "REIMPORTED_DATE",
                            "LAST_UPDATE", "LAST_BACKUP", "LAST_STATS", "MASK",        "INS_ROWS",
                            "UPD_ROWS",    "DEL_ROWS",    "MOD_ROWS",   "MAX_ROWS"};
    QelTableValue values[14];
    for (int i = 0; i < 14; ++i) values[i] = {s, keys[i], v[i].c_str()};
    int rc = QelLocal_PutValues(profile.c_str(), values, 14);
    if (rc != CS_OK) {
        // The index folder may not exist yet: make it and try once more.
        QelLocal_MakeDirs(profile.c_str());
        rc = QelLocal_PutValues(profile.c_str(), values, 14);
    }
    return rc;
}

bool Listed(const std::vector<std::string>& names, const char* name) {
    for (const std::string& n : names) {
        if (ArcOS_StrICmp(n.c_str(), name) == 0) return true;
    }
    return false;
}

}  // namespace

int QelLocal_AddSegment(CsHandle*, int32_t agid, const QelLocalSegment* segment) {
    if (segment == nullptr || !SafeSegmentName(segment->name)) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    LocalState& state = request.state();
    WriteLock lock(state.directory);
    if (!lock.Held()) return CS_FAILED;
    GroupNames group;
    if (ReadGroupNames(agid, &group) != CS_OK) return CS_FAILED;
    TableFile seg;
    if (LoadTable(QELLOCAL_TBL_SEG, &seg) != CS_OK) return CS_FAILED;
    std::string section = Row(agid);
    std::vector<std::string> names;
    int rc = seg.NameList(section, "SEGMENTS", &names);
    if (rc != CS_OK && rc != CS_NOT_FOUND) return rc;
    const std::string& table = state.tables[QELLOCAL_TBL_SEG];
    if (rc == CS_OK) {
        if (Listed(names, segment->name) || names.size() >= size_t(QELLOCAL_MAX_IDS)) return CS_FAILED;
        std::string list = *seg.Get(section, "SEGMENTS") + "," + segment->name;
        rc = QelLocal_PutValue(section.c_str(), "SEGMENTS", list.c_str(), table.c_str());
    } else {
        const QelTableValue values[] = {{section.c_str(), "SEGMENTS", segment->name},
                                        {section.c_str(), "AGID_NAME", group.agidName.c_str()}};
        rc = QelLocal_PutValues(table.c_str(), values, 2);
    }
    if (rc != CS_OK) return rc;
    return WriteSegmentKeys(group.profile, *segment);
}

int QelLocal_UpdateSegment(CsHandle*, int32_t agid, const QelLocalSegment* segment) {
    if (segment == nullptr || !SafeSegmentName(segment->name)) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    WriteLock lock(request.state().directory);
    if (!lock.Held()) return CS_FAILED;
    GroupNames group;
    if (ReadGroupNames(agid, &group) != CS_OK) return CS_FAILED;
    TableFile seg;
    if (LoadTable(QELLOCAL_TBL_SEG, &seg) != CS_OK) return CS_FAILED;
    std::vector<std::string> names;
    if (int rc = seg.NameList(Row(agid), "SEGMENTS", &names); rc != CS_OK) return rc;
    if (!Listed(names, segment->name)) return CS_NOT_FOUND;
    return WriteSegmentKeys(group.profile, *segment);
}

int QelLocal_ReadSegment(CsHandle*, int32_t agid, const char* name, QelLocalSegment* record) {
    if (record == nullptr || !SafeSegmentName(name)) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    GroupNames group;
    if (ReadGroupNames(agid, &group) != CS_OK) return CS_FAILED;
    TableFile profile;
    if (profile.Load(group.profile) != CS_OK) return CS_FAILED;
    if (!profile.HasSection(name)) return CS_NOT_FOUND;
    return ReadSegmentSection(profile, agid, name, record);
}

int QelLocal_ReadSegmentRange(CsHandle* handle, int32_t agid, const char* name, int64_t* start,
                              int64_t* stop) {
    if (start == nullptr || stop == nullptr) return CS_FAILED;
    QelLocalSegment seg;
    if (int rc = QelLocal_ReadSegment(handle, agid, name, &seg); rc != CS_OK) return rc;
    *start = seg.startDate;
    *stop = seg.stopDate;
    return CS_OK;
}

int QelLocal_ReadSegmentFields(CsHandle*, int32_t agid, QelLocalSegmentFields* fields) {
    if (fields == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    GroupNames group;
    if (ReadGroupNames(agid, &group) != CS_OK) return CS_FAILED;
    TableFile profile;
    if (profile.Load(group.profile) != CS_OK) return CS_FAILED;
    QelLocalSegmentFields f;
    std::string s = Row(agid);
    if (!profile.HasSection(s)) return CS_NOT_FOUND;
    if (profile.Int32(s, "FLDS_NUM", &f.fieldCount, CS_FAILED, 0) != CS_OK || f.fieldCount < 0 ||
        f.fieldCount > QELLOCAL_MAX_IDS ||
        profile.Text(s, "AGID_NAME", f.agidName, sizeof f.agidName, CS_FAILED, "") != CS_OK) {
        return CS_FAILED;
    }
    for (int32_t i = 0; i < f.fieldCount; ++i) {
        std::string name;
        if (profile.LongText(Row(agid, i), "NAME", &name, CS_FAILED, nullptr, 60) != CS_OK) return CS_FAILED;
        f.names.push_back(std::move(name));
    }
    *fields = std::move(f);
    return CS_OK;
}

int QelLocal_ListSegmentTableFirst(CsHandle*, int32_t agid, int64_t from, int64_t to, const char* name,
                                   int undatedOnly, QelLocalSegment* record) {
    auto build = [&](LocalState&, std::vector<QelLocalSegment>* kept) -> int {
        GroupNames group;
        if (ReadGroupNames(agid, &group) != CS_OK) return CS_FAILED;
        TableFile seg, profile;
        if (LoadTable(QELLOCAL_TBL_SEG, &seg) != CS_OK || profile.Load(group.profile) != CS_OK)
            return CS_FAILED;
        std::vector<std::string> names;
        if (int rc = seg.NameList(Row(agid), "SEGMENTS", &names); rc != CS_OK) return rc;
        for (const std::string& n : names) {
            if (name != nullptr && *name != '\0' && ArcOS_StrICmp(n.c_str(), name) != 0) continue;
            QelLocalSegment s;
            if (ReadSegmentSection(profile, agid, n, &s) != CS_OK) return CS_FAILED;
            bool keep = undatedOnly ? !s.hasDates : s.hasDates && s.startDate <= to && s.stopDate >= from;
            if (keep) kept->push_back(s);
        }
        return CS_OK;
    };
    return ListFirst(&LocalState::segments, build, CopyItem<QelLocalSegment>, record);
}

int QelLocal_NextSegment(CsHandle*, QelLocalSegment* record) {
    return ListNext(&LocalState::segments, CancelCheck::kNone, CopyItem<QelLocalSegment>, record);
}

int QelLocal_ListSegmentTableNext(CsHandle*, QelLocalSegment* record) {
    return ListNext(&LocalState::segments, CancelCheck::kFirst, CopyItem<QelLocalSegment>, record);
}
