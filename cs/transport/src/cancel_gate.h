// Waiting for a socket with time-outs, the yield callback and a cancel from another
// thread. Shared by the TCP transport and the scripted fake.
#pragma once

#include <cstdint>
#include <mutex>
#include <thread>

#include "qel_transport.h"

namespace qel::transport {

// Result of one wait.
enum class WaitResult { Ready, Cancelled, TimedOut, Failed };

// Length of one wait slice: the yield callback runs at least this often.
inline constexpr int kSliceMs = 100;
// A yield callback that keeps asking to be called again is cut off after this many calls
// per slice, so it cannot hold a wait past its time-out.
inline constexpr int kMaxYieldsPerSlice = 64;

// The cancel rules of ArcCOM_Cancel (qel_transport.h), over an eventfd that wakes poll.
class CancelGate {
public:
    CancelGate() = default;
    CancelGate(const CancelGate&) = delete;
    CancelGate& operator=(const CancelGate&) = delete;
    ~CancelGate();

    // Makes the eventfd. false when it cannot be had.
    bool Open();

    // Starts a Send or Recv. false when a cancel was pending: the call then fails at once.
    bool Enter();
    void Leave();

    void Cancel();
    void DropPending();

    // Starts the yield clock of a call that does not go through Enter (connect).
    void StartYieldClock();

    // Waits until fd reports one of events (fd < 0: waits only for the deadline or a
    // cancel). The yield callback runs whenever 100 ms have passed since it last ran in
    // this call, also while a slow peer keeps the socket busy. deadlineMs is on
    // ArcOS_MonotonicMs.
    WaitResult Wait(int fd, short events, int64_t deadlineMs, ArcCOM_YieldFn yield);

private:
    void DrainLocked();

    std::mutex mutex_;
    int eventFd_ = -1;
    bool inCall_ = false;
    bool pending_ = false;
    std::thread::id lastCaller_;
    int64_t lastYieldMs_ = 0;  // only the calling thread touches it
};

// Calls the yield callback, again while it asks to, at most kMaxYieldsPerSlice times.
void CallYield(ArcCOM_YieldFn yield);

// RAII form of Enter/Leave.
class GateCall {
public:
    explicit GateCall(CancelGate& gate) : gate_(gate), entered_(gate.Enter()) {}
    ~GateCall() {
        if (entered_) gate_.Leave();
    }
    GateCall(const GateCall&) = delete;
    GateCall& operator=(const GateCall&) = delete;
    bool entered() const { return entered_; }

private:
    CancelGate& gate_;
    bool entered_;
};

}  // namespace qel::transport
