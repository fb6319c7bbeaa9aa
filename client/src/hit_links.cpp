// The links of a folder's hit list and the calls that only walk or empty it.
#include "hit_links.h"

#include <algorithm>

namespace qelclient {
namespace {

// Sets the links of the hits around position i after a change there.
void Relink(FolderSessionEntry& list, size_t i) {
    auto& hits = list.hits;
    const size_t from = i > 0 ? i - 1 : 0;
    const size_t to = std::min(i + 1, hits.size());
    for (size_t k = from; k < to; ++k) {
        hits[k]->prev = k > 0 ? hits[k - 1].get() : nullptr;
        hits[k]->next = k + 1 < hits.size() ? hits[k + 1].get() : nullptr;
    }
    if (to < hits.size()) hits[to]->prev = to > 0 ? hits[to - 1].get() : nullptr;
}

}  // namespace

int LinkHit(FolderSessionEntry& list, SearchHitPtr hit, int position) {
    const size_t size = list.hits.size();
    const size_t at = position < 0 ? size : std::min(static_cast<size_t>(position), size);
    list.hits.insert(list.hits.begin() + static_cast<std::ptrdiff_t>(at), std::move(hit));
    Relink(list, at);
    return static_cast<int>(at);
}

int HitPosition(const FolderSessionEntry& list, const SearchHit* hit) {
    for (size_t i = 0; i < list.hits.size(); ++i)
        if (list.hits[i].get() == hit) return static_cast<int>(i);
    return -1;
}

SearchHitPtr UnlinkHit(FolderSessionEntry& list, const SearchHit* hit) {
    const int at = HitPosition(list, hit);
    if (at < 0) return nullptr;
    SearchHitPtr taken = std::move(list.hits[static_cast<size_t>(at)]);
    list.hits.erase(list.hits.begin() + at);
    taken->prev = taken->next = nullptr;
    if (!list.hits.empty())
        Relink(list, static_cast<size_t>(std::min<int>(at, static_cast<int>(list.hits.size()) - 1)));
    return taken;
}

FolderSessionEntry* HitList(const OpenFolder* folder) {
    if (folder == nullptr || folder->entry == nullptr) return nullptr;
    return &folder->entry->hits;
}

}  // namespace qelclient

using namespace qelclient;

int Folder_GetHitCount(ClientSession*, const OpenFolder* folder) {
    const FolderSessionEntry* list = HitList(folder);
    return list != nullptr ? static_cast<int>(list->hits.size()) : 0;
}

SearchHit* Folder_GetFirstHit(ClientSession*, const OpenFolder* folder) {
    const FolderSessionEntry* list = HitList(folder);
    return list != nullptr && !list->hits.empty() ? list->hits.front().get() : nullptr;
}

SearchHit* Hit_GetNext(const SearchHit* hit) { return hit != nullptr ? hit->next : nullptr; }

void Folder_FreeHits(ClientSession*, OpenFolder* folder) {
    FolderSessionEntry* list = HitList(folder);
    if (list == nullptr) return;
    list->hits.clear();
    list->sorted = true;
}

void Folder_Select(ClientSession* session, ClientFolderEntry* entry, SearchHitPtr hit, int groupIndex,
                   int position) {
    if (session == nullptr || entry == nullptr || hit == nullptr) return;
    ClientSearchState& search = session->search;
    search.folder = entry->open.get();
    search.groupIndex = groupIndex;
    search.groupNameField = -1;
    const CsXdrFolder* definition = entry->definition.get();
    if (definition != nullptr && groupIndex >= 0 && groupIndex < definition->groupCount) {
        const CsXdrApplGroup& group = definition->groups[groupIndex];
        for (uint16_t i = 0; i < group.fieldCount; ++i)
            if (group.fields[i].flags & CS_FIELD_GROUP_NAME) {
                search.groupNameField = i;
                break;
            }
    }
    search.runningCount = 0;
    search.hitFunction = nullptr;
    search.keepHits = false;
    // A hit placed by position need not stand where the sort keys would put it.
    if (entry->hits.hits.empty()) entry->hits.sorted = true;
    LinkHit(entry->hits, std::move(hit), position);
    if (entry->hits.hits.size() > 1) entry->hits.sorted = false;
}
