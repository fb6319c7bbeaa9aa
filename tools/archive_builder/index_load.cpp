// index_load.cpp - the segment index of every group, built by the local server's own code.
#include "index_load.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "arc_platform.h"
#include "qel_cshandle.h"

namespace arcbuild {
namespace {

// The local server's state is the process's: one open archive at a time.
class LocalArchive {
public:
    explicit LocalArchive(const std::string& dir) {
        std::snprintf(handle_.serverName, sizeof handle_.serverName, "ARCBUILD");
        handle_.def.kind = CS_KIND_LOCAL;
        handle_.def.profile = "[@SRV@_ARCBUILD]\nDIRECTORY=" + dir + "\n";
        open_ = QelLocal_Open(&handle_) == CS_OK;
    }
    ~LocalArchive() {
        if (open_) QelLocal_Close(&handle_);
    }
    LocalArchive(const LocalArchive&) = delete;
    LocalArchive& operator=(const LocalArchive&) = delete;
    bool Open() const { return open_; }
    CsHandle* Handle() { return &handle_; }

private:
    CsHandle handle_{};
    bool open_ = false;
};

std::string Failed(const std::string& step, int rc) {
    return step + " failed (result " + std::to_string(rc) + ")";
}

// Rows [first, first + count) of the group into a new segment.
bool LoadSegment(CsHandle* handle, const QelLocalAppGroup& group, const AppGroupDef& def,
                 const std::vector<QelLocalIdxRow>& rows, const std::vector<int64_t>& dates, size_t first,
                 size_t count, bool dated, Errors* errors) {
    const std::string where = "application_groups." + def.name;
    int32_t id = 0;
    int rc = QelLocal_NextSegmentId(handle, group.agid, &id);
    if (rc != CS_OK) return errors->Add(kErrIndex, where, Failed("numbering a segment", rc)), false;
    QelLocalSegment segment;
    segment.agid = group.agid;
    const std::string name = def.storageId + std::to_string(id);
    std::memcpy(segment.name, name.c_str(), name.size() + 1);
    // A fresh segment has the empty range; the rows' dates widen it below.
    segment.startDate = std::numeric_limits<int64_t>::max();
    segment.stopDate = 1;
    segment.postDate = ArcOS_TimeNow();
    segment.lastUpdate = segment.postDate;
    segment.maxRows = def.segmentRows;
    rc = QelLocal_AddSegment(handle, group.agid, &segment);
    if (rc != CS_OK) return errors->Add(kErrIndex, where, Failed("adding segment " + name, rc)), false;
    int64_t added = 0;
    rc = QelLocal_AddIndexRows(handle, group, segment,
                               std::span<const QelLocalIdxRow>(rows).subspan(first, count), &added);
    if (rc != CS_OK || added != static_cast<int64_t>(count))
        return errors->Add(kErrIndex, where + "." + name, Failed("loading the index rows", rc)), false;
    QelLocalSegment after;
    rc = QelLocal_ReadSegment(handle, group.agid, segment.name, &after);
    if (rc != CS_OK)
        return errors->Add(kErrIndex, where + "." + name, Failed("reading the segment back", rc)), false;
    if (dated) {
        const auto [low, high] = std::minmax_element(dates.begin() + first, dates.begin() + first + count);
        after.startDate = *low;
        after.stopDate = *high;
    }
    after.insRows += added;
    rc = QelLocal_UpdateSegment(handle, group.agid, &after);
    if (rc != CS_OK)
        return errors->Add(kErrIndex, where + "." + name, Failed("dating the segment", rc)), false;
    return true;
}

}  // namespace

bool LoadIndexes(const Description& d, const std::string& dir, const std::vector<QelLocalIdxHeader>& headers,
                 Errors* errors) {
    LocalArchive archive(dir);
    if (!archive.Open())
        return errors->Add(kErrIndex, dir, "the local server could not open the new archive"), false;
    CsHandle* handle = archive.Handle();
    for (size_t g = 0; g < d.appGroups.size(); ++g) {
        const AppGroupDef& def = d.appGroups[g];
        std::vector<QelLocalIdxRow> rows;
        std::vector<int64_t> dates;
        for (size_t i = 0; i < d.documents.size(); ++i) {
            if (d.documents[i].group != g) continue;
            QelLocalIdxRow row;
            row.header = headers[i];
            row.values = d.documents[i].values;
            rows.push_back(std::move(row));
            dates.push_back(d.documents[i].segmentDate);
        }
        if (rows.empty()) continue;
        QelLocalAppGroup group;
        if (int rc = QelLocal_ReadAppGroup(handle, def.agid, &group); rc != CS_OK)
            return errors->Add(kErrIndex, "application_groups." + def.name, Failed("reading the group", rc)),
                   false;
        const bool dated = std::any_of(def.fields.begin(), def.fields.end(),
                                       [](const FieldDef& f) { return f.mask & 0x04; });
        const size_t limit = static_cast<size_t>(def.segmentRows);
        for (size_t first = 0; first < rows.size(); first += limit)
            if (!LoadSegment(handle, group, def, rows, dates, first, std::min(limit, rows.size() - first),
                             dated, errors))
                return false;
    }
    return true;
}

}  // namespace arcbuild
