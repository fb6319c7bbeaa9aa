// row_maker.h - the rows of a decoded page, upright, mapped through the display
// adjustments and box-reduced, one at a time: what the prepared surface is filled from.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "../internal.h"

namespace zypm {

// How a page turns into surface pixels.
struct RowMapping {
    std::array<uint8_t, 256> table{};   // every sample (grey, or each of red, green, blue)
    bool greyMode = false;              // colour pages as luma first
    uint32_t reduceX = 1, reduceY = 1;  // box of source pixels a made pixel averages
};

// Contrast and brightness as one table: 128/128 is the identity.
std::array<uint8_t, 256> AdjustTable(bool adjust, int32_t contrast, int32_t brightness);

class RowMaker {
public:
    RowMaker(const DecodedPage& page, const RowMapping& mapping);
    // The made (reduced) size: each side rounded up, the last box holding what is left.
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    // Writes made row `y` (Width() pixels, 0x00RRGGBB).
    void Row(uint32_t y, uint32_t* out);

private:
    void BitsRow(uint32_t y, uint32_t* out) const;
    void BitsBoxRow(uint32_t y, uint32_t* out);
    void GreyRow(uint32_t y, uint32_t* out) const;
    void GreyBoxRow(uint32_t y, uint32_t* out);
    void RgbRow(uint32_t y, uint32_t* out) const;
    void RgbBoxRow(uint32_t y, uint32_t* out);
    // Source rows [first, end) of made row y.
    void Rows(uint32_t y, uint32_t* first, uint32_t* end) const;

    const DecodedPage& page_;
    const RowMapping& mapping_;
    uint32_t width_, height_;
    std::array<uint32_t, 256> greyPixel_{};             // sample -> mapped grey pixel
    std::array<std::array<uint32_t, 8>, 256> eight_{};  // byte of bits -> 8 mapped pixels
    std::vector<uint32_t> sums_;                        // per made pixel of a box row
};

}  // namespace zypm
