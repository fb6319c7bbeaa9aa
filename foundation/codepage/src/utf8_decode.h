// utf8_decode.h - one UTF-8 character to UCS-2, shared by the UTF-8 module and the
// direct UTF-8 pairs so both read UTF-8 the same way. Limited to three bytes.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace qel::codepage {

// Decodes one character: its unit and byte count, or 0 with EILSEQ (invalid) or
// EINVAL (cut off by the end) in *failure. inLeft is at least 1.
inline size_t DecodeUtf8(const uint8_t* in, size_t inLeft, uint16_t* unit, int* failure) {
    uint8_t lead = in[0];
    if (lead < 0x80) {
        *unit = lead;
        return 1;
    }
    size_t length;
    uint32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
    } else {
        *failure = EILSEQ;  // continuation byte, or a four-byte (or longer) lead
        return 0;
    }
    size_t present = length < inLeft ? length : inLeft;
    for (size_t i = 1; i < present; ++i) {
        if ((in[i] & 0xC0) != 0x80) {
            *failure = EILSEQ;
            return 0;
        }
    }
    // Overlong forms are known from the lead (C0, C1) or the first trail (E0 8x/9x).
    if (lead == 0xC0 || lead == 0xC1 || (lead == 0xE0 && present >= 2 && in[1] < 0xA0)) {
        *failure = EILSEQ;
        return 0;
    }
    if (present < length) {
        *failure = EINVAL;
        return 0;
    }
    uint32_t value = length == 2 ? (lead & 0x1Fu) << 6 | (in[1] & 0x3Fu)
                                 : (lead & 0x0Fu) << 12 | (in[1] & 0x3Fu) << 6 | (in[2] & 0x3Fu);
    if (value < minimum) {
        *failure = EILSEQ;
        return 0;
    }
    *unit = static_cast<uint16_t>(value);
    return length;
}

}  // namespace qel::codepage
