// What the stand-in converters write about their input: its size and its first bytes in
// hex, so that a test can tell which bytes arrived in which order.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace standin {

inline constexpr size_t kShownBytes = 64;

inline std::string Describe(std::string_view bytes) {
    std::string text = "bytes=" + std::to_string(bytes.size()) + " hex=";
    char pair[3];
    for (size_t i = 0; i < bytes.size() && i < kShownBytes; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
        text += pair;
    }
    return text;
}

}  // namespace standin
