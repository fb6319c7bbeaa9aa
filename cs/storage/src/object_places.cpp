// object_places.cpp - object names and the pruning of the location byte.
#include "object_places.h"

namespace qelsm::detail {

std::string ObjectName(const char* name) {
    std::string result = name != nullptr ? name : "";
    if (!result.empty() && result.back() == '$') result.pop_back();
    return result;
}

bool NodeUsable(const CsStorageNode* node) { return node != nullptr && !(node->flags & SM_NODE_UNUSABLE); }

bool IsCacheOnly(CsHandle* handle) {
    const SmStorage* storage = SmGetStorage(handle);
    return storage != nullptr && (storage->flags & SM_CACHE_OPEN) && !(storage->flags & SM_NODES_OPEN);
}

uint8_t PruneForRead(uint8_t location, const SmApplGroup& group, const CsStorageNode* primary,
                     const CsStorageNode* secondary, bool withSecondary, const void* exitOptions) {
    if (exitOptions == nullptr || !(group.flags & SM_AG_STORAGE_EXIT)) location &= ~SM_LOC_EXIT;
    if (group.cachePeriod < 0) location &= ~SM_LOC_CACHE;
    if (!NodeUsable(primary)) location &= ~SM_LOC_PRIMARY;
    if (withSecondary && secondary == nullptr) location &= ~SM_LOC_SECONDARY;
    return location;
}

uint8_t PruneForStore(uint8_t location, const SmApplGroup& group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, bool resource, bool cacheOnly) {
    location &= ~SM_LOC_EXIT;
    if (!NodeUsable(primary)) location &= ~SM_LOC_PRIMARY;
    if (secondary == nullptr) location &= ~SM_LOC_SECONDARY;
    if (!(location & SM_LOC_CACHE)) return location;
    if (!(location & SM_LOC_PRIMARY) && (location & SM_LOC_SECONDARY)) {
        location &= ~(SM_LOC_CACHE | SM_LOC_CALLER);
    } else if (!resource) {
        // Documents are cached only for a positive cache period.
        if (group.cachePeriod <= 0) location &= ~(SM_LOC_CACHE | SM_LOC_CALLER);
    } else {
        location &= ~SM_LOC_CALLER;
        if (group.cachePeriod < 1) location &= ~SM_LOC_CACHE;
    }
    if (group.migrationPeriod < 0) {
        // Straight to the nodes.
        if (location & SM_LOC_PRIMARY) location &= ~SM_LOC_CALLER;
        if (cacheOnly) location &= ~SM_LOC_CACHE;
    } else {
        // Kept in the cache only.
        location &= ~(SM_LOC_PRIMARY | SM_LOC_SECONDARY);
    }
    return location;
}

}  // namespace qelsm::detail
