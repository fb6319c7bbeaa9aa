// Code packing: least significant bit first (GIF) or most significant bit first (TIFF).
// The accumulator holds `count` pending bits in its low end; callers keep count + width
// within 32 bits.
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
    static void AddByte(uint32_t& acc, uint32_t& count, uint8_t byte) {
        acc = (acc << 8) | byte;
        count += 8;
    }
    static uint32_t TakeCode(uint32_t& acc, uint32_t& count, uint32_t width) {
        count -= width;
        const uint32_t code = acc >> count;
        acc &= (1u << count) - 1;
        return code;
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
    static uint8_t PartialByte(uint32_t acc, uint32_t /*count*/) {
        return static_cast<uint8_t>(acc);
    }
    static void AddByte(uint32_t& acc, uint32_t& count, uint8_t byte) {
        acc |= static_cast<uint32_t>(byte) << count;
        count += 8;
    }
    static uint32_t TakeCode(uint32_t& acc, uint32_t& count, uint32_t width) {
        const uint32_t code = acc & ((1u << width) - 1);
        acc >>= width;
        count -= width;
        return code;
    }
};

}  // namespace zyplzw::detail
