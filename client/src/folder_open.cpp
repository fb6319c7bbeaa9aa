// Opening a folder of the session's folder list: the definition (fetched once per
// session), the criteria, the segment rows of segment fields and the named queries.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "folder_criteria.h"
#include "library_state.h"
#include "qel_client.h"
#include "status_area.h"

namespace qelclient {

namespace {

constexpr int kOperationFolder = 3;
constexpr int kOperationNamedQueries = 18;

void LocalStatus(ClientStatus* status, ClientSession* session, int severity, int code) {
    ClientStatusArea& area = AreaOf(session);
    ClearInserts(area);
    SetStatus(status, area, severity, code, nullptr);
}

// The handle's callback context for the length of one list request.
class ContextSwap {
public:
    ContextSwap(CsHandle* handle, void* context) : handle_(handle), saved_(handle->callbackContext) {
        handle_->callbackContext = context;
    }
    ~ContextSwap() { handle_->callbackContext = saved_; }
    ContextSwap(const ContextSwap&) = delete;
    ContextSwap& operator=(const ContextSwap&) = delete;

private:
    CsHandle* handle_;
    void* saved_;
};

struct SegmentSink {
    std::vector<CsXdrSegment> rows;
    bool failed = false;
};

int SegmentEntry(void* context, void* entry) {
    auto* sink = static_cast<SegmentSink*>(context);
    try {
        sink->rows.push_back(*static_cast<const CsXdrSegment*>(entry));
    } catch (const std::bad_alloc&) {
        sink->failed = true;
    }
    return 1;
}

struct QuerySink {
    std::vector<ClientNamedQuery> rows;
    bool failed = false;
};

int QueryEntry(void* context, void* entry) {
    auto* sink = static_cast<QuerySink*>(context);
    const auto* query = static_cast<const CsXdrNamedQuery*>(entry);
    try {
        ClientNamedQuery row;
        row.number = query->number;
        row.name.assign(query->name, strnlen(query->name, sizeof query->name));
        if (query->text != nullptr) row.text = query->text;
        row.flags = query->flags;
        sink->rows.push_back(std::move(row));
    } catch (const std::bad_alloc&) {
        sink->failed = true;
    }
    return 1;
}

// The date letter of a group's segment rows: the kind of its segment date field.
char SegmentDateLetter(const CsXdrApplGroup& group) {
    for (uint16_t i = 0; i < group.fieldCount; ++i)
        if ((group.fields[i].flags & 0x04) && group.fields[i].dateType != 0) return group.fields[i].dateType;
    return 'D';
}

bool HasRows(const ClientSession& session, uint32_t group) {
    return std::any_of(session.segmentRows.begin(), session.segmentRows.end(),
                       [group](const auto& row) { return row->groupNumber == group; });
}

// Newest first; a row goes after every row of the same date already there.
void InsertByDate(std::vector<std::unique_ptr<ClientSegmentRow>>* list,
                  std::unique_ptr<ClientSegmentRow> row) {
    const int64_t date = row->segment.startDate;
    auto at = std::find_if(list->begin(), list->end(),
                           [date](const auto& r) { return r->segment.startDate < date; });
    list->insert(at, std::move(row));
}

// The segment rows of every group of the folder into the session's list (groups whose
// rows the session already holds are not asked again); the segment criteria then
// point at the rows of the folder's groups. Nothing is added when a request fails.
void GatherSegments(ClientStatus* status, ClientSession* session, OpenFolder* folder) {
    const CsXdrFolder& definition = *folder->definition;
    bool wanted = false;
    for (const FolderCriterion& c : folder->criteria) wanted = wanted || c.kind == 'S';
    if (!wanted) return;
    std::vector<std::unique_ptr<ClientSegmentRow>> fresh;
    for (uint16_t g = 0; g < definition.groupCount; ++g) {
        const CsXdrApplGroup& group = definition.groups[g];
        if (HasRows(*session, group.number) || std::any_of(fresh.begin(), fresh.end(), [&](const auto& r) {
                return r->groupNumber == group.number;
            }))
            continue;
        SegmentSink sink;
        int rc;
        {
            ContextSwap swap(&session->handle, &sink);
            rc = CsGetSegmentList(&session->handle, group.number, SegmentEntry);
        }
        if (rc == CS_OK && sink.failed) rc = CS_NO_MEMORY;
        Session_MakeStatus(status, session, rc, kOperationFolder);
        if (status->severity != CLIENT_SEV_OK) return;
        const char letter = SegmentDateLetter(group);
        for (const CsXdrSegment& segment : sink.rows) {
            auto row = std::make_unique<ClientSegmentRow>();
            row->segment = segment;
            row->groupNumber = group.number;
            row->dateLetter = letter;
            fresh.push_back(std::move(row));  // arrival order
        }
    }
    for (auto& row : fresh) InsertByDate(&session->segmentRows, std::move(row));
    for (FolderCriterion& c : folder->criteria) {
        if (c.kind != 'S') continue;
        for (const auto& row : session->segmentRows)
            for (uint16_t g = 0; g < definition.groupCount; ++g)
                if (row->groupNumber == definition.groups[g].number) {
                    c.segments.push_back(row.get());
                    break;
                }
    }
}

void GatherNamedQueries(ClientStatus* status, ClientSession* session, OpenFolder* folder) {
    if (!Library().options.namedQuerySwitch || !Folder_HasFlag80(folder)) return;
    QuerySink sink;
    int rc;
    {
        ContextSwap swap(&session->handle, &sink);
        rc = CsGetNamedQueries(&session->handle, folder->definition->number, QueryEntry);
    }
    if (rc == CS_OK && sink.failed) rc = CS_NO_MEMORY;
    Session_MakeStatus(status, session, rc, kOperationNamedQueries);
    if (status->severity != CLIENT_SEV_OK) return;
    for (ClientNamedQuery& query : sink.rows) {
        // A query owned by nobody is everybody's.
        if (query.number == 0)
            ++folder->publicQueries;
        else
            ++folder->privateQueries;
        folder->namedQueries.push_back(std::move(query));
    }
}

}  // namespace

}  // namespace qelclient

void Folder_Open(ClientStatus* status, ClientSession* session, const char* name, OpenFolder** out) {
    using namespace qelclient;
    ClientStatus ignored;
    if (status == nullptr) status = &ignored;
    if (out != nullptr) *out = nullptr;
    if (session == nullptr || name == nullptr || out == nullptr) {
        LocalStatus(status, session, CLIENT_SEV_ERROR, 77);
        return;
    }
    Session_LoadFolderList(status, session);
    if (status->severity != CLIENT_SEV_OK) return;
    ClientFolderEntry* entry = nullptr;
    for (const auto& e : session->folders)
        if (e->row.name == name) {
            entry = e.get();
            break;
        }
    if (entry == nullptr) {
        LocalStatus(status, session, CLIENT_SEV_ERROR, 77);
        return;
    }
    if (entry->open) {
        *out = entry->open.get();
        LocalStatus(status, session, CLIENT_SEV_OK, 0);
        return;
    }
    if (!entry->definition) {
        CsXdrFolder* raw = nullptr;
        const int rc = CsOpenFolderGroups(&session->handle, entry->row.number, entry->row.name.c_str(), &raw);
        CsFolderPtr definition(raw);
        Session_MakeStatus(status, session, rc, kOperationFolder);
        if (status->severity != CLIENT_SEV_OK) return;
        entry->definition = std::move(definition);
    }
    if (Library().options.requireGroups && entry->definition->groupCount == 0) {
        LocalStatus(status, session, CLIENT_SEV_ERROR, 37);
        return;
    }

    auto folder = std::make_unique<OpenFolder>();
    folder->entry = entry;
    folder->definition = entry->definition.get();
    folder->fieldCount = std::min<int>(
        folder->definition->fields != nullptr ? folder->definition->fieldCount : 0, CLIENT_MAX_FIELDS);
    folder->hitLimit = folder->definition->hitLimit;
    BuildOrders(folder.get());
    BuildCriteria(folder.get());
    GatherSegments(status, session, folder.get());
    if (status->severity != CLIENT_SEV_OK) return;
    MeasureAndLayout(folder.get());
    GatherNamedQueries(status, session, folder.get());
    if (status->severity != CLIENT_SEV_OK) return;

    entry->hits.hits.clear();
    entry->hits.sorted = true;
    entry->open = std::move(folder);
    if (!entry->openedInSession) {
        entry->openedInSession = true;
        session->openedFolders.push_back(entry);
    }
    *out = entry->open.get();
    LocalStatus(status, session, CLIENT_SEV_OK, 0);
}
