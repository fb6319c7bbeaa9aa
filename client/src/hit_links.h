// hit_links.h - the links of a folder's hit list (internal): every change of the list
// goes through these, so hits[i]->next is hits[i+1] and the ends point nowhere.
#pragma once

#include "qel_client.h"

namespace qelclient {

// Inserts the hit at position (clamped to the list; negative: the end). The position it
// took.
int LinkHit(FolderSessionEntry& list, SearchHitPtr hit, int position);
// Takes the hit out of the list and hands it back; null when the list does not hold it.
SearchHitPtr UnlinkHit(FolderSessionEntry& list, const SearchHit* hit);
// The position of the hit in the list, or -1.
int HitPosition(const FolderSessionEntry& list, const SearchHit* hit);
// The session's hit list of the open folder, or null without a folder-list entry.
FolderSessionEntry* HitList(const OpenFolder* folder);

}  // namespace qelclient
