// The session lock: six process-wide slots that serialise updates of an application
// group's segment tables; slot 5 belongs to the "System Log" group.
#include "qel_cs.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#include "arc_platform.h"

namespace {

struct Slot {
    std::mutex guard;    // guards owner and count
    std::mutex lock;     // held by the owner
    uint64_t owner = 0;  // thread id, 0 none
    uint32_t count = 0;
};

Slot* Slots() {
    static Slot slots[6];
    return slots;
}

std::atomic<CsHandle*> g_groupWide{nullptr};

int SlotOf(CsHandle* handle, int groupWide) {
    if (groupWide) {
        CsHandle* none = nullptr;
        g_groupWide.compare_exchange_strong(none, handle);
        return 5;
    }
    if (handle == nullptr || handle == g_groupWide.load()) return 5;
    return static_cast<int>(reinterpret_cast<uintptr_t>(handle) % 5);
}

}  // namespace

int CsSessionLock(int lock, CsHandle* handle, int groupWide) {
    Slot& slot = Slots()[SlotOf(handle, groupWide)];
    const uint64_t self = ArcOS_GetThreadId();
    if (lock) {
        {
            std::lock_guard guard(slot.guard);
            if (slot.owner == self) {
                ++slot.count;
                return CS_OK;
            }
        }
        // Waited for without the guard, so that the owner can still unlock.
        slot.lock.lock();
        std::lock_guard guard(slot.guard);
        slot.owner = self;
        slot.count = 1;
        return CS_OK;
    }
    {
        std::lock_guard guard(slot.guard);
        if (slot.owner != self || slot.count == 0) return CS_FAILED;
        if (--slot.count > 0) return CS_OK;
        slot.owner = 0;
    }
    slot.lock.unlock();
    return CS_OK;
}

int CsMutexStep(std::recursive_mutex* mutex, int lock) {
    if (mutex == nullptr) return CS_FAILED;
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
    return CS_OK;
}
