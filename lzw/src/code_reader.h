// Decoder side of code packing: codes out of the input through a 64-bit accumulator.
// Where the input has 8 bytes to spare, one unaligned load tops the accumulator up by 6
// or 7 bytes, instead of a byte per turn of the code loop.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace zyplzw::detail {

// kMsbFirst: TIFF packing (pending bits in the low end, newest byte lowest); otherwise
// GIF packing (pending bits in the low end, newest byte highest).
template <bool kMsbFirst>
class CodeReader {
public:
    CodeReader(uint32_t bits, uint32_t count, const unsigned char* in, const unsigned char* end)
        : acc_(bits), count_(count), in_(in), start_(in), end_(end) {}

    // True when `width` bits are pending, after reading what input is needed.
    bool Fill(uint32_t width) {
        if (count_ >= width) {
            return true;
        }
        if (end_ - in_ >= 8) {
            LoadWord();
            return true;
        }
        while (count_ < width && in_ != end_) {
            AddByte(*in_++);
        }
        return count_ >= width;
    }

    // The next code; Fill(width) must have returned true.
    uint32_t Take(uint32_t width) {
        const uint64_t mask = (uint64_t{1} << width) - 1;
        count_ -= width;
        if constexpr (kMsbFirst) {
            return static_cast<uint32_t>((acc_ >> count_) & mask);
        } else {
            const auto code = static_cast<uint32_t>(acc_ & mask);
            acc_ >>= width;
            return code;
        }
    }

    // Returns whole bytes read ahead of the codes taken to the input, so that a call
    // leaves the record as a reader that takes a byte only when it needs one would:
    // the next call may come with a different input.
    void GiveBack() {
        const auto bytes =
            static_cast<uint32_t>(std::min<uint64_t>(count_ / 8, static_cast<uint64_t>(in_ - start_)));
        in_ -= bytes;
        count_ -= 8 * bytes;
        if constexpr (kMsbFirst) {
            acc_ >>= 8 * bytes;
        }
    }

    // Pending bits for the record (count below 32 after GiveBack or a used-up input).
    uint32_t Bits() const { return static_cast<uint32_t>(acc_ & ((uint64_t{1} << count_) - 1)); }
    uint32_t Count() const { return count_; }
    const unsigned char* Position() const { return in_; }

private:
    void AddByte(uint8_t byte) {
        if constexpr (kMsbFirst) {
            acc_ = (acc_ << 8) | byte;
        } else {
            acc_ |= static_cast<uint64_t>(byte) << count_;
        }
        count_ += 8;
    }

    // Called with fewer than 12 bits pending, so 6 or 7 whole bytes fit beside them.
    void LoadWord() {
        uint64_t word;
        std::memcpy(&word, in_, 8);
        const uint32_t take = (63 - count_) / 8;
        const uint32_t takeBits = 8 * take;
        if constexpr (kMsbFirst) {
            if constexpr (std::endian::native == std::endian::little) {
                word = __builtin_bswap64(word);
            }
            acc_ = (acc_ << takeBits) | (word >> (64 - takeBits));
        } else {
            if constexpr (std::endian::native == std::endian::big) {
                word = __builtin_bswap64(word);
            }
            // Bits above the bytes taken are cleared, so the accumulator never holds
            // input beyond its count.
            acc_ = (acc_ | (word << count_)) & (~uint64_t{0} >> (64 - count_ - takeBits));
        }
        in_ += take;
        count_ += takeBits;
    }

    uint64_t acc_;
    uint32_t count_;
    const unsigned char* in_;
    const unsigned char* const start_;
    const unsigned char* const end_;
};

}  // namespace zyplzw::detail
