// The first four bytes of a fuzz input choose the codec settings and the buffer splits.
#pragma once

#include "zyplzw.h"

#include <cstddef>
#include <cstdint>

namespace zyplzw_fuzz {

struct FuzzSettings {
    int mode = 2;
    int bits = 8;
    int samples = 1;
    uint32_t rowLength = 0;
    size_t inChunk = 0;   // 0: all input at once
    size_t outChunk = 0;  // 0: a large buffer
};

constexpr size_t kHeaderSize = 4;

inline FuzzSettings ReadSettings(const uint8_t* data) {
    static const int kBits[] = {1, 2, 4, 8};
    FuzzSettings s;
    s.mode = 1 + data[0] % 3;
    s.bits = kBits[data[1] & 3];
    s.samples = 1 + ((data[1] >> 2) & 3);
    s.rowLength = data[2];
    s.inChunk = data[3] & 0x0F;
    s.outChunk = data[3] >> 4;
    return s;
}

}  // namespace zyplzw_fuzz
