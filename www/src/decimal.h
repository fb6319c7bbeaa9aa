// Internal: decimal numbers from configuration and request texts.
#pragma once

#include <cstdint>
#include <optional>

namespace qelwww::detail {

// A text of decimal digits only (at least one) whose value is at most max; else nothing.
std::optional<uint64_t> ParseDigits(const char* text, uint64_t max);
// The number at the start of a text (optional '-', then digits), clamped to the 32-bit
// range instead of overflowing; 0 when there is none. Like atoi, without its undefined
// behaviour on long digit runs.
int32_t LeadingNumber(const char* text);

}  // namespace qelwww::detail
