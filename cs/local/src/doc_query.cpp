// doc_query.cpp - loading index rows into a segment, and the document query over
// the segments of a folder's application groups.
#include <cstring>

#include "arc_platform.h"
#include "local_state.h"
#include "segment_index.h"

using namespace qel::local::detail;

namespace {

constexpr size_t kWhereMax = 32766;

struct CacheEntry {
    uintptr_t owner = 0;
    int32_t agid = 0;
    std::string group;  // NAME
    std::string segment;
    std::unique_ptr<QelLocalIdx> index;
};

struct DocQuery {
    std::vector<CacheEntry> cache;
    std::vector<QelLocalIdx*> entries;  // the query's segments, in order (owned by the cache)
    size_t position = 0;
    bool searchPending = false;  // the current entry has not been searched yet
    std::string where;
    std::string restriction;
};

DocQuery& TheQuery() {
    static DocQuery query;
    return query;
}

std::string GroupName(const QelLocalAppGroup& group) {
    return std::string(group.name, strnlen(group.name, sizeof group.name));
}

// The cached index of a group's segment, opened when absent: CS_OK, CS_FAILED,
// CS_LEVEL_NOT_SUPPORTED or CS_NO_MEMORY.
int CachedIndex(uintptr_t owner, const QelLocalAppGroup& group, const std::string& segment,
                QelLocalIdx** out) {
    DocQuery& q = TheQuery();
    const std::string name = GroupName(group);
    for (CacheEntry& e : q.cache) {
        if (e.owner == owner && e.agid == group.agid && e.group == name && e.segment == segment) {
            *out = e.index.get();
            return CS_OK;
        }
    }
    if (q.cache.size() >= size_t(QELLOCAL_MAX_IDS)) return CS_NO_MEMORY;
    int status = QELIDX_MISSING;
    std::unique_ptr<QelLocalIdx> index = QelLocalIdx_New(nullptr, group, segment.c_str(), &status);
    if (!index) return status == QELIDX_OLD_VERSION ? CS_LEVEL_NOT_SUPPORTED : CS_FAILED;
    *out = index.get();
    q.cache.push_back(CacheEntry{owner, group.agid, name, segment, std::move(index)});
    return CS_OK;
}

int Fetch(QelLocalHit* hit) {
    DocQuery& q = TheQuery();
    while (q.position < q.entries.size()) {
        QelLocalIdx* index = q.entries[q.position];
        int found = 0, error = CS_OK;
        if (q.searchPending) {
            found = QelLocalIdx_Search(index, q.where.c_str(), q.restriction.c_str(), &hit->row, 1, &error);
            q.searchPending = false;
        } else {
            found = QelLocalIdx_NextHit(index, &hit->row);
        }
        if (error != CS_OK) return error;
        if (found) {
            hit->agid = index->group.agid;
            hit->segment = index->segment;
            return CS_OK;
        }
        ++q.position;
        q.searchPending = true;
    }
    return CS_NOT_FOUND;
}

}  // namespace

namespace qel::local::detail {

void ForgetDocQuery() { TheQuery() = DocQuery{}; }

}  // namespace qel::local::detail

int QelLocal_AddIndexRows(CsHandle* handle, const QelLocalAppGroup& group, const QelLocalSegment& segment,
                          std::span<const QelLocalIdxRow> rows, int64_t* rowsAdded) {
    if (rowsAdded != nullptr) *rowsAdded = 0;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    std::optional<SegmentFiles> paths = SegmentPaths(group);
    if (!paths || segment.name[0] == '\0') return CS_FAILED;
    TableFile profile;
    if (profile.Load(paths->profile) != CS_OK) return CS_FAILED;
    const std::string section = segment.name;
    if (!profile.Get(section, "INDEX_FILE")) {
        // The segment's first load gives it the next file number of the group.
        int64_t number = 0;
        if (profile.Number("INDEXES", "COUNT", 1, 99999998, &number, CS_FAILED, 1) != CS_OK) return CS_FAILED;
        const std::string n = std::to_string(number), next = std::to_string(number + 1);
        const QelTableValue values[] = {{section.c_str(), "SEGMENT", n.c_str()},
                                        {"INDEXES", "COUNT", next.c_str()},
                                        {section.c_str(), "INDEX_FILE", n.c_str()},
                                        {section.c_str(), "VERSION", "4"}};
        if (int rc = QelLocal_PutValues(paths->profile.c_str(), values, std::size(values)); rc != CS_OK) {
            return rc;
        }
    }
    int64_t added = 0;
    const int rc = QelLocalIdx_Build(handle, group, segment, rows, 0, int64_t(rows.size()), &added);
    if (rc == CS_OK && rowsAdded != nullptr) *rowsAdded = added;
    return rc;
}

int QelLocal_QueryDocsFirst(CsHandle*, const QelLocalQueryFolder* folder,
                            const std::vector<QelLocalQueryGroup>* query, const char* whereText,
                            QelLocalHit* hit) {
    Request request;
    if (!request.Ready() || folder == nullptr || query == nullptr || hit == nullptr) return CS_FAILED;
    DebugDelay("QEL_SLEEP_DOC");
    DocQuery& q = TheQuery();
    q.entries.clear();
    q.position = 0;
    q.searchPending = true;
    const std::string_view where = whereText != nullptr ? whereText : "";
    if (where.size() > kWhereMax || folder->restriction.size() > kWhereMax) return CS_FAILED;
    for (const QelLocalQueryGroup& g : *query) {
        if (g.group == nullptr) return CS_FAILED;
        for (const std::string& segment : g.segments) {
            QelLocalIdx* index = nullptr;
            if (int rc = CachedIndex(folder->owner, *g.group, segment, &index); rc != CS_OK) {
                q.entries.clear();
                return rc;
            }
            q.entries.push_back(index);
        }
    }
    q.where.assign(where);
    q.restriction = folder->restriction;
    CancelFlag().store(0);
    return Fetch(hit);
}

int QelLocal_QueryDocsNext(CsHandle*, QelLocalHit* hit) {
    Request request;
    if (hit == nullptr) return CS_FAILED;
    if (CancelFlag().load() != 0) return CS_CANCELLED;
    return Fetch(hit);
}

int QelLocal_FetchHits(CsHandle*, QelLocalHit* hit) {
    Request request;
    if (hit == nullptr) return CS_FAILED;
    return Fetch(hit);
}
