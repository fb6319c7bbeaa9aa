// object_locate.cpp - where an object lives: the cache, the storage exit or a node.
#include <cstdio>
#include <new>
#include <string>

#include "fetch_reader.h"
#include "object_places.h"
#include "qel_sm.h"
#include "request_roads.h"
#include "sm_messages.h"

using namespace qelsm::detail;

namespace {

struct Query {
    CsHandle* handle;
    const SmApplGroup* group;
    const void* exitOptions;
    std::string name;
    SmStoreHandle* store;
    SmStorage* storage;
};

bool InCache(const Query& q) {
    if (q.storage == nullptr || !(q.storage->flags & SM_CACHE_OPEN)) return false;
    CacheHandlePtr own;
    const QelCacheHandle* cache = q.store != nullptr ? q.store->cache : nullptr;
    if (cache == nullptr) {
        QelCacheHandle* made = nullptr;
        if (QelCacheFs_NewHandle(q.handle, q.storage->cache, &made) != QELCFS_OK) return false;
        own.reset(made);
        cache = made;
    }
    return QelCacheFs_StatObject(q.handle, cache, q.group->storageId.c_str(), q.name.c_str(), nullptr) ==
           QELCFS_OK;
}

bool WithExit(const Query& q) {
    SmRequestRoads roads = Roads();
    return roads.exitLocate != nullptr &&
           roads.exitLocate(q.handle, *q.group, q.exitOptions, q.name.c_str()) == CS_OK;
}

// CS_OK with the node's words; CS_NOT_FOUND when the node cannot say; CS_FAILED without a
// node store (message 10).
int OnNode(const Query& q, const CsStorageNode* primary, uint32_t words[5]) {
    if (q.storage == nullptr || !(q.storage->flags & SM_NODES_OPEN)) {
        PlaceMessage(q.handle, kMsgCacheOnly, nullptr, __LINE__);
        return CS_FAILED;
    }
    NodeObjectPtr own;
    const QelNodeObject* node = q.store != nullptr ? q.store->node : nullptr;
    if (node == nullptr) {
        QelNodeObject* opened = nullptr;
        if (QelCacheFs_OpenObject(q.handle, q.storage->volumes, &opened, q.handle->identity.userId,
                                  primary->name, primary->logon, primary->password) != QELCFS_OK) {
            return CS_NOT_FOUND;
        }
        own.reset(opened);
        node = opened;
    }
    return QelCacheFs_ObjectSize(q.handle, node, words) == QELCFS_OK ? CS_OK : CS_NOT_FOUND;
}

int Locate(const Query& q, const CsStorageNode* primary, uint8_t location, int exitLast, uint8_t* outLocation,
           std::string* outText, uint32_t words[5]) {
    if ((location & SM_LOC_CACHE) && InCache(q)) {
        *outLocation = SM_LOCATE_CACHE;
        return CS_OK;
    }
    bool exitAsked = location & SM_LOC_EXIT;
    if (exitAsked && !exitLast && WithExit(q)) {
        for (int i = 0; i < 5; ++i) words[i] = 0xFFFFFFFF;
        *outLocation = SM_LOCATE_EXIT;
        return CS_OK;
    }
    if (location & SM_LOC_PRIMARY) {
        int rc = OnNode(q, primary, words);
        if (rc == CS_FAILED) return rc;
        if (rc == CS_OK) {
            *outLocation = SM_LOCATE_NODE;
            if (outText != nullptr) {
                char text[64];
                std::snprintf(text, sizeof text, "%lu %lu %lu %lu %lu", (unsigned long)words[0],
                              (unsigned long)words[1], (unsigned long)words[2], (unsigned long)words[3],
                              (unsigned long)words[4]);
                *outText = text;
            }
            return CS_OK;
        }
    }
    if (exitAsked && exitLast && WithExit(q)) {
        for (int i = 0; i < 5; ++i) words[i] = 0xFFFFFFFF;
        *outLocation = SM_LOCATE_EXIT;
        return CS_OK;
    }
    NotFoundMessage(q.handle, q.name.c_str(), q.group->name.c_str(), __LINE__);
    return CS_FAILED;
}

}  // namespace

int SmLocateObject(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary, uint8_t location,
                   const void* exitOptions, const char* name, int exitLast, uint8_t* outLocation,
                   std::string* outText, uint32_t outWords[5], SmStoreHandle* store) {
    if (handle == nullptr || group == nullptr || outLocation == nullptr) return CS_FAILED;
    *outLocation = 0;
    try {
        if (outText != nullptr) outText->clear();
        Query q{handle, group, exitOptions, ObjectName(name), store, SmGetStorage(handle)};
        location = PruneForRead(location, *group, primary, nullptr, false, exitOptions);
        if (!(location & kReadPlaces)) {
            PlaceMessage(handle, kMsgNoPlaceToRetrieve, q.name.c_str(), __LINE__);
            return CS_FAILED;
        }
        uint32_t words[5] = {};
        int rc = Locate(q, primary, location, exitLast, outLocation, outText, words);
        if (rc == CS_OK && outWords != nullptr) {
            for (int i = 0; i < 5; ++i) outWords[i] = words[i];
        }
        return rc;
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}
