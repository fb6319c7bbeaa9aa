// The rows of a search taken into the open folder's hit list: duplicates, the hit
// limit, the application of a row, sorted insertion and the caller's per-hit function.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "hit_links.h"
#include "hit_rows.h"
#include "hit_values.h"
#include "library_state.h"
#include "session_list.h"

namespace qelclient {
namespace {

const CsXdrApplGroup* SearchGroup(const ClientSearchState& search) {
    const OpenFolder* folder = search.folder;
    if (folder == nullptr || folder->definition == nullptr) return nullptr;
    if (search.groupIndex < 0 || search.groupIndex >= folder->definition->groupCount) return nullptr;
    return &folder->definition->groups[search.groupIndex];
}

bool IsDuplicate(const FolderSessionEntry& list, const CsXdrApplGroup& group, const CsXdrHitRow* row,
                 const uint32_t* exitId) {
    for (const SearchHitPtr& hit : list.hits) {
        if (exitId != nullptr) {
            if (hit->exitHit && hit->exitId == *exitId) return true;
        } else if (!hit->exitHit && hit->group != nullptr && hit->group->number == group.number &&
                   CsMatchDocId(&group, hit->row, row) == 0) {
            return true;
        }
    }
    return false;
}

// The application whose name equals the row's group-name value, else the first.
const CsXdrApplEntry* FindApplication(const CsXdrApplGroup& group, const CsXdrHitRow* row,
                                      int groupNameField) {
    if (group.applCount == 0 || group.appls == nullptr) return nullptr;
    const CsXdrValue* slot = groupNameField < group.fieldCount ? SlotOf(row, groupNameField) : nullptr;
    if (slot != nullptr) {
        const char* name = SlotText(*slot);
        for (uint16_t i = 0; i < group.applCount; ++i)
            if (std::strcmp(group.appls[i].name, name) == 0) return &group.appls[i];
    }
    return &group.appls[0];
}

// Whether a key counts for hits of the group: one of a field the group does not map is
// skipped, unless the field is of type 'G'.
bool KeyApplies(const OpenFolder* folder, int groupIndex, const FolderSortKey& key) {
    const CsXdrFolderField* field = FolderField(folder, key.field);
    if (field == nullptr) return false;
    return field->type[0] == 'G' || MappedGroupField(folder, groupIndex, key.field) >= 0;
}

// Hits of two groups order alike when the same keys apply to both; otherwise the
// comparison need not be transitive across them and only a walk finds the place.
bool SameKeys(const OpenFolder* folder, int groupA, int groupB, std::span<const FolderSortKey> keys) {
    if (groupA == groupB) return true;
    return std::all_of(keys.begin(), keys.end(), [&](const FolderSortKey& key) {
        return KeyApplies(folder, groupA, key) == KeyApplies(folder, groupB, key);
    });
}

bool IsInteger(char type) { return type == 'B' || type == 'I' || type == 'N'; }

// Equal in every mapped folder field but the latest-value field; types other than
// 'B', 'D', 'I', 'N' and 'S' are not compared.
bool SameExceptMax(const OpenFolder* folder, int groupIndex, const CsXdrHitRow* a, const CsXdrHitRow* b,
                   int maxField) {
    for (int field = 0; field < folder->fieldCount; ++field) {
        if (field == maxField) continue;
        const int g = MappedGroupField(folder, groupIndex, field);
        const CsXdrValue* x = SlotOf(a, g);
        const CsXdrValue* y = SlotOf(b, g);
        if (x == nullptr || y == nullptr) continue;
        const char type = folder->definition->groups[groupIndex].fields[g].type;
        if (x->type != type || y->type != type) continue;
        bool same = true;
        switch (type) {
            case 'B':
            case 'I':
            case 'N': same = SlotInteger(*x) == SlotInteger(*y); break;
            case 'D': same = x->v.real == y->v.real; break;
            case 'S': same = std::strcmp(SlotText(*x), SlotText(*y)) == 0; break;
            default: break;
        }
        if (!same) return false;
    }
    return true;
}

}  // namespace

int AddRow(ClientSession* session, CsXdrHitRow* row, const uint32_t* exitId) {
    if (session == nullptr || row == nullptr) return 1;
    ClientSearchState& search = session->search;
    OpenFolder* folder = search.folder;
    FolderSessionEntry* list = HitList(folder);
    const CsXdrApplGroup* group = SearchGroup(search);
    if (list == nullptr || group == nullptr) return 1;
    const LibraryOptions& options = Library().options;

    if (search.keepHits && options.duplicateCheck && IsDuplicate(*list, *group, row, exitId)) return 1;
    if (folder->hitLimit >= 0 && list->hits.size() >= static_cast<size_t>(folder->hitLimit)) {
        Session_Interrupt(session);
        session->stopped = 1;
        return 1;
    }
    const CsXdrApplEntry* application = FindApplication(*group, row, search.groupNameField);
    if (application != nullptr && application->flags[0] == 'N' && !options.keepTypeNRows) return 1;

    SearchHitPtr hit;
    try {
        // Room first: once the hit owns the row, nothing may fail.
        list->hits.reserve(list->hits.size() + 1);
        hit = std::make_unique<SearchHit>();
    } catch (const std::bad_alloc&) {
        return 1;
    }
    hit->row = row;
    hit->groupIndex = search.groupIndex;
    hit->group = group;
    hit->application = application;
    if (exitId != nullptr) {
        hit->exitHit = true;
        hit->exitId = *exitId;
    }
    SearchHit* placed = hit.get();
    const int position =
        Hit_InsertSorted(session, folder, std::move(hit), options.sortByField != 0, folder->sortList, -1);
    ++search.runningCount;
    if (search.hitFunction != nullptr &&
        !search.hitFunction(folder, placed, static_cast<int>(list->hits.size()), search.runningCount,
                            position))
        Session_Interrupt(session);
    return 0;
}

}  // namespace qelclient

using namespace qelclient;

int Search_AddRowCallback(ClientSession* session, CsXdrHitRow* row) { return AddRow(session, row, nullptr); }

int Search_MaxRowCallback(ClientSession* session, CsXdrHitRow* row) {
    if (session == nullptr || row == nullptr) return 1;
    ClientSearchState& search = session->search;
    if (SearchGroup(search) == nullptr) return 1;
    const OpenFolder* folder = search.folder;
    const int maxField = MappedGroupField(folder, search.groupIndex, search.maxField);
    for (ClientParkedRow& parked : search.parked) {
        if (parked.groupIndex != search.groupIndex ||
            !SameExceptMax(folder, search.groupIndex, parked.row, row, search.maxField))
            continue;
        const CsXdrValue* old = SlotOf(parked.row, maxField);
        const CsXdrValue* value = SlotOf(row, maxField);
        if (old == nullptr || value == nullptr || !IsInteger(old->type) || !IsInteger(value->type) ||
            SlotInteger(*old) >= SlotInteger(*value))
            return 1;
        CsFreePackedHit(parked.row, -1);
        parked.row = row;
        return 0;
    }
    try {
        ClientParkedRow parked;
        parked.groupNameField = search.groupNameField;
        parked.groupIndex = search.groupIndex;
        search.parked.push_back(std::move(parked));
    } catch (const std::bad_alloc&) {
        return 1;
    }
    search.parked.back().row = row;
    return 0;
}

int Hit_InsertSorted(ClientSession* session, OpenFolder* folder, SearchHitPtr hit, bool sort,
                     std::span<const FolderSortKey> keys, int position) {
    FolderSessionEntry* list = HitList(folder);
    if (list == nullptr || hit == nullptr) return -1;
    auto& hits = list->hits;
    if (hits.empty()) list->sorted = true;
    if (!sort || keys.empty()) {
        const int at = LinkHit(*list, std::move(hit), position);
        if (hits.size() > 1) list->sorted = false;
        return at;
    }
    if (list->sorted && !hits.empty() && !SameKeys(folder, hit->groupIndex, hits.front()->groupIndex, keys))
        list->sorted = false;
    const SearchHit* added = hit.get();
    auto before = [&](const SearchHitPtr& other) {
        return Hit_Compare(session, folder, added, other.get(), keys) < 0;
    };
    // In a sorted list the hits the new one sorts strictly before form the tail, so the
    // first of them is found by halving (after a look at the last hit: rows that arrive
    // in order append); otherwise every hit is asked in turn.
    auto at = hits.end();
    if (!list->sorted)
        at = std::find_if(hits.begin(), hits.end(), before);
    else if (!hits.empty() && before(hits.back()))
        at = std::partition_point(hits.begin(), hits.end() - 1,
                                  [&](const SearchHitPtr& other) { return !before(other); });
    return LinkHit(*list, std::move(hit), static_cast<int>(at - hits.begin()));
}

void Hit_Free(SearchHitPtr hit) { hit.reset(); }

CsXdrHitRow* qelclient::MakeExitRow(const CsXdrApplGroup& group, const ClientExitRow& exitRow) {
    CsXdrHitRow* row = nullptr;
    if (CsPackHit(&group, &row, -1, CS_PACK_FRESH) != CS_OK) return nullptr;
    auto valueOf = [&](const char* name) -> const char* {
        for (uint32_t k = 0; k < exitRow.count && exitRow.values != nullptr; ++k)
            if (exitRow.values[k].name != nullptr && std::strcmp(exitRow.values[k].name, name) == 0)
                return exitRow.values[k].value;
        return nullptr;
    };
    // The texts stay the exit's until the row is regrown to hold them.
    char emptyName[1] = {0};
    CsXdrObjectRef object{};
    object.compression = 'N';
    object.name = emptyName;
    row->object = &object;
    row->noteFlag = 'N';
    for (uint16_t i = 0; i < row->valueCount && i < group.fieldCount; ++i) {
        CsXdrValue& slot = row->values[i];
        const char* text = valueOf(group.fields[i].name);
        slot.type = group.fields[i].type;
        switch (slot.type) {
            case 'B': slot.v.big = text != nullptr ? std::strtoll(text, nullptr, 10) : 0; break;
            case 'D': slot.v.real = text != nullptr ? std::strtod(text, nullptr) : 0.0; break;
            case 'I':
                slot.v.integer = text != nullptr ? static_cast<int32_t>(std::strtol(text, nullptr, 10)) : 0;
                break;
            case 'N':
                slot.v.small = text != nullptr ? static_cast<int16_t>(std::strtol(text, nullptr, 10)) : 0;
                break;
            case 'S': slot.v.text = const_cast<char*>(text); break;
            default: slot.type = 0; break;
        }
    }
    if (CsPackHit(&group, &row, -1, CS_PACK_GROW) != CS_OK) {
        // The row still points at the exit's texts and the local record: drop them first.
        row->object = nullptr;
        for (uint16_t i = 0; i < row->valueCount; ++i)
            if (row->values[i].type == 'S') row->values[i].v.text = nullptr;
        CsFreePackedHit(row, -1);
        return nullptr;
    }
    return row;
}

extern "C" int ExitSearchFolderCallback(uint32_t sessionId, const ClientExitRow* exitRow) {
    ClientSession* session = ListFindByExitId(sessionId);
    if (session == nullptr || exitRow == nullptr) return 0;
    const CsXdrApplGroup* group = SearchGroup(session->search);
    if (group == nullptr) return 0;
    CsXdrHitRow* row = MakeExitRow(*group, *exitRow);
    if (row != nullptr) {
        CsYieldControlCallback();
        if (AddRow(session, row, &exitRow->identifier) != 0) CsFreePackedHit(row, -1);
    }
    return session->cancel ? 0 : 1;
}
