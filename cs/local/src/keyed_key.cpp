// keyed_key.cpp - native values into memcmp-ordered key form.
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "keyed_file.h"

namespace qel::local::detail {
namespace {

// Writes the low `length` bytes of bits most significant first.
void PutBigEndian(uint64_t bits, size_t length, uint8_t* out) {
    for (size_t i = 0; i < length; ++i) out[i] = uint8_t(bits >> (8 * (length - 1 - i)));
}

template <typename T>
uint64_t SignFlipped(const uint8_t* buffer) {
    T value;
    std::memcpy(&value, buffer, sizeof value);
    using U = std::make_unsigned_t<T>;
    return uint64_t(U(value) ^ (U(1) << (8 * sizeof(T) - 1)));
}

}  // namespace

int QelKf_MakeKey(int mode, size_t length, uint8_t* buffer) {
    if (buffer == nullptr) return -1;
    switch (mode) {
        case QELKF_KEY_TEXT: return length >= 1 && length <= QELKF_MAX_KEY ? 0 : -1;
        case QELKF_KEY_INTEGER: {
            uint64_t bits = 0;
            if (length == 8) {
                bits = SignFlipped<int64_t>(buffer);
            } else if (length == 4) {
                bits = SignFlipped<int32_t>(buffer);
            } else if (length == 2) {
                bits = SignFlipped<int16_t>(buffer);
            } else {
                return -1;
            }
            PutBigEndian(bits, length, buffer);
            return 0;
        }
        case QELKF_KEY_DOUBLE: {
            if (length != 8) return -1;
            double value;
            std::memcpy(&value, buffer, sizeof value);
            if (value == 0.0) value = 0.0;  // -0.0 and 0.0 are one key
            uint64_t bits = std::bit_cast<uint64_t>(value);
            // Every NaN becomes one positive quiet NaN, above +inf once encoded.
            if (std::isnan(value)) bits = 0x7FF8000000000000u;
            bits = (bits >> 63) != 0 ? ~bits : bits ^ (uint64_t(1) << 63);
            PutBigEndian(bits, 8, buffer);
            return 0;
        }
        default: return -1;
    }
}

}  // namespace qel::local::detail
