// The message table of one language build, generated from the catalogue at build time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qellgs_detail {

// Texts are offsets into kMessageTexts, not pointers: loading the library then relocates
// (writes) no page of the table.
struct MessageEntry {
    uint32_t eventId;
    uint32_t textOffset;  // of a text ended by CR LF and a zero byte, inserts "%1" to "%9"
};

extern const char kLanguage[];
extern const MessageEntry kMessages[];  // ascending by event identifier
extern const size_t kMessageCount;
extern const char kMessageTexts[];

}  // namespace qellgs_detail
