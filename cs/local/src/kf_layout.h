// kf_layout.h - sizes and positions shared by the keyed file layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "keyed_file.h"

namespace qel::local::detail::kf {

// Data file header: magic, version, record length, record count.
inline constexpr char kDataMagic[8] = {'Q', 'E', 'L', 'K', 'F', 'D', 'A', 'T'};
inline constexpr uint32_t kDataVersion = 1;
inline constexpr size_t kDataHeaderBytes = 24;
// Index file format version, kept in its meta database.
inline constexpr uint32_t kIndexVersion = 1;

inline constexpr uint32_t kMaxRecordLength = 1u << 20;
// Slots are numbered 0 .. 2^32-1 in the member keys.
inline constexpr uint64_t kMaxSlots = uint64_t(1) << 32;
inline constexpr uint32_t kMinMemberKey = 1 + QELKF_SLOT_SIZE;
inline constexpr uint32_t kMaxMemberKey = QELKF_MAX_KEY + QELKF_SLOT_SIZE;

inline bool ValidRecordLength(uint64_t length) { return length >= 1 && length <= kMaxRecordLength; }
inline bool ValidMemberKey(uint64_t length) { return length >= kMinMemberKey && length <= kMaxMemberKey; }

// The header takes whole record slots; records follow it.
inline uint64_t FirstSlot(uint32_t recordLength) {
    return (kDataHeaderBytes + recordLength - 1) / recordLength;
}

// Byte position of slot (slot < kMaxSlots, so this cannot overflow).
inline uint64_t SlotPosition(uint32_t recordLength, uint64_t slot) {
    return (FirstSlot(recordLength) + slot) * recordLength;
}

// The slot at position, when position is the start of one.
inline std::optional<uint64_t> PositionSlot(uint32_t recordLength, uint64_t position) {
    if (recordLength == 0 || position % recordLength != 0) return std::nullopt;
    uint64_t index = position / recordLength;
    uint64_t first = FirstSlot(recordLength);
    if (index < first || index - first >= kMaxSlots) return std::nullopt;
    return index - first;
}

inline void PutBig(uint64_t value, size_t length, uint8_t* out) {
    for (size_t i = 0; i < length; ++i) out[i] = uint8_t(value >> (8 * (length - 1 - i)));
}

inline uint64_t GetBig(const uint8_t* in, size_t length) {
    uint64_t value = 0;
    for (size_t i = 0; i < length; ++i) value = (value << 8) | in[i];
    return value;
}

}  // namespace qel::local::detail::kf
