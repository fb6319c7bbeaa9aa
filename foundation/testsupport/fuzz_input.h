// Cutting a fuzz input into the parts a target reads.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qel_fuzz {

// The input cut at its first N-1 0xFF bytes (a byte no UTF-8 text carries); the last part
// keeps the rest, further 0xFF bytes included, and parts past the end of the input are empty.
template <size_t N>
std::array<std::string, N> SplitInput(const uint8_t* data, size_t size) {
    static_assert(N > 0);
    std::array<std::string, N> parts;
    size_t part = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && part + 1 < N) {
            ++part;
        } else {
            parts[part] += static_cast<char>(data[i]);
        }
    }
    return parts;
}

}  // namespace qel_fuzz
