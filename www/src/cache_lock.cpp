// The two locks around every cache file: the process's cache mutex, then a byte lock on
// qelwww.lck that processes sharing the cache directory honour.
#include "qel_www.h"

#include <cerrno>

#include "arc_platform.h"

namespace {

#define LOCK_TRACE(config, ...)                                     \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

// The byte lock needs a descriptor open for writing; the file holds the running figure of
// the cache size (QelWWW_BeginCacheChange).
std::FILE* OpenLockFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r+e");
    if (file == nullptr && errno == ENOENT) {
        int rc = ArcOS_AppendFile(path.c_str(), "", 0600);
        if (rc != 0) {
            errno = rc;
            return nullptr;
        }
        file = std::fopen(path.c_str(), "r+e");
    }
    return file;
}

}  // namespace

void QelWWWLockFileCloser::operator()(std::FILE* file) const {
    if (file == nullptr) return;
    ArcOS_UnlockByte(fileno(file));
    std::fclose(file);
}

void QelWWW_LockCacheMutex(const QelWWWConfig* config) {
    if (config != nullptr && config->cacheMutex != nullptr) ArcOS_MutexLock(config->cacheMutex);
}

void QelWWW_UnlockCacheMutex(const QelWWWConfig* config) {
    if (config != nullptr && config->cacheMutex != nullptr) ArcOS_MutexUnlock(config->cacheMutex);
}

bool QelWWW_LockCacheFile(const QelWWWConfig* config, QelWWWSession* session) {
    if (config == nullptr || session == nullptr || config->lockFilePath.empty()) {
        errno = EINVAL;
        return false;
    }
    // A second lock of the same session would wait for itself.
    if (session->cacheLock) {
        errno = EDEADLK;
        return false;
    }
    std::FILE* file = OpenLockFile(config->lockFilePath);
    if (file == nullptr) {
        int error = errno;
        LOCK_TRACE(config, "QelWWW_LockCacheFile: cannot open '%s', errno = %d", config->lockFilePath.c_str(),
                   error);
        errno = error;
        return false;
    }
    int rc = ArcOS_LockByte(fileno(file));
    if (rc != 0) {
        std::fclose(file);
        LOCK_TRACE(config, "QelWWW_LockCacheFile: lock failed, errno = %d", rc);
        errno = rc;
        return false;
    }
    session->cacheLock.reset(file);
    return true;
}

void QelWWW_UnlockCacheFile(const QelWWWConfig*, QelWWWSession* session) {
    if (session != nullptr) session->cacheLock.reset();
}
