// Turning a decoded page into the surface cairo scales: the rows made upright (mapped
// and reduced) are laid into the surface by whole quarter turns.
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "row_maker.h"
#include "view.h"

namespace zypm {

namespace {

constexpr uint32_t kBlockRows = 16;  // rows turned at a time: a cache line of each column

uint32_t* SurfaceRow(unsigned char* data, int stride, uint32_t row) {
    return reinterpret_cast<uint32_t*>(data + size_t{row} * static_cast<size_t>(stride));
}

// Rotation 2 puts made row y into surface column h-1-y (top to bottom = left to right
// of the row), rotation 4 into column y (the row read backwards).
void FillQuarter(RowMaker& rows, bool clockwise, unsigned char* data, int stride) {
    uint32_t w = rows.Width(), h = rows.Height();
    std::vector<uint32_t> block(size_t{kBlockRows} * w);
    for (uint32_t y0 = 0; y0 < h; y0 += kBlockRows) {
        uint32_t n = std::min(kBlockRows, h - y0);
        for (uint32_t i = 0; i < n; ++i) rows.Row(y0 + i, block.data() + size_t{i} * w);
        for (uint32_t x = 0; x < w; ++x) {
            if (clockwise) {
                uint32_t* out = SurfaceRow(data, stride, x) + (h - y0 - n);
                for (uint32_t i = 0; i < n; ++i) out[n - 1 - i] = block[size_t{i} * w + x];
            } else {
                uint32_t* out = SurfaceRow(data, stride, w - 1 - x) + y0;
                for (uint32_t i = 0; i < n; ++i) out[i] = block[size_t{i} * w + x];
            }
        }
    }
}

constexpr size_t kHugePage = size_t{2} << 20;

void FreePixels(void* pixels) { std::free(pixels); }

// An RGB24 surface; null when there is no memory, in an error state when cairo refused it. A large one lives
// in memory aligned to huge pages and asked to be backed by them: a full A4 page at 300 dpi is 35 MB, and
// faulting it in 4 KB pages costs more than filling it.
cairo_surface_t* MakeSurface(uint32_t width, uint32_t height) {
    int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, static_cast<int>(width));
    size_t bytes = static_cast<size_t>(stride) * height;
    if (stride <= 0 || bytes < 2 * kHugePage)
        return cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width),
                                          static_cast<int>(height));
    size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* pixels = std::aligned_alloc(kHugePage, rounded);
    if (!pixels) return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(pixels, rounded, MADV_HUGEPAGE);  // a hint; without it the pages are small
#endif
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24,
                                            static_cast<int>(width), static_cast<int>(height), stride);
    static cairo_user_data_key_t ownsPixels;
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        std::free(pixels);
        return surface;  // in its error state, which says why
    }
    if (cairo_surface_set_user_data(surface, &ownsPixels, pixels, FreePixels) != CAIRO_STATUS_SUCCESS) {
        std::free(pixels);
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

void Fill(RowMaker& rows, int32_t rotation, unsigned char* data, int stride) {
    uint32_t w = rows.Width(), h = rows.Height();
    switch (rotation) {
        case 2: FillQuarter(rows, true, data, stride); break;
        case 4: FillQuarter(rows, false, data, stride); break;
        case 3:
            for (uint32_t y = 0; y < h; ++y) {
                uint32_t* out = SurfaceRow(data, stride, h - 1 - y);
                rows.Row(y, out);
                std::reverse(out, out + w);
            }
            break;
        default:
            for (uint32_t y = 0; y < h; ++y) rows.Row(y, SurfaceRow(data, stride, y));
            break;
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
    RowMapping mapping;
    mapping.table = AdjustTable(key.adjust, key.contrast, key.brightness);
    mapping.greyMode = key.adjust && key.colourMode == ZYPM_COLOUR_GREY;
    mapping.reduceX = std::max(1u, key.reduceX);
    mapping.reduceY = std::max(1u, key.reduceY);
    try {
        RowMaker rows(page, mapping);
        bool quarter = key.rotation == 2 || key.rotation == 4;
        uint32_t shownWidth = quarter ? rows.Height() : rows.Width();
        uint32_t shownHeight = quarter ? rows.Width() : rows.Height();
        cairo_surface_t* surface = MakeSurface(shownWidth, shownHeight);
        const cairo_status_t status = surface ? cairo_surface_status(surface) : CAIRO_STATUS_NO_MEMORY;
        if (status != CAIRO_STATUS_SUCCESS) {
            if (surface) cairo_surface_destroy(surface);
            // Only a failed allocation is "no memory"; anything else is cairo's own reason.
            *code = status == CAIRO_STATUS_NO_MEMORY
                        ? Fail(ZYPM_E_NO_MEMORY, "no memory for the page's display surface")
                        : Fail(ZYPM_E_PAINT, "no display surface of " + std::to_string(shownWidth) + " x " +
                                                 std::to_string(shownHeight) +
                                                 " pixels: " + cairo_status_to_string(status));
            return nullptr;
        }
        surface_ = surface;  // owned from here: Reset frees it should filling throw
        cairo_surface_flush(surface);
        Fill(rows, key.rotation, cairo_image_surface_get_data(surface),
             cairo_image_surface_get_stride(surface));
        cairo_surface_mark_dirty(surface);
    } catch (const std::bad_alloc&) {
        Reset();
        *code = Fail(ZYPM_E_NO_MEMORY, "no memory to prepare the page");
        return nullptr;
    }
    key_ = key;
    return surface_;
}

}  // namespace zypm
