// Reading, writing and removing cache files under the cache mutex and the lock file.
#include "qel_www.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "arc_platform.h"

namespace {

#define CACHE_TRACE(config, ...)                                    \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

// Holds the mutex, then the lock file, for one cache operation; the mutex is released in
// every case.
class CacheLocks {
public:
    CacheLocks(const QelWWWConfig* config, QelWWWSession* session) : config_(config), session_(session) {
        QelWWW_LockCacheMutex(config_);
        locked_ = QelWWW_LockCacheFile(config_, session_);
    }
    ~CacheLocks() {
        int error = errno;
        if (locked_) QelWWW_UnlockCacheFile(config_, session_);
        QelWWW_UnlockCacheMutex(config_);
        errno = error;
    }
    CacheLocks(const CacheLocks&) = delete;
    CacheLocks& operator=(const CacheLocks&) = delete;
    bool Locked() const { return locked_; }

private:
    const QelWWWConfig* config_;
    QelWWWSession* session_;
    bool locked_ = false;
};

// Only a plain name directly inside the cache directory is a cache file.
bool IsCachePath(const QelWWWConfig* config, const char* path) {
    if (config == nullptr || path == nullptr || config->cacheDir.empty()) return false;
    std::string_view text(path);
    std::string_view directory(config->cacheDir);
    if (text.size() <= directory.size() + 1 || text.compare(0, directory.size(), directory) != 0 ||
        text[directory.size()] != '/')
        return false;
    std::string_view name = text.substr(directory.size() + 1);
    if (name == "." || name == "..") return false;
    for (char c : name) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

bool Refuse(const QelWWWConfig* config, const char* operation, const char* path) {
    if (config != nullptr)
        CACHE_TRACE(config, "%s: refused path '%s'", operation, path != nullptr ? path : "");
    errno = EINVAL;
    return false;
}

}  // namespace

namespace {

// The size of a cache file as it is now; 0 when it is not there.
uint64_t CurrentSize(const char* path) {
    ArcOSStat status;
    return ArcOS_Stat64(path, &status) == 0 && status.isRegular ? static_cast<uint64_t>(status.size) : 0;
}

// Under the locks: replaces the file and keeps the running figure of the cache size.
bool WriteLocked(const QelWWWConfig* config, QelWWWSession* session, const char* path,
                 std::string_view content) {
    uint64_t total = QelWWW_BeginCacheChange(config, session, content.size(), true);
    // After the purge, which may have removed the file being replaced.
    const uint64_t previous = CurrentSize(path);
    // Atomic but not synced: every cache file is rebuilt (or the user logs on again) when a
    // crash loses it, and an fsync here would hold the cache lock for the whole disk write.
    int rc = ArcOS_ReplaceFile(path, content, 0600);
    if (rc == 0) total = total - std::min(total, previous) + content.size();
    QelWWW_EndCacheChange(config, session, total);
    if (rc != 0) {
        CACHE_TRACE(config, "QelWWW_WriteCacheFile: '%s' not written, errno = %d", path, rc);
        errno = rc;
        return false;
    }
    return true;
}

// The file holds exactly content (and was modified at notBefore or later).
bool HoldsAlready(const char* path, std::string_view content, int64_t notBefore) {
    ArcOSStat status;
    if (ArcOS_Stat64(path, &status) != 0 || !status.isRegular || status.mtime < notBefore ||
        static_cast<uint64_t>(status.size) != content.size())
        return false;
    std::string current;
    try {
        return ArcOS_ReadFile(path, &current) == 0 && current == content;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

bool QelWWW_WriteCacheFile(const QelWWWConfig* config, QelWWWSession* session, const char* path,
                           const void* data, size_t length) {
    if (!IsCachePath(config, path) || session == nullptr || (data == nullptr && length != 0))
        return Refuse(config, "QelWWW_WriteCacheFile", path);
    CacheLocks locks(config, session);
    if (!locks.Locked()) return false;
    return WriteLocked(config, session, path, std::string_view(static_cast<const char*>(data), length));
}

bool QelWWW_UpdateCacheFile(const QelWWWConfig* config, QelWWWSession* session, const char* path,
                            const void* data, size_t length, int64_t notBefore, bool* written) {
    if (written != nullptr) *written = false;
    if (!IsCachePath(config, path) || session == nullptr || (data == nullptr && length != 0))
        return Refuse(config, "QelWWW_UpdateCacheFile", path);
    CacheLocks locks(config, session);
    if (!locks.Locked()) return false;
    std::string_view content(static_cast<const char*>(data), length);
    if (HoldsAlready(path, content, notBefore)) return true;
    if (!WriteLocked(config, session, path, content)) return false;
    if (written != nullptr) *written = true;
    return true;
}

std::optional<std::string> QelWWW_ReadCacheFile(const QelWWWConfig* config, QelWWWSession* session,
                                                const char* path, int64_t* modified, uint64_t* size,
                                                bool touch) {
    if (!IsCachePath(config, path) || session == nullptr) {
        Refuse(config, "QelWWW_ReadCacheFile", path);
        return std::nullopt;
    }
    CacheLocks locks(config, session);
    if (!locks.Locked()) return std::nullopt;
    ArcOSStat status;
    if (ArcOS_Stat64(path, &status) != 0) return std::nullopt;
    if (!status.isRegular) {
        errno = EINVAL;
        return std::nullopt;
    }
    std::string content;
    try {
        int rc = ArcOS_ReadFile(path, &content);
        if (rc != 0) {
            errno = rc;
            return std::nullopt;
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return std::nullopt;
    }
    if (touch) {
        // Only the time: the content stays as it is, and a large document is not written again.
        int rc = ArcOS_TouchFile(path);
        if (rc != 0) CACHE_TRACE(config, "QelWWW_ReadCacheFile: touch of '%s' failed, errno = %d", path, rc);
    }
    if (modified != nullptr) *modified = status.mtime;
    if (size != nullptr) *size = content.size();
    return content;
}

bool QelWWW_RemoveCacheFile(const QelWWWConfig* config, QelWWWSession* session, const char* path) {
    if (!IsCachePath(config, path) || session == nullptr)
        return Refuse(config, "QelWWW_RemoveCacheFile", path);
    CacheLocks locks(config, session);
    if (!locks.Locked()) return false;
    uint64_t total = QelWWW_BeginCacheChange(config, session, 0, false);
    const uint64_t size = CurrentSize(path);
    const bool removed = ArcOS_Unlink(path) == 0;
    int error = errno;
    QelWWW_EndCacheChange(config, session, removed ? total - std::min(total, size) : total);
    errno = error;
    return removed;
}
