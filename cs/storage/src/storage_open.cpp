// storage_open.cpp - opening and closing a handle's stores around its call bracket.
#include <memory>
#include <new>

#include "handle_side.h"
#include "qel_cshandle.h"
#include "qel_sm.h"

using namespace qelsm::detail;

namespace {

// Closes what the record holds; the first mapped failure, else CS_OK.
int CloseStores(CsHandle* handle, SmStorage* storage) {
    int first = CS_OK;
    if (storage->flags & SM_CACHE_OPEN) {
        int rc = SmMapResult(QelCacheFs_FreeHandle(handle, &storage->cache));
        if (first == CS_OK) first = rc;
    }
    if (storage->flags & SM_NODES_OPEN) {
        int rc = SmMapResult(QelCacheFs_FreeVolumeList(handle, &storage->volumes));
        if (first == CS_OK) first = rc;
    }
    storage->flags = 0;
    return first;
}

}  // namespace

int SmMapResult(int cacheResult) {
    switch (cacheResult) {
        case QELCFS_OK: return CS_OK;
        case QELCFS_CANCELLED: return CS_CANCELLED;
        case QELCFS_NO_DATA: return CS_NO_DATA;
        case QELCFS_NOT_FOUND: return CS_NOT_FOUND;
        case QELCFS_NO_VOLUMES: return CS_UNAVAILABLE;
        default: return CS_FAILED;
    }
}

int SmOpenStorage(CsHandle* handle) {
    if (handle == nullptr) return CS_FAILED;
    if (SmGetStorage(handle) != nullptr) return CS_OK;  // opened by an outer bracket
    std::unique_ptr<SmStorage> storage(new (std::nothrow) SmStorage);
    if (!storage) return CS_NO_MEMORY;
    QelCacheResult rc = QelCacheFs_OpenCache(handle, &storage->cache);
    if (rc == QELCFS_OK) {
        storage->flags |= SM_CACHE_OPEN;
    } else if (rc != QELCFS_NOT_FOUND) {
        return SmMapResult(rc);
    }
    rc = QelCacheFs_LoadVolumeList(handle, &storage->volumes);
    if (rc == QELCFS_OK) {
        storage->flags |= SM_NODES_OPEN;
    } else if (rc != QELCFS_NO_VOLUMES) {
        CloseStores(handle, storage.get());
        return SmMapResult(rc);
    }
    ExchangeStorage(handle, std::move(storage));
    return CS_OK;
}

int SmCloseStorage(CsHandle* handle) {
    if (handle == nullptr) return CS_OK;
    std::unique_ptr<SmStorage> storage = ExchangeStorage(handle, nullptr);
    if (!storage) return CS_OK;
    return CloseStores(handle, storage.get());
}
