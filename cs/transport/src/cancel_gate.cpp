#include "cancel_gate.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "arc_platform.h"

namespace qel::transport {

CancelGate::~CancelGate() {
    if (eventFd_ >= 0) close(eventFd_);
}

bool CancelGate::Open() {
    eventFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return eventFd_ >= 0;
}

void CancelGate::DrainLocked() {
    uint64_t value = 0;
    while (read(eventFd_, &value, sizeof value) > 0) {
    }
}

bool CancelGate::Enter() {
    std::lock_guard lock(mutex_);
    if (pending_) {
        pending_ = false;
        DrainLocked();
        return false;
    }
    inCall_ = true;
    lastCaller_ = std::this_thread::get_id();
    lastYieldMs_ = ArcOS_MonotonicMs();
    return true;
}

void CancelGate::Leave() {
    std::lock_guard lock(mutex_);
    inCall_ = false;
}

void CancelGate::Cancel() {
    std::lock_guard lock(mutex_);
    if (inCall_) {
        pending_ = true;
        uint64_t one = 1;
        // The counter cannot overflow here: it is drained by every wait that wakes.
        ssize_t written = write(eventFd_, &one, sizeof one);
        (void)written;
    } else if (lastCaller_ == std::this_thread::get_id()) {
        // The caller breaks off its own exchange; its cancel request must get through.
        pending_ = false;
        DrainLocked();
    } else {
        pending_ = true;
    }
}

void CancelGate::DropPending() {
    std::lock_guard lock(mutex_);
    pending_ = false;
    DrainLocked();
}

void CancelGate::StartYieldClock() { lastYieldMs_ = ArcOS_MonotonicMs(); }

void CallYield(ArcCOM_YieldFn yield) {
    if (!yield) return;
    for (int i = 0; i < kMaxYieldsPerSlice && yield() != 0; ++i) {
    }
}

WaitResult CancelGate::Wait(int fd, short events, int64_t deadlineMs, ArcCOM_YieldFn yield) {
    for (;;) {
        int64_t left = deadlineMs - ArcOS_MonotonicMs();
        if (left <= 0) return WaitResult::TimedOut;
        pollfd fds[2] = {{eventFd_, POLLIN, 0}, {fd, events, 0}};
        int count = fd >= 0 ? 2 : 1;
        int ready = poll(fds, count, static_cast<int>(std::min<int64_t>(left, kSliceMs)));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Failed;
        }
        if (fds[0].revents & POLLIN) {
            std::lock_guard lock(mutex_);
            pending_ = false;
            DrainLocked();
            return WaitResult::Cancelled;
        }
        int64_t now = ArcOS_MonotonicMs();
        if (now - lastYieldMs_ >= kSliceMs) {
            lastYieldMs_ = now;
            CallYield(yield);
        }
        if (count == 2 && fds[1].revents != 0) return WaitResult::Ready;
    }
}

}  // namespace qel::transport
