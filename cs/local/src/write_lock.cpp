// write_lock.cpp - a byte lock on the archive's lock file.
#include "write_lock.h"

#include <cstdio>
#include <mutex>

#include "arc_platform.h"

namespace qel::local::detail {

namespace {

struct LockFile {
    std::recursive_mutex mutex;
    int depth = 0;
    FILE* file = nullptr;
};

LockFile& Shared() {
    static LockFile lock;
    return lock;
}

}  // namespace

WriteLock::WriteLock(const std::string& localDirectory) {
    LockFile& lock = Shared();
    lock.mutex.lock();
    if (lock.depth == 0) {
        std::string path = localDirectory + kLockFileName;
        // "a" creates the file without truncating it; the lock is on byte 0 only.
        lock.file = std::fopen(path.c_str(), "a");
        if (lock.file == nullptr || ArcOS_LockByte(fileno(lock.file)) != 0) {
            if (lock.file != nullptr) std::fclose(lock.file);
            lock.file = nullptr;
            lock.mutex.unlock();
            return;
        }
    }
    ++lock.depth;
    held_ = true;
}

WriteLock::~WriteLock() {
    if (!held_) return;
    LockFile& lock = Shared();
    if (--lock.depth == 0) {
        ArcOS_UnlockByte(fileno(lock.file));
        std::fclose(lock.file);
        lock.file = nullptr;
    }
    lock.mutex.unlock();
}

}  // namespace qel::local::detail
