// object_store.cpp - storing objects: into the cache in place, and loaded whole and stored.
#include <new>
#include <string>
#include <vector>

#include "fetch_reader.h"
#include "object_path.h"
#include "object_places.h"
#include "qel_sm.h"
#include "sm_messages.h"

using namespace qelsm::detail;

namespace {

// The supplier's data, collected in memory. CS_OK; CS_FAILED when the supplier fails.
int ReadAll(SmSourceFn source, void* context, std::vector<uint8_t>* data) {
    while (true) {
        const char* piece = nullptr;
        uint32_t length = 0;
        int more = source(context, &piece, &length);
        if (more != 0 && more != 1) return CS_FAILED;
        if (length > 0) {
            if (piece == nullptr) return CS_FAILED;
            data->insert(data->end(), piece, piece + length);
        }
        if (more == 0) return CS_OK;
    }
}

struct Store {
    CsHandle* handle;
    const SmApplGroup* group;
    const std::string& name;
    SmStorage* storage;
    bool cacheOnly;
};

// Writes into the cache; on a cache-only server only over a copy that is there and may
// be written. *written tells whether it was.
int WriteCache(const Store& s, const std::vector<uint8_t>& data, bool* written) {
    if (s.storage == nullptr || !(s.storage->flags & SM_CACHE_OPEN)) {
        PlaceMessage(s.handle, kMsgNoCache, nullptr, __LINE__);
        return CS_FAILED;
    }
    QelCacheHandle* made = nullptr;
    QelCacheResult rc = QelCacheFs_NewHandle(s.handle, s.storage->cache, &made);
    if (rc != QELCFS_OK) return SmMapResult(rc);
    CacheHandlePtr cache(made);
    const char* sid = s.group->storageId.c_str();
    if (s.cacheOnly) {
        int writable = 0;
        rc = QelCacheFs_StatObject(s.handle, cache.get(), sid, s.name.c_str(), &writable);
        if (rc == QELCFS_NOT_FOUND) return CS_OK;
        if (rc != QELCFS_OK) return SmMapResult(rc);
        if (!writable) return CS_NOT_FOUND;
    }
    rc = QelCacheFs_WriteObject(s.handle, cache.get(), sid, s.name.c_str(), data.data(), data.size());
    if (rc != QELCFS_OK) return SmMapResult(rc);
    *written = true;
    return CS_OK;
}

// A node object is opened, but this store keeps no objects of its own to write to.
int WriteNode(const Store& s, const CsStorageNode* node) {
    if (s.storage == nullptr || !(s.storage->flags & SM_NODES_OPEN)) {
        PlaceMessage(s.handle, kMsgCacheOnly, nullptr, __LINE__);
        return CS_FAILED;
    }
    QelNodeObject* opened = nullptr;
    QelCacheResult rc =
        QelCacheFs_OpenObject(s.handle, s.storage->volumes, &opened, s.handle->identity.userId, node->name,
                              node->logon, node->password);
    if (rc != QELCFS_OK) return SmMapResult(rc);
    NodeObjectPtr object(opened);
    return SmMapResult(QelCacheFs_Unsupported(s.handle));
}

// The flush hook of the cache; its result is not reported.
void CommitCache(const Store& s) {
    QelCacheHandle* made = nullptr;
    if (QelCacheFs_NewHandle(s.handle, s.storage->cache, &made) != QELCFS_OK) return;
    CacheHandlePtr cache(made);
    uint32_t word = 0;
    QelCacheFs_Sync(s.handle, cache.get(), s.group->storageId.c_str(), s.name.c_str(), &word);
}

int LoadAndStore(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                 const CsStorageNode* secondary, uint8_t* location, const char* name, SmSourceFn source,
                 void* sourceContext, uint64_t* outLength) {
    const std::string object = ObjectName(name);
    Store s{handle, group, object, SmGetStorage(handle), IsCacheOnly(handle)};
    *location = PruneForStore(*location, *group, primary, secondary, IsResourceName(object), s.cacheOnly);
    if (!(*location & kWritePlaces)) {
        if (s.cacheOnly) return CS_NOT_FOUND;
        PlaceMessage(handle, kMsgNoPlaceToStore, object.c_str(), __LINE__);
        return CS_FAILED;
    }
    std::vector<uint8_t> data;
    int rc = ReadAll(source, sourceContext, &data);
    if (rc != CS_OK) return rc;
    if (outLength != nullptr) *outLength = data.size();

    // On a cache-only server the primary place is its cache.
    bool toCache = (*location & SM_LOC_CACHE) || (s.cacheOnly && (*location & SM_LOC_PRIMARY));
    bool cacheWritten = false;
    if (toCache) {
        rc = WriteCache(s, data, &cacheWritten);
        if (rc != CS_OK) return rc;
    }
    if ((*location & SM_LOC_PRIMARY) && !s.cacheOnly) {
        rc = WriteNode(s, primary);
        if (rc != CS_OK) return rc;
    }
    if (*location & SM_LOC_SECONDARY) {
        rc = WriteNode(s, secondary);
        if (rc != CS_OK) return rc;
    }
    // No node write gets this far, so the cache is the only place to commit.
    if (cacheWritten && !s.cacheOnly) CommitCache(s);
    return CS_OK;
}

}  // namespace

int SmStoreIntoCache(CsHandle* handle, const SmApplGroup* group, const CsStorageNode*, const CsStorageNode*,
                     const char*, SmSourceFn, void*) {
    if (handle == nullptr || group == nullptr) return CS_FAILED;
    SmStorage* storage = SmGetStorage(handle);
    if (storage == nullptr || !(storage->flags & SM_CACHE_OPEN)) return CS_NOT_FOUND;
    QelCacheHandle* made = nullptr;
    QelCacheResult rc = QelCacheFs_NewHandle(handle, storage->cache, &made);
    if (rc != QELCFS_OK) return SmMapResult(rc);
    CacheHandlePtr cache(made);
    // The cache keeps no state of an object that could be asked or appended to.
    return SmMapResult(QelCacheFs_Unsupported(handle));
}

int SmLoadAndStoreObject(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                         const CsStorageNode* secondary, uint8_t* location, const char* name,
                         SmSourceFn source, void* sourceContext, int64_t, uint64_t* outLength) {
    if (outLength != nullptr) *outLength = 0;
    if (handle == nullptr || group == nullptr || location == nullptr || source == nullptr) return CS_FAILED;
    try {
        return LoadAndStore(handle, group, primary, secondary, location, name, source, sourceContext,
                            outLength);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}
