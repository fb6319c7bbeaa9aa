// cache_store.cpp - the cache store: its root, handles, and object stat, read and write.
#include <cerrno>
#include <cstdio>
#include <new>
#include <string_view>

#include "arc_platform.h"
#include "cache_messages.h"
#include "object_path.h"
#include "object_piece.h"
#include "qel_cshandle.h"
#include "qel_local.h"
#include "qel_sm.h"
#include "server_config.h"

using namespace qelsm::detail;

namespace {

// Where the cache of a server lives before the connection's volume is added.
std::optional<std::string> CacheBase(CsHandle* handle) {
    std::string section = ServerSection(handle);
    if (auto name = QelIniValue(section.c_str(), "CACHE_NAME")) return name;
    if (auto qel = QelIniValue("PATHS", "QEL")) {
        std::string base = *qel;
        if (base.size() > 1 && base.back() == '/') base.pop_back();
        return base + "/set";
    }
    if (auto dirs = ServerValue(handle, "DIRECTORY")) {
        std::vector<std::string> entries = SplitEntries(*dirs);
        if (!entries.empty()) return entries.front();
    }
    return std::nullopt;
}

QelCacheResult CachePath(const QelCacheHandle* cache, const char* sid, const char* name, std::string* path) {
    if (cache == nullptr || cache->root == nullptr || cache->root->empty()) return QELCFS_FAILED;
    std::string relative;
    if (RelativeObjectPath(sid, name, false, &relative) != QELCFS_OK) return QELCFS_FAILED;
    *path = JoinPath(*cache->root, relative);
    return QELCFS_OK;
}

bool FolderFailureTolerated(int err) { return err == EACCES || err == EEXIST; }

bool IsWriteError(int err) { return err == ENOSPC || err == EDQUOT || err == EFBIG || err == EIO; }

}  // namespace

QelCacheResult QelCacheFs_OpenCache(CsHandle* handle, QelCacheStore** store) {
    if (handle == nullptr || store == nullptr) return QELCFS_FAILED;
    *store = nullptr;
    std::optional<std::string> base = CacheBase(handle);
    // No cache is configured at all: there is no cache store (rather than one at "/").
    if (!base) return QELCFS_NOT_FOUND;
    std::string label = QelCacheFs_ConnectionVolume(handle);
    std::string root = *base;
    if (!label.empty()) {
        if (root.back() != '/') root += '/';
        root += label;
    }
    auto* made = new (std::nothrow) QelCacheStore;
    if (made == nullptr) {
        NoMemoryMessage(handle);
        return QELCFS_FAILED;
    }
    made->root = std::move(root);
    *store = made;
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_NewHandle(CsHandle* handle, const QelCacheStore* store, QelCacheHandle** cache) {
    if (cache == nullptr) return QELCFS_FAILED;
    *cache = nullptr;
    if (store == nullptr || store->root.empty()) return QELCFS_FAILED;
    auto* made = new (std::nothrow) QelCacheHandle;
    if (made == nullptr) {
        NoMemoryMessage(handle);
        return QELCFS_FAILED;
    }
    made->root = &store->root;
    *cache = made;
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_FreeHandle(CsHandle*, QelCacheStore** slot) {
    if (slot != nullptr) {
        delete *slot;
        *slot = nullptr;
    }
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_FreeBuffer(CsHandle*, QelCacheHandle** slot) {
    if (slot != nullptr) {
        delete *slot;
        *slot = nullptr;
    }
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_StatObject(CsHandle*, const QelCacheHandle* cache, const char* sid,
                                     const char* name, int* writable) {
    std::string path;
    if (QelCacheResult rc = CachePath(cache, sid, name, &path); rc != QELCFS_OK) return rc;
    ArcOSStat status;
    if (ArcOS_Stat64(path.c_str(), &status) != 0 || !status.isRegular) return QELCFS_NOT_FOUND;
    if (writable != nullptr) {
        // "r+" neither creates nor truncates: it only asks whether we may write the file.
        FILE* probe = std::fopen(path.c_str(), "r+");
        *writable = probe != nullptr ? 1 : 0;
        if (probe != nullptr) std::fclose(probe);
    }
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_ReadObject(CsHandle* handle, const QelCacheHandle* cache, const char* sid,
                                     const char* name, std::vector<uint8_t>* buffer, int64_t offset,
                                     int64_t* length, int* last) {
    if (buffer == nullptr || length == nullptr || last == nullptr) return QELCFS_FAILED;
    *last = 0;
    std::string path;
    if (QelCacheResult rc = CachePath(cache, sid, name, &path); rc != QELCFS_OK) return rc;
    return ReadPiece(handle, path, buffer, offset, length, last);
}

QelCacheResult QelCacheFs_WriteObject(CsHandle* handle, const QelCacheHandle* cache, const char* sid,
                                      const char* name, const void* data, size_t length) {
    if (data == nullptr && length > 0) return QELCFS_FAILED;
    std::string path;
    if (QelCacheResult rc = CachePath(cache, sid, name, &path); rc != QELCFS_OK) return rc;
    uint32_t word = 0;
    QelCacheFs_Sync(handle, cache, sid, name, &word);
    std::string_view bytes(static_cast<const char*>(data), length);
    int err = ArcOS_WriteFileAtomic(path.c_str(), bytes, 0600);
    if (err == ENOENT && QelLocal_CreateFolders(path, FolderFailureTolerated) > 0) {
        err = ArcOS_WriteFileAtomic(path.c_str(), bytes, 0600);
    }
    if (err != 0) {
        FileMessage(handle, IsWriteError(err) ? kMsgWrite : kMsgOpen, path.c_str(), err, __LINE__);
        return QELCFS_FAILED;
    }
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_Sync(CsHandle*, const QelCacheHandle*, const char*, const char*, uint32_t* word) {
    if (word != nullptr) *word = 0;
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_Unsupported(CsHandle*) { return QELCFS_FAILED; }
