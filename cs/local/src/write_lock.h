// write_lock.h - the archive's lock file, held around every read-modify-write.
#pragma once

#include <string>

namespace qel::local::detail {

inline constexpr const char* kLockFileName = "local.lck";

// Takes the byte lock of "<local directory>/local.lck" (created when missing),
// waiting for other processes. Reentrant within the process; the bracket mutex
// keeps other threads out already.
class WriteLock {
public:
    explicit WriteLock(const std::string& localDirectory);
    ~WriteLock();
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    // False when the lock file could not be opened or locked; the write must not run.
    bool Held() const { return held_; }

private:
    bool held_ = false;
};

}  // namespace qel::local::detail
