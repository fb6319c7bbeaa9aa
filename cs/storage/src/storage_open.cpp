// storage_open.cpp - opening and closing a handle's stores around its call bracket.
#include <memory>
#include <new>

#include "handle_side.h"
#include "qel_sm.h"

using namespace qelsm::detail;

namespace {

// Closes what the record holds; the first mapped failure.
int CloseStores(CsHandle* handle, SmStorage* storage) {
  int first = 0;
  if (storage->flags & SM_CACHE_OPEN) {
    int rc = SmMapResult(QelCacheFs_FreeHandle(handle, &storage->cache));
    if (first == 0) first = rc;
  }
  if (storage->flags & SM_NODES_OPEN) {
    int rc = SmMapResult(QelCacheFs_FreeVolumeList(handle, &storage->volumes));
    if (first == 0) first = rc;
  }
  storage->flags = 0;
  return first;
}

}  // namespace

int SmMapResult(int cacheResult) {
  switch (cacheResult) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 3:
      return 5;
    case 4:
      return 11;
    case 5:
      return 10;
    default:
      return 6;
  }
}

int SmOpenStorage(CsHandle* handle) {
  if (handle == nullptr) return 6;
  if (SmGetStorage(handle) != nullptr) return 0;  // opened by an outer bracket
  std::unique_ptr<SmStorage> storage(new (std::nothrow) SmStorage);
  if (!storage) return 9;
  int rc = QelCacheFs_OpenCache(handle, &storage->cache);
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
  return 0;
}

int SmCloseStorage(CsHandle* handle) {
  if (handle == nullptr) return 0;
  std::unique_ptr<SmStorage> storage = ExchangeStorage(handle, nullptr);
  if (!storage) return 0;
  return CloseStores(handle, storage.get());
}
