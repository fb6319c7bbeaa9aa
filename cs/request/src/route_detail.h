// Internals of the folder, storage-set and routing operations, shared by their source files.
#pragma once

#include <cstddef>
#include <cstring>

#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_local.h"

namespace csroute {

// Copies a text of at most `size` bytes (terminator included, or a full field without
// one) into a fixed field: false, the field empty, when it does not fit.
template <size_t N>
bool CopyField(char (&to)[N], const char* from, size_t size) {
    std::memset(to, 0, N);
    if (from == nullptr) return true;
    const size_t length = strnlen(from, size);
    if (length >= N) return false;
    std::memcpy(to, from, length);
    return true;
}
template <size_t N, size_t M>
bool CopyField(char (&to)[N], const char (&from)[M]) {
    return CopyField(to, from, M);
}

// The storage set of the local server's tables (type 'L', every node served by the
// local server): CS_OK, or CS_FAILED when a text does not fit.
int StorageSetFromLocal(const QelLocalStorageSet& local, CsStorageSet* set);
// The storage set of a reply to request 53 (no node handles yet): CS_OK, or CS_FAILED
// when a text does not fit.
int StorageSetFromWire(const CsXdrStorageSet& wire, CsStorageSet* set);

// The group's segments that the range meets, appended to list, inside a local request
// whose tables are loaded (the worker of CsGetSegments): CS_OK or a failure.
int ListSegments(CsHandle* handle, int32_t groupNumber, const char* name, uint32_t mode,
                 const CsXdrCriteria* criteria, CsSegmentList* list);

}  // namespace csroute
