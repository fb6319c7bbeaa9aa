// object_places.h - object names and the places of the location byte that can apply.
#pragma once

#include <cstdint>
#include <string>

#include "qel_sm.h"

namespace qelsm::detail {

// The bits of the location byte that name a place to read from.
inline constexpr uint8_t kReadPlaces = SM_LOC_CACHE | SM_LOC_PRIMARY | SM_LOC_SECONDARY | SM_LOC_EXIT;
// The bits that name a place to write to.
inline constexpr uint8_t kWritePlaces = SM_LOC_CACHE | SM_LOC_PRIMARY | SM_LOC_SECONDARY;

// The name without one trailing '$' (null: empty).
std::string ObjectName(const char* name);

// An entry that is present and may hold objects.
bool NodeUsable(const CsStorageNode* node);

// True on a server whose cache store is open but that has no node store.
bool IsCacheOnly(CsHandle* handle);

// Drops the places a read cannot use: the exit without options or without the group's
// exit flag, the cache for a negative cache period, the primary node when it is absent or
// unusable and (withSecondary) the secondary node when it is absent.
uint8_t PruneForRead(uint8_t location, const SmApplGroup& group, const CsStorageNode* primary,
                     const CsStorageNode* secondary, bool withSecondary, const void* exitOptions);

// Drops the places a store cannot use (docs/storage-manager.md).
uint8_t PruneForStore(uint8_t location, const SmApplGroup& group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, bool resource, bool cacheOnly);

}  // namespace qelsm::detail
