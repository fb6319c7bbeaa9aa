// Rows of a decoded page for the prepared surface. Bilevel rows expand a byte at a time
// through a table of eight pixels; reductions average the mapped samples of each box
// (a bilevel box by counting its black pixels).
#include "row_maker.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace zypm {

namespace {

uint32_t Grey(uint32_t value) { return value * 0x010101u; }

uint32_t Luma(uint32_t rgb) {
    return ((rgb >> 16 & 0xFF) * 77 + (rgb >> 8 & 0xFF) * 150 + (rgb & 0xFF) * 29 + 128) >> 8;
}

// The rounded mean of `sum` over `count` samples.
uint32_t Mean(uint32_t sum, uint32_t count) { return (sum + count / 2) / count; }

}  // namespace

std::array<uint8_t, 256> AdjustTable(bool adjust, int32_t contrast, int32_t brightness) {
    std::array<uint8_t, 256> table{};
    // Contrast stretches around the middle (0 flattens it, 255 doubles it), brightness
    // shifts by up to a full range (255 turns black white).
    for (int v = 0; v < 256; ++v) {
        long value = adjust ? 128 + std::lround((v - 128) * contrast / 128.0) +
                                  std::lround((brightness - 128) * 255.0 / 127)
                            : v;
        table[static_cast<size_t>(v)] = static_cast<uint8_t>(std::clamp(value, 0L, 255L));
    }
    return table;
}

RowMaker::RowMaker(const DecodedPage& page, const RowMapping& mapping)
    : page_(page),
      mapping_(mapping),
      width_((page.width + mapping.reduceX - 1) / mapping.reduceX),
      height_((page.height + mapping.reduceY - 1) / mapping.reduceY) {
    for (size_t v = 0; v < 256; ++v) greyPixel_[v] = Grey(mapping.table[v]);
    uint32_t black = greyPixel_[0], white = greyPixel_[255];
    for (size_t byte = 0; byte < 256; ++byte)
        for (size_t bit = 0; bit < 8; ++bit) eight_[byte][bit] = (byte >> (7 - bit) & 1) ? black : white;
    bool reduced = mapping.reduceX > 1 || mapping.reduceY > 1;
    if (reduced)
        sums_.resize(size_t{width_} * (page.form == DecodedPage::Form::Rgb && !mapping.greyMode ? 3 : 1));
}

void RowMaker::Rows(uint32_t y, uint32_t* first, uint32_t* end) const {
    *first = y * mapping_.reduceY;
    *end = std::min(page_.height, *first + mapping_.reduceY);
}

void RowMaker::Row(uint32_t y, uint32_t* out) {
    bool reduced = mapping_.reduceX > 1 || mapping_.reduceY > 1;
    switch (page_.form) {
        case DecodedPage::Form::Bits: reduced ? BitsBoxRow(y, out) : BitsRow(y, out); break;
        case DecodedPage::Form::Grey: reduced ? GreyBoxRow(y, out) : GreyRow(y, out); break;
        case DecodedPage::Form::Rgb: reduced ? RgbBoxRow(y, out) : RgbRow(y, out); break;
    }
}

void RowMaker::BitsRow(uint32_t y, uint32_t* out) const {
    const uint8_t* in = page_.bits.data() + size_t{y} * page_.bitStride;
    uint32_t whole = page_.width / 8, rest = page_.width % 8;
    for (uint32_t i = 0; i < whole; ++i)
        std::memcpy(out + size_t{i} * 8, eight_[in[i]].data(), 8 * sizeof(uint32_t));
    if (rest) std::memcpy(out + size_t{whole} * 8, eight_[in[whole]].data(), rest * sizeof(uint32_t));
}

void RowMaker::BitsBoxRow(uint32_t y, uint32_t* out) {
    uint32_t first, end, kx = mapping_.reduceX, width = page_.width;
    Rows(y, &first, &end);
    std::fill(sums_.begin(), sums_.end(), 0);
    for (uint32_t row = first; row < end; ++row) {
        const uint8_t* in = page_.bits.data() + size_t{row} * page_.bitStride;
        for (size_t i = 0; i < page_.bitStride; ++i) {
            // Most of a document page is white: only the set bits are visited.
            for (unsigned byte = in[i]; byte != 0;) {
                unsigned bit = static_cast<unsigned>(std::countl_zero(static_cast<uint8_t>(byte)));
                byte &= ~(0x80u >> bit);
                size_t x = i * 8 + bit;
                if (x < width) ++sums_[x / kx];
            }
        }
    }
    uint32_t black = mapping_.table[0], white = mapping_.table[255], rows = end - first;
    for (uint32_t x = 0; x < width_; ++x) {
        uint32_t count = std::min(kx, width - x * kx) * rows, blacks = sums_[x];
        out[x] = Grey(Mean(blacks * black + (count - blacks) * white, count));
    }
}

void RowMaker::GreyRow(uint32_t y, uint32_t* out) const {
    const uint8_t* in = page_.greyPixels.data() + size_t{y} * page_.width;
    for (uint32_t x = 0; x < page_.width; ++x) out[x] = greyPixel_[in[x]];
}

void RowMaker::GreyBoxRow(uint32_t y, uint32_t* out) {
    uint32_t first, end, kx = mapping_.reduceX, width = page_.width;
    Rows(y, &first, &end);
    std::fill(sums_.begin(), sums_.end(), 0);
    for (uint32_t row = first; row < end; ++row) {
        const uint8_t* in = page_.greyPixels.data() + size_t{row} * width;
        for (uint32_t x0 = 0, made = 0; x0 < width; x0 += kx, ++made) {
            uint32_t sum = 0;
            for (uint32_t x = x0, stop = std::min(width, x0 + kx); x < stop; ++x)
                sum += mapping_.table[in[x]];
            sums_[made] += sum;
        }
    }
    uint32_t rows = end - first;
    for (uint32_t x = 0; x < width_; ++x) out[x] = Grey(Mean(sums_[x], std::min(kx, width - x * kx) * rows));
}

void RowMaker::RgbRow(uint32_t y, uint32_t* out) const {
    const uint32_t* in = page_.rgbPixels.data() + size_t{y} * page_.width;
    const auto& t = mapping_.table;
    if (mapping_.greyMode) {
        for (uint32_t x = 0; x < page_.width; ++x) out[x] = greyPixel_[Luma(in[x])];
        return;
    }
    for (uint32_t x = 0; x < page_.width; ++x) {
        uint32_t rgb = in[x];
        out[x] = uint32_t{t[rgb >> 16 & 0xFF]} << 16 | uint32_t{t[rgb >> 8 & 0xFF]} << 8 | t[rgb & 0xFF];
    }
}

void RowMaker::RgbBoxRow(uint32_t y, uint32_t* out) {
    uint32_t first, end, kx = mapping_.reduceX, width = page_.width;
    Rows(y, &first, &end);
    const auto& t = mapping_.table;
    bool grey = mapping_.greyMode;
    std::fill(sums_.begin(), sums_.end(), 0);
    for (uint32_t row = first; row < end; ++row) {
        const uint32_t* in = page_.rgbPixels.data() + size_t{row} * width;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t rgb = in[x];
            size_t made = x / kx;
            if (grey) {
                sums_[made] += t[Luma(rgb)];
            } else {
                sums_[made * 3] += t[rgb >> 16 & 0xFF];
                sums_[made * 3 + 1] += t[rgb >> 8 & 0xFF];
                sums_[made * 3 + 2] += t[rgb & 0xFF];
            }
        }
    }
    uint32_t rows = end - first;
    for (uint32_t x = 0; x < width_; ++x) {
        uint32_t count = std::min(kx, width - x * kx) * rows;
        if (grey)
            out[x] = Grey(Mean(sums_[x], count));
        else
            out[x] = Mean(sums_[size_t{x} * 3], count) << 16 | Mean(sums_[size_t{x} * 3 + 1], count) << 8 |
                     Mean(sums_[size_t{x} * 3 + 2], count);
    }
}

}  // namespace zypm
