// Encoder side of code packing: least significant bit first (GIF) or most significant
// bit first (TIFF). The accumulator holds `count` pending bits in its low end; callers
// keep count + width within 32 bits. The decoder reads with code_reader.h.
#pragma once

#include <cstdint>

namespace zyplzw::detail {

struct MsbFirst {
    static void Put(uint32_t& acc, uint32_t& count, uint32_t code, uint32_t width) {
        acc = (acc << width) | code;
        count += width;
    }
    static uint8_t TakeByte(uint32_t& acc, uint32_t& count) {
        count -= 8;
        const auto byte = static_cast<uint8_t>(acc >> count);
        acc &= (1u << count) - 1;
        return byte;
    }
    static uint8_t PartialByte(uint32_t acc, uint32_t count) {
        return static_cast<uint8_t>(acc << (8 - count));
    }
};

struct LsbFirst {
    static void Put(uint32_t& acc, uint32_t& count, uint32_t code, uint32_t width) {
        acc |= code << count;
        count += width;
    }
    static uint8_t TakeByte(uint32_t& acc, uint32_t& count) {
        const auto byte = static_cast<uint8_t>(acc);
        acc >>= 8;
        count -= 8;
        return byte;
    }
    static uint8_t PartialByte(uint32_t acc, uint32_t /*count*/) { return static_cast<uint8_t>(acc); }
};

}  // namespace zyplzw::detail
