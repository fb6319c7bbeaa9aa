// state_format.h - the framing and limits of the state blobs (internal), written down in
// docs/state.md; these constants are what the writer and the reader share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelclient {

// Header: magic (4), format version (u32), schema hash (u32), payload length (u32),
// CRC-32 of the 16 header bytes before it and of the payload (u32).
inline constexpr size_t kBlobHeaderSize = 20;
// 2: the session keeps a keyed password hash; a blob of version 1 is read as missing.
inline constexpr uint32_t kBlobFormatVersion = 2;
inline constexpr char kSessionMagic[4] = {'Q', 'S', 'R', 'V'};
inline constexpr char kFolderListMagic[4] = {'Q', 'F', 'N', 'M'};
inline constexpr char kOpenFolderMagic[4] = {'Q', 'F', 'L', 'D'};
// No blob of this library comes near it; a larger one is not ours.
inline constexpr uint32_t kBlobPayloadMax = 16u * 1024 * 1024;

// Longest texts, in bytes without a terminator. Texts kept in fixed slots (names,
// formats, user ids, hosts) are bounded by their slot.
inline constexpr uint32_t kServerNameMax = 255;
inline constexpr uint32_t kUserIdMax = 20;
inline constexpr uint32_t kPasswordHashMax = 255;
inline constexpr uint32_t kGroupListMax = 1024 * 1024;
inline constexpr uint32_t kProfileMax = 1024 * 1024;
inline constexpr uint32_t kLocalDirectoryMax = 4096;
inline constexpr uint32_t kGroupIdMax = 20;
inline constexpr uint32_t kDescriptionMax = 120;
inline constexpr uint32_t kFolderNameMax = 60;
inline constexpr uint32_t kListCountMax = 65535;

// The open-folder blob. Texts the request layer bounds keep its bounds (list and
// application texts 32701, typed values 255).
inline constexpr uint32_t kListTextMax = 32701;
inline constexpr uint32_t kValueTextMax = 255;
inline constexpr uint32_t kRestrictionMax = 1024 * 1024;
inline constexpr uint32_t kCriterionTextMax = 32701;  // a choice or a value typed in
inline constexpr uint32_t kQueryNameMax = 255;
inline constexpr uint32_t kQueryTextMax = 1024 * 1024;
inline constexpr uint32_t kSegmentIndexNone = 0xFFFFFFFF;

// The open-document blob and the blob of its page tables that may follow it.
inline constexpr char kDocumentMagic[4] = {'Q', 'D', 'O', 'C'};
inline constexpr char kDocumentDataMagic[4] = {'Q', 'D', 'T', 'A'};
inline constexpr uint32_t kDocIdMax = 1024 * 1024;  // a document id with its values
inline constexpr uint32_t kPrintOptionsMax = 100;
inline constexpr uint32_t kRecordDelimiterMax = 255;
inline constexpr uint32_t kValueMarkMax = 8;
inline constexpr uint32_t kViewNameMax = 30;
inline constexpr uint32_t kLayoutTextMax = 1024 * 1024;
inline constexpr uint32_t kNoteUserMax = 60;
inline constexpr uint32_t kNoteCreatedMax = 255;
inline constexpr uint32_t kNoteTextMax = 1024 * 1024;
inline constexpr uint32_t kParmTextMax = 1024 * 1024;

// The hash of the serializer's sources, made by the build (state_schema_hash.h).
uint32_t SchemaHash();

}  // namespace qelclient
