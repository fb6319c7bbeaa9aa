// bitmap.cpp - bitmaps on ARGB32 image surfaces: creation under size caps, copies,
// pixels, PNG files, and drawing them into a context.
#include <cstdlib>
#include <cstring>

#include "gdi_internal.h"

namespace {

// Caps on one bitmap (docs/window-drawing.md): a side of at most 16384 pixels and at
// most 256 MB of pixels.
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxBytes = 256LL * 1024 * 1024;

}  // namespace

bool Bitmap_SizeAllowed(int width, int height) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
    return static_cast<int64_t>(width) * height * 4 <= kMaxBytes;
}

WinBitmap* Bitmap_Create(int width, int height) {
    if (!Bitmap_SizeAllowed(width, height)) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    return new WinBitmap(surface);
}

WinBitmap* Win_CreateBitmap(int width, int height) { return Bitmap_Create(width, height); }

WinBitmap* Bitmap_FromSurface(cairo_surface_t* surface) {
    if (surface == nullptr || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) {
        return nullptr;
    }
    WinBitmap* bitmap =
        Bitmap_Create(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface));
    if (bitmap == nullptr) return nullptr;
    cairo_t* cr = cairo_create(bitmap->surface);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);  // over white: a transparent source comes out white
    cairo_destroy(cr);
    cairo_surface_flush(bitmap->surface);
    return bitmap;
}

WinBitmap* Win_CopyBitmap(const WinBitmap* bitmap) {
    return bitmap == nullptr ? nullptr : Bitmap_FromSurface(bitmap->surface);
}

void Win_DeleteBitmap(WinBitmap* bitmap) { delete bitmap; }

int Win_BitmapWidth(const WinBitmap* bitmap) {
    return bitmap == nullptr ? 0 : cairo_image_surface_get_width(bitmap->surface);
}

int Win_BitmapHeight(const WinBitmap* bitmap) {
    return bitmap == nullptr ? 0 : cairo_image_surface_get_height(bitmap->surface);
}

uint32_t Win_BitmapPixel(const WinBitmap* bitmap, int x, int y) {
    if (bitmap == nullptr || x < 0 || y < 0 || x >= Win_BitmapWidth(bitmap) ||
        y >= Win_BitmapHeight(bitmap)) {
        return 0xFFFFFFFFu;
    }
    cairo_surface_flush(bitmap->surface);
    const unsigned char* row = cairo_image_surface_get_data(bitmap->surface) +
                               static_cast<size_t>(y) * cairo_image_surface_get_stride(bitmap->surface);
    uint32_t pixel;
    std::memcpy(&pixel, row + static_cast<size_t>(x) * 4, 4);
    uint32_t alpha = pixel >> 24;
    if (alpha == 0) return 0;
    if (alpha == 255) return pixel & 0xFFFFFF;
    auto channel = [&](int shift) { return (((pixel >> shift) & 0xFF) * 255 + alpha / 2) / alpha; };
    return (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

cairo_surface_t* Win_BitmapSurface(WinBitmap* bitmap) {
    return bitmap == nullptr ? nullptr : bitmap->surface;
}

WinDC* Win_CreateBitmapDC(WinBitmap* bitmap) {
    if (bitmap == nullptr) return nullptr;
    auto dc = new WinDC();
    dc->kind = DcKind::Bitmap;
    WinRect all{0, 0, Win_BitmapWidth(bitmap), Win_BitmapHeight(bitmap)};
    Dc_Attach(dc, bitmap->surface, 0, 0, all, 1.0);
    return dc;
}

bool Win_WritePng(const WinBitmap* bitmap, const std::string& path) {
    if (bitmap == nullptr || path.empty()) return false;
    cairo_surface_flush(bitmap->surface);
    return cairo_surface_write_to_png(bitmap->surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

bool Win_DrawBitmap(WinDC* dc, int x, int y, const WinBitmap* bitmap) {
    if (bitmap == nullptr) return false;
    int width = Win_BitmapWidth(bitmap), height = Win_BitmapHeight(bitmap);
    return Win_StretchBitmap(dc, x, y, width, height, bitmap, 0, 0, width, height);
}

bool Win_StretchBitmap(WinDC* dc, int x, int y, int width, int height, const WinBitmap* bitmap, int sx,
                       int sy, int sw, int sh) {
    if (dc == nullptr || dc->cr == nullptr || bitmap == nullptr) return false;
    if (width == 0 || height == 0 || sw <= 0 || sh <= 0) return false;
    cairo_t* cr = dc->cr;
    cairo_save(cr);
    cairo_rectangle(cr, width > 0 ? x : x + width, height > 0 ? y : y + height, std::abs(width),
                    std::abs(height));
    cairo_clip(cr);
    // Negative sizes mirror, as they do for the plug-ins' Win32 blits.
    cairo_translate(cr, x, y);
    cairo_scale(cr, static_cast<double>(width) / sw, static_cast<double>(height) / sh);
    cairo_set_source_surface(cr, bitmap->surface, -sx, -sy);
    // Whole source pixels, as a blit shows them; nothing from outside the source area.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cr, 0, 0, sw, sh);
    cairo_fill(cr);
    cairo_restore(cr);
    return true;
}
