// Test hook: refuse an allocation of the compression code on purpose, so the
// out-of-memory paths can be tested. Private to foundation/compress and its tests.
#pragma once

#include <atomic>
#include <new>

namespace arc_compress::detail {

// Allocations still allowed before one is refused; negative = never refuse.
inline std::atomic<long> allocationsBeforeFailure{-1};

// Throws std::bad_alloc when the hook says this allocation is to fail.
inline void CheckAllocation() {
    long left = allocationsBeforeFailure.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) {
            if (left == 0) throw std::bad_alloc();
            return;
        }
    }
}

}  // namespace arc_compress::detail
