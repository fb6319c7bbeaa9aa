// Internals shared by the index-row operations (adding rows, rewriting a row).
#pragma once

#include <string>

#include "qel_cs.h"

namespace csdoc {

// True when a segment name fits every record that carries it (non-empty, shorter than
// the segment record's name field); a longer name is refused, never cut.
bool FitsSegmentName(const std::string& name);

// The session lock over a group's segment tables for a scope; the "System Log" group
// has a lock apart.
class SegmentLock {
public:
    SegmentLock(CsHandle* handle, const char* groupName);
    ~SegmentLock();
    SegmentLock(const SegmentLock&) = delete;
    SegmentLock& operator=(const SegmentLock&) = delete;

private:
    CsHandle* handle_;
    int groupWide_;
};

}  // namespace csdoc
