// modifiers.h - the '@name=value,...' part of a table code-set name.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qel::codepage {

enum SubMode { kSubNo = 0, kSubToUcs = 1, kSubFromUcs = 2, kSubBoth = 3 };
enum MapMode { kMapNone = 0, kMapIrv = 1 };

struct Modifiers {
    bool swapInput = false;   // "endian" X = big
    bool swapOutput = false;  // "endian" Y (or X alone) = big
    int map = kMapNone;
    int sub = kSubFromUcs;
    std::optional<std::vector<uint8_t>> subchar;
};

// Longest substitution a table or "subchar" may give.
inline constexpr size_t kMaxSubBytes = 31;

// The name before its first '@'.
std::string_view BaseName(std::string_view name);
// Parses the modifiers after the first '@' (none when there is no '@'). False for an
// unknown, repeated or malformed modifier.
bool ParseModifiers(std::string_view name, Modifiers* modifiers);

}  // namespace qel::codepage
