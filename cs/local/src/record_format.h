// record_format.h - the binary annotation (.not) and named-query (.ndq) records.
//
// Both are little-endian with no padding; docs/archive.md lays them out. Every
// length inside a file is checked against the bytes that are really there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qel_cshandle.h"
#include "qel_local.h"

namespace qel::local::detail {

// Annotation record: offsets of its fixed part.
inline constexpr size_t kNoteLengthAt = 0;       // u32 record length, this field included
inline constexpr size_t kNoteUserAt = 4;         // u32 user number
inline constexpr size_t kNoteUserNameAt = 8;     // 21-byte user name, zero-padded
inline constexpr size_t kNoteFlagsAt = 29;       // u32 flags
inline constexpr size_t kNoteTimeAt = 33;        // i64 time stamp
inline constexpr size_t kNotePositionAt = 41;    // 3 x i32 positions
inline constexpr size_t kNoteFieldsAt = 53;      // 32 bytes: colour code and further fields
inline constexpr size_t kNoteTextLengthAt = 85;  // u32 text length, terminator included
inline constexpr size_t kNoteTextAt = 89;        // text, then 2 reserved zero bytes
inline constexpr size_t kNoteTrailer = 2;
// After the trailer, a record with attached data has u32 data length and the data.

// Named-query file: offsets.
inline constexpr size_t kQueryFolderAt = 0;       // i32 folder id
inline constexpr size_t kQueryOwnerAt = 4;        // i32 owner user number, -1 everybody
inline constexpr size_t kQueryNameAt = 8;         // 61-byte name, zero-terminated
inline constexpr size_t kQueryTextLengthAt = 69;  // u32 text length
inline constexpr size_t kQueryTextAt = 73;        // the text, no terminator

// One annotation as a record: CS_OK, or CS_FAILED when its texts do not fit the format.
int EncodeNote(const QelLocalNote& note, std::string* record);
// Every record of an annotation file, numbered from 1: CS_OK, or CS_FAILED when
// a length does not agree with the bytes present (nothing is returned then).
int DecodeNotes(std::string_view file, std::vector<QelLocalNote>* notes);

// CS_OK, or CS_FAILED when the name does not fit.
int EncodeNamedQuery(const QelLocalNamedQuery& query, std::string* file);
// CS_OK, or CS_FAILED when the file is short, long, or its name is not terminated.
int DecodeNamedQuery(std::string_view file, QelLocalNamedQuery* query);

}  // namespace qel::local::detail
