// doc_tables_format.h - the document-table stream's sizes and rules shared by its
// reader and writer (docs/doc-tables.md).
#pragma once

#include "qel_cs.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace csdoctab {

inline constexpr int32_t kNameCodePage = 850;      // object names are converted 850 -> 850
inline constexpr uint32_t kDefaultCodePage = 850;  // without CS_DOCTAB_CODE_PAGE
inline constexpr size_t kObjectNameMax = 3;
inline constexpr uint32_t kObjectsPerPageMax = 2000;
inline constexpr uint16_t kEntriesPerBlock = 1000;
inline constexpr size_t kWriterTextMax = 127;   // readers of other makes take lengths as signed
inline constexpr size_t kItemBufferSize = 512;  // the longest item is 255 bytes
inline constexpr uint32_t kEndWord = 0;

// Number of stored objects: total / perObject rounded up; none for perObject 0.
inline std::optional<uint32_t> ObjectCount(uint32_t total, uint32_t perObject) {
    if (perObject == 0) return std::nullopt;
    return static_cast<uint32_t>((uint64_t{total} + perObject - 1) / perObject);
}
// Entries per page of the object table for an object count.
inline uint16_t ObjectsPerPage(uint32_t count) {
    if (count <= 1) return 1;
    return static_cast<uint16_t>(count - 1 < kObjectsPerPageMax ? count - 1 : kObjectsPerPageMax);
}

inline size_t NameLength(const CsDocObjectEntry& entry) { return strnlen(entry.name, sizeof entry.name); }
inline bool SameName(const char* a, const char* b) { return std::strncmp(a, b, kObjectNameMax) == 0; }

// The offset a computed-offsets stream gives an entry after `previous`: 0 when a named
// object ends and another begins, else right after the previous entry. None when that
// lies beyond 2^32.
inline std::optional<uint32_t> ComputedOffset(const CsDocObjectEntry& previous, const char* name) {
    if (previous.name[0] != 0 && !SameName(previous.name, name)) return 0;
    const uint64_t next = uint64_t{previous.offset} + previous.length;
    if (next > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(next);
}

}  // namespace csdoctab
