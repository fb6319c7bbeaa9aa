// Closing an open folder: its hits, and with freeAll everything the open made.
#include <algorithm>

#include "qel_client.h"

namespace {

// Whether another open folder of the session has a group of that number (its
// segment criteria point at the session's rows of that group).
bool GroupInUse(const ClientSession& session, const OpenFolder* closing, uint32_t group) {
    for (const auto& entry : session.folders) {
        const OpenFolder* open = entry->open.get();
        if (open == nullptr || open == closing || open->definition == nullptr) continue;
        for (uint16_t g = 0; g < open->definition->groupCount; ++g)
            if (open->definition->groups[g].number == group) return true;
    }
    return false;
}

void FreeSegmentRows(ClientSession* session, const OpenFolder* folder) {
    const CsXdrFolder* definition = folder->definition;
    if (definition == nullptr) return;
    for (uint16_t g = 0; g < definition->groupCount; ++g) {
        const uint32_t group = definition->groups[g].number;
        if (GroupInUse(*session, folder, group)) continue;
        std::erase_if(session->segmentRows, [group](const auto& row) { return row->groupNumber == group; });
    }
}

}  // namespace

void Folder_Close(ClientSession* session, OpenFolder* folder, int freeAll) {
    if (session == nullptr || folder == nullptr || folder->entry == nullptr) return;
    ClientFolderEntry* entry = folder->entry;
    if (entry->open.get() != folder) return;
    Doc_CloseFolderDocuments(session, folder);
    if (entry->openedInSession) {
        Folder_FreeHits(session, folder);
        std::erase(session->openedFolders, entry);
        entry->openedInSession = false;
    }
    if (!freeAll) return;
    FreeSegmentRows(session, folder);
    if (session->search.folder == folder) session->search = ClientSearchState{};
    entry->hits.hits.clear();
    entry->hits.sorted = true;
    entry->open.reset();
    entry->definition.reset();
}
