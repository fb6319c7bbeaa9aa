// Folder_Search and Folder_SearchDirect: one folder search per application group,
// its rows handed to the hit list's callbacks.
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "arc_datetime.h"
#include "library_state.h"
#include "sql_values.h"
#include "status_area.h"
#include "where_builder.h"

namespace {

using namespace qelclient;

constexpr uint32_t kGroupByExit = 0x2;  // served by the client user exit

int AddRow(void* context, CsXdrHitRow* row) {
    return Search_AddRowCallback(static_cast<ClientSession*>(context), row);
}

int MaxRow(void* context, CsXdrHitRow* row) {
    return Search_MaxRowCallback(static_cast<ClientSession*>(context), row);
}

// Sets a severity-5 (or other) status with the error's inserts.
void SetWhereStatus(ClientStatus* status, ClientSession* session, int severity, const WhereError& error) {
    ClientStatusArea& area = AreaOf(session);
    ClearInserts(area);
    for (size_t i = 0; i < error.inserts.size() && i < CLIENT_MAX_INSERTS; ++i) {
        if (const auto* text = std::get_if<std::string>(&error.inserts[i])) {
            area.texts[i] = *text;
            area.inserts[i] = ClientInsert{area.texts[i].c_str(), 0, CLIENT_INSERT_TEXT};
        } else {
            area.inserts[i] =
                ClientInsert{nullptr, std::get<int64_t>(error.inserts[i]), CLIENT_INSERT_NUMBER};
        }
    }
    SetStatus(status, area, severity, error.code, nullptr);
}

// The value items of a list, linked in order. The texts stay the caller's.
class ValueList {
public:
    explicit ValueList(const std::vector<std::pair<uint16_t, std::string>>& values) : items_(values.size()) {
        for (size_t i = 0; i < values.size(); ++i) {
            items_[i].number = values[i].first;
            items_[i].text = const_cast<char*>(values[i].second.c_str());
            items_[i].next = i + 1 < values.size() ? &items_[i + 1] : nullptr;
        }
    }
    const CsXdrValueItem* First() const { return items_.empty() ? nullptr : items_.data(); }

private:
    std::vector<CsXdrValueItem> items_;
};

CsXdrCriteria RangeBlock(const std::string& segmentName, int64_t start, int64_t end) {
    CsXdrCriteria block{};
    std::strncpy(block.field, segmentName.c_str(), sizeof block.field - 1);
    block.type = 'B';
    block.op = 0x400;
    block.values[0].type = 'B';
    block.values[0].v.big = start;
    block.values[1].type = 'B';
    block.values[1].v.big = end;
    return block;
}

int FolderFlags(const CsXdrFolder& folder) {
    const LibraryOptions& o = Library().options;
    int flags = static_cast<int>(folder.flags & 0xFF);
    if (!o.folderFlagSwitch) flags &= ~0x10;
    return flags;
}

int SortLetter(const CsXdrFolder& folder) {
    const LibraryOptions& o = Library().options;
    const uint32_t flags = folder.flags & 0xFF;
    return (o.searchLetterSwitch && (flags & 0x40) && (flags & 0x08)) ? 'Y' : 'N';
}

// Runs one group's request with the session's yield settings, then clears them.
int RunRequest(ClientSession* session, OpenFolder* folder, int group, const char* where,
               const CsXdrCriteria* range, const CsXdrValueItem* values, const CsXdrValueItem* text,
               int letter, CsSearchHitFn callback, ClientYieldFn yield) {
    const CsXdrFolder& def = *folder->definition;
    session->requestRunning = 1;
    session->handle.callbackContext = session;
    if (yield) {
        Client_SetYieldFunction(yield);
        session->handle.yield = CsYieldControlCallback;
    }
    const int rc = CsSearchFolder(&session->handle, &def, &def.groups[group], where, range, values, text,
                                  FolderFlags(def), letter, -1, callback);
    session->requestRunning = 0;
    session->handle.yield = nullptr;
    Client_SetYieldFunction(nullptr);
    return rc;
}

// Hands the rows parked by the latest-value callback to the hit list.
void TakeParkedRows(ClientSession* session) {
    std::vector<ClientParkedRow> parked = std::move(session->search.parked);
    session->search.parked.clear();
    for (ClientParkedRow& p : parked) {
        session->search.groupNameField = p.groupNameField;
        session->search.groupIndex = p.groupIndex;
        if (Search_AddRowCallback(session, p.row) == 0) p.row = nullptr;  // the hit owns it now
    }
}

// A search answered as cancelled after the hit limit stopped it.
void ReportHitLimit(ClientStatus* status, ClientSession* session, const OpenFolder* folder) {
    if (status->severity != CLIENT_SEV_CANCELLED || !session->stopped) return;
    session->stopped = 0;
    WhereError limit;
    limit.code = 48;
    limit.inserts = {static_cast<int64_t>(folder->hitLimit)};
    SetWhereStatus(status, session, CLIENT_SEV_CANCELLED, limit);
}

void StartSearch(ClientSession* session, OpenFolder* folder, int keepHits, ClientHitFn perHit) {
    ClientSearchState& s = session->search;
    s.parked.clear();
    s.maxField = -1;
    s.folder = folder;
    s.groupIndex = -1;
    s.groupNameField = -1;
    s.keepHits = keepHits != 0;
    s.hitFunction = perHit;
    s.runningCount = 0;
    session->stopped = 0;
    if (!keepHits) Folder_FreeHits(session, folder);
}

bool Usable(ClientStatus* status, ClientSession* session, OpenFolder* folder) {
    if (session != nullptr && folder != nullptr && folder->definition != nullptr) return true;
    Session_MakeLocalStatus(status, session, 0, nullptr);
    return false;
}

// The first folder field mapped into the group onto its segment date field, or -1.
int SegmentDateField(const CsXdrFolder& def, int group) {
    for (int f = 0; f < def.fieldCount; ++f) {
        const FieldMapping m = MappingOf(def, group, f);
        if (m.count > 0 && (def.groups[group].fields[m.first].flags & CS_FIELD_SEGMENT_DATE)) return f;
    }
    return -1;
}

std::string FormatDateLimit(const CsXdrFolderField& field, int64_t limit) {
    ArcDTValue value;
    value.value = limit;
    value.format = field.user.dateFormat;
    value.type = field.type[1] != 0 ? field.type[1] : 'D';
    char text[ARC_DT_TEXT_MAX];
    if (ArcDT_FormatValue(text, &value) != nullptr) return text;
    return FormatInteger(limit);
}

// Reads the caller's date range by the field's format: (9, 44) when a text does not read.
bool ReadDirectRange(ClientStatus* status, ClientSession* session, const CsXdrFolderField& field,
                     const char* startText, const char* endText, int64_t* start, int64_t* end) {
    const char kind = field.type[1] != 0 ? field.type[1] : 'D';
    const char* texts[2] = {startText, (endText != nullptr && *endText != '\0') ? endText : startText};
    int64_t earliest[2] = {0, 0}, latest[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (ArcDT_ParseValue(texts[i], field.user.dateFormat, kind, &earliest[i], &latest[i]) != 0) {
            WhereError error;
            error.code = 44;
            error.inserts = {std::string(texts[i]), std::string(field.name),
                             FormatDateLimit(field, field.user.minimum),
                             FormatDateLimit(field, field.user.maximum)};
            SetWhereStatus(status, session, CLIENT_SEV_ERROR, error);
            return false;
        }
    }
    *start = std::max<int64_t>(earliest[0], 1);
    *end = std::max<int64_t>(latest[1], 1);
    return true;
}

}  // namespace

void Folder_Search(ClientStatus* status, ClientSession* session, OpenFolder* folder, int matchAny,
                   int keepHits, ClientBeforeSearchFn before, ClientHitFn perHit, ClientYieldFn yield,
                   int errorPosition[2]) {
    ClientStatus ignored;
    if (status == nullptr) status = &ignored;
    if (errorPosition != nullptr) errorPosition[0] = errorPosition[1] = 0;
    if (!Usable(status, session, folder)) return;
    StartSearch(session, folder, keepHits, perHit);

    WherePlan plan;
    WhereError error;
    if (CheckCriteria(*folder, StartupWhereOptions(), &plan, &error) != 0) {
        SetWhereStatus(status, session, CLIENT_SEV_INPUT, error);
        if (errorPosition != nullptr) {
            const int count = static_cast<int>(folder->criteriaOrder.size());
            errorPosition[0] = std::min(error.position[0], count);
            errorPosition[1] = error.position[1];
        }
        return;
    }
    if (plan.criteria.empty() && plan.maxField < 0 &&
        std::all_of(plan.searchGroup.begin(), plan.searchGroup.end(), [](bool b) { return b; })) {
        error.code = 38;
        SetWhereStatus(status, session, CLIENT_SEV_INPUT, error);
        return;
    }
    session->search.maxField = plan.maxField;
    Session_MakeStatus(status, session, CS_OK, 0);
    if (before) before(folder);

    const CsXdrFolder& def = *folder->definition;
    const CsSearchHitFn callback = plan.maxField >= 0 ? MaxRow : AddRow;
    const int letter = SortLetter(def);
    for (int g = 0; g < def.groupCount && status->severity == CLIENT_SEV_OK; ++g) {
        if (!plan.searchGroup[g]) continue;
        GroupQuery query;
        if (BuildGroupQuery(*folder, plan, g, matchAny != 0, &query, &error) != 0) {
            SetWhereStatus(status, session, CLIENT_SEV_INPUT, error);
            if (errorPosition != nullptr) {
                errorPosition[0] = error.position[0];
                errorPosition[1] = error.position[1];
            }
            break;
        }
        if (!query.HasAnything() || (def.groups[g].flags & kGroupByExit)) continue;
        session->search.groupIndex = g;
        session->search.groupNameField = query.groupNameField;
        const CsXdrCriteria block = RangeBlock(query.segmentName, query.rangeStart, query.rangeEnd);
        const bool hasBlock = query.hasRange || !query.segmentName.empty();
        const ValueList values(query.values);
        const ValueList text(query.textSearch);
        const int rc = RunRequest(session, folder, g, query.where.c_str(), hasBlock ? &block : nullptr,
                                  values.First(), text.First(), letter, callback, yield);
        Session_MakeStatus(status, session, rc, 0);
        TakeParkedRows(session);
        ReportHitLimit(status, session, folder);
    }
}

void Folder_SearchDirect(ClientStatus* status, ClientSession* session, OpenFolder* folder, const char* clause,
                         const char* startDate, const char* endDate, const char* groupName, int keepHits,
                         ClientHitFn perHit, ClientYieldFn yield) {
    ClientStatus ignored;
    if (status == nullptr) status = &ignored;
    if (!Usable(status, session, folder)) return;
    StartSearch(session, folder, keepHits, perHit);
    Session_MakeStatus(status, session, CS_OK, 0);
    const CsXdrFolder& def = *folder->definition;
    for (int g = 0; g < def.groupCount && status->severity == CLIENT_SEV_OK; ++g) {
        const CsXdrApplGroup& group = def.groups[g];
        if (groupName != nullptr && *groupName != '\0' && std::strcmp(groupName, group.name) != 0) continue;
        session->search.groupIndex = g;
        session->search.groupNameField = GroupNameField(group);
        CsXdrCriteria block{};
        const CsXdrCriteria* range = nullptr;
        if (startDate != nullptr && *startDate != '\0') {
            const int field = SegmentDateField(def, g);
            if (field >= 0) {
                int64_t start = 0, end = 0;
                if (!ReadDirectRange(status, session, def.fields[field], startDate, endDate, &start, &end))
                    break;
                block = RangeBlock("", start, end);
                range = &block;
            }
        }
        if (group.flags & kGroupByExit) continue;
        const int rc = RunRequest(session, folder, g, clause != nullptr ? clause : "", range, nullptr,
                                  nullptr, 'N', AddRow, yield);
        Session_MakeStatus(status, session, rc, 0);
        ReportHitLimit(status, session, folder);
    }
}
