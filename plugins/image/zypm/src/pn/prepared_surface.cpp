// Turning a decoded page into the surface cairo scales: contrast, brightness and
// grey mode through one lookup table, rotation by whole quarter turns.
#include <algorithm>
#include <array>
#include <cmath>

#include "view.h"

namespace zypm {

namespace {

using Table = std::array<uint8_t, 256>;

// 128/128 is the identity; contrast stretches around the middle (0 flattens it, 255
// doubles it), brightness shifts by up to a full range (255 turns black white).
Table MakeTable(const SurfaceKey& key) {
    Table table{};
    for (int v = 0; v < 256; ++v) {
        long value = key.adjust ? 128 + std::lround((v - 128) * key.contrast / 128.0) +
                                      std::lround((key.brightness - 128) * 255.0 / 127)
                                : v;
        table[static_cast<size_t>(v)] = static_cast<uint8_t>(std::clamp(value, 0L, 255L));
    }
    return table;
}

uint32_t Grey(uint8_t value) { return uint32_t{value} * 0x010101u; }

struct PixelSource {
    const DecodedPage& page;
    const Table& table;
    bool greyMode;
    uint32_t At(uint32_t x, uint32_t y) const {
        size_t index = size_t{y} * page.width + x;
        if (page.grey) return Grey(table[page.greyPixels[index]]);
        uint32_t rgb = page.rgbPixels[index];
        uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
        if (greyMode) return Grey(table[(r * 77 + g * 150 + b * 29 + 128) >> 8]);
        return uint32_t{table[r]} << 16 | uint32_t{table[g]} << 8 | table[b];
    }
};

// Fills the rotated surface row by row; (u, v) is the displayed pixel. The turn is a
// template argument so that the inner loop carries no switch.
template <int32_t kRotation>
void FillTurned(const PixelSource& source, unsigned char* data, int stride, uint32_t shownWidth,
                uint32_t shownHeight) {
    uint32_t w = source.page.width, h = source.page.height;
    for (uint32_t v = 0; v < shownHeight; ++v) {
        auto* row = reinterpret_cast<uint32_t*>(data + size_t(v) * static_cast<size_t>(stride));
        for (uint32_t u = 0; u < shownWidth; ++u) {
            if constexpr (kRotation == 2)
                row[u] = source.At(v, h - 1 - u);  // 90 degrees clockwise
            else if constexpr (kRotation == 3)
                row[u] = source.At(w - 1 - u, h - 1 - v);  // 180
            else if constexpr (kRotation == 4)
                row[u] = source.At(w - 1 - v, u);  // 270
            else
                row[u] = source.At(u, v);
        }
    }
}

void Fill(const PixelSource& source, int32_t rotation, unsigned char* data, int stride, uint32_t shownWidth,
          uint32_t shownHeight) {
    switch (rotation) {
        case 2: FillTurned<2>(source, data, stride, shownWidth, shownHeight); break;
        case 3: FillTurned<3>(source, data, stride, shownWidth, shownHeight); break;
        case 4: FillTurned<4>(source, data, stride, shownWidth, shownHeight); break;
        default: FillTurned<1>(source, data, stride, shownWidth, shownHeight); break;
    }
}

}  // namespace

void PreparedSurface::Reset() {
    if (surface_) cairo_surface_destroy(surface_);
    surface_ = nullptr;
}

cairo_surface_t* PreparedSurface::Get(const SurfaceKey& key, const DecodedPage& page, int* code) {
    *code = ZYPM_OK;
    if (surface_ && key == key_) return surface_;
    Reset();
    bool quarter = key.rotation == 2 || key.rotation == 4;
    uint32_t shownWidth = quarter ? page.height : page.width;
    uint32_t shownHeight = quarter ? page.width : page.height;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(shownWidth),
                                                          static_cast<int>(shownHeight));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        *code = Fail(ZYPM_E_NO_MEMORY, "no memory for the page's display surface");
        return nullptr;
    }
    cairo_surface_flush(surface);
    Table table = MakeTable(key);
    PixelSource source{page, table, key.adjust && key.colourMode == ZYPM_COLOUR_GREY};
    Fill(source, key.rotation, cairo_image_surface_get_data(surface), cairo_image_surface_get_stride(surface),
         shownWidth, shownHeight);
    cairo_surface_mark_dirty(surface);
    surface_ = surface;
    key_ = key;
    return surface_;
}

}  // namespace zypm
