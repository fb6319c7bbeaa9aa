// The message table of one language build, generated from the catalogue at build time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qellgs_detail {

struct MessageEntry {
    uint32_t eventId;
    const char* text;  // ended by CR LF, inserts "%1" to "%9"
};

extern const char* const kLanguage;
extern const MessageEntry kMessages[];  // ascending by event identifier
extern const size_t kMessageCount;

}  // namespace qellgs_detail
