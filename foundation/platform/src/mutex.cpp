#include "arc_platform.h"

#include <mutex>
#include <new>

// Recursive, as the callers were written for mutexes that their owner may take again.
struct ArcOSMutex {
    std::recursive_mutex m;
};

ArcOSMutex* ArcOS_MutexCreate() { return new (std::nothrow) ArcOSMutex; }

int ArcOS_MutexLock(ArcOSMutex* handle) {
    if (handle == nullptr) return 1;
    handle->m.lock();
    return 0;
}

int ArcOS_MutexUnlock(ArcOSMutex* handle) {
    if (handle == nullptr) return 1;
    handle->m.unlock();
    return 0;
}

int ArcOS_CloseHandle(ArcOSMutex* handle) {
    if (handle == nullptr) return 1;
    delete handle;
    return 0;
}
