// drawing_standin.cpp - a test-only stand-in for the drawing side the window tree
// calls (contexts on surfaces, the few drawing calls, bitmaps, pictures), so the
// window tree is tested on its own. Linked into tests only.
#include <cairo.h>

#include <charconv>
#include <cstring>
#include <map>
#include <sstream>

#include "desktop_internal.h"

struct WinDC {
    cairo_t* cr = nullptr;
    WinColor text = 0;
};

struct WinBitmap {
    cairo_surface_t* surface = nullptr;
};

namespace {

void SetColor(cairo_t* cr, WinColor color) {
    cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                         ((color >> 16) & 0xFF) / 255.0);
}

void Target(WinDC* dc, cairo_surface_t* surface, int originX, int originY, const WinRect& clip) {
    if (dc->cr != nullptr) cairo_destroy(dc->cr);
    dc->cr = cairo_create(surface);
    cairo_rectangle(dc->cr, clip.left, clip.top, clip.Width(), clip.Height());
    cairo_clip(dc->cr);
    cairo_translate(dc->cr, originX, originY);
}

WinBitmap* NewBitmap(int width, int height) {
    auto* bitmap = new WinBitmap;
    bitmap->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    return bitmap;
}

}  // namespace

WinDC* Dc_CreateForSurface(cairo_surface_t* surface, int originX, int originY, const WinRect& clip) {
    auto* dc = new WinDC;
    Target(dc, surface, originX, originY, clip);
    return dc;
}

void Dc_Retarget(WinDC* dc, cairo_surface_t* surface, int originX, int originY, const WinRect& clip) {
    Target(dc, surface, originX, originY, clip);
}

void Win_DeleteDC(WinDC* dc) {
    if (dc == nullptr) return;
    cairo_destroy(dc->cr);
    delete dc;
}

bool Win_FillSolid(WinDC* dc, const WinRect& rect, WinColor color) {
    SetColor(dc->cr, color);
    cairo_rectangle(dc->cr, rect.left, rect.top, rect.Width(), rect.Height());
    cairo_fill(dc->cr);
    return true;
}

int Win_SetBkMode(WinDC*, int mode) { return mode; }

WinColor Win_SetTextColor(WinDC* dc, WinColor color) {
    WinColor old = dc->text;
    dc->text = color;
    return old;
}

// Text as a bar of its extent on the base line: enough to see where text went, without
// bringing fonts into the tests.
bool Win_TextOut(WinDC* dc, int x, int y, std::string_view text) {
    SetColor(dc->cr, dc->text);
    cairo_rectangle(dc->cr, x, y + 10, static_cast<double>(text.size()) * 6, 1);
    cairo_fill(dc->cr);
    return true;
}

bool Win_ExtTextOut(WinDC* dc, int x, int y, uint32_t, const WinRect*, std::string_view text) {
    return Win_TextOut(dc, x, y, text);
}

bool Win_GetTextExtent(WinDC*, std::string_view text, int* width, int* height) {
    *width = static_cast<int>(text.size()) * 6;
    *height = 13;
    return true;
}

WinBitmap* Bitmap_FromSurface(cairo_surface_t* surface) {
    int width = cairo_image_surface_get_width(surface);
    int height = cairo_image_surface_get_height(surface);
    WinBitmap* bitmap = NewBitmap(width, height);
    cairo_t* cr = cairo_create(bitmap->surface);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return bitmap;
}

WinBitmap* Win_CopyBitmap(const WinBitmap* bitmap) {
    return bitmap == nullptr ? nullptr : Bitmap_FromSurface(bitmap->surface);
}

void Win_DeleteBitmap(WinBitmap* bitmap) {
    if (bitmap == nullptr) return;
    cairo_surface_destroy(bitmap->surface);
    delete bitmap;
}

int Win_BitmapWidth(const WinBitmap* bitmap) { return cairo_image_surface_get_width(bitmap->surface); }
int Win_BitmapHeight(const WinBitmap* bitmap) { return cairo_image_surface_get_height(bitmap->surface); }

uint32_t Win_BitmapPixel(const WinBitmap* bitmap, int x, int y) {
    cairo_surface_flush(bitmap->surface);
    const unsigned char* data = cairo_image_surface_get_data(bitmap->surface);
    int stride = cairo_image_surface_get_stride(bitmap->surface);
    uint32_t pixel;
    std::memcpy(&pixel, data + y * stride + x * 4, 4);
    return pixel & 0xFFFFFF;
}

bool Win_WritePng(const WinBitmap* bitmap, const std::string& path) {
    return cairo_surface_write_to_png(bitmap->surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

WinBitmap* Bitmap_FromPicture(std::string_view picture, std::string* error) {
    std::istringstream in{std::string(picture)};
    int width = 0, height = 0, colours = 0;
    if (!(in >> width >> height >> colours) || width <= 0 || height <= 0 || colours <= 0 || width > 4096 ||
        height > 4096) {
        *error = "bad picture header";
        return nullptr;
    }
    std::map<char, uint32_t> palette;
    for (int i = 0; i < colours; ++i) {
        std::string key, value;
        if (!(in >> key >> value) || key.size() != 1 || value.size() != 7 || value[0] != '#') {
            *error = "bad colour line";
            return nullptr;
        }
        uint32_t rgb = 0;
        std::from_chars(value.data() + 1, value.data() + 7, rgb, 16);
        palette[key[0]] = rgb;
    }
    WinBitmap* bitmap = NewBitmap(width, height);
    unsigned char* data = cairo_image_surface_get_data(bitmap->surface);
    int stride = cairo_image_surface_get_stride(bitmap->surface);
    for (int y = 0; y < height; ++y) {
        std::string row;
        if (!(in >> row) || static_cast<int>(row.size()) != width) {
            *error = "bad picture row";
            Win_DeleteBitmap(bitmap);
            return nullptr;
        }
        for (int x = 0; x < width; ++x) {
            auto it = palette.find(row[static_cast<size_t>(x)]);
            if (it == palette.end()) {
                *error = "unknown colour character";
                Win_DeleteBitmap(bitmap);
                return nullptr;
            }
            std::memcpy(data + y * stride + x * 4, &it->second, 4);
        }
    }
    cairo_surface_mark_dirty(bitmap->surface);
    return bitmap;
}

std::unique_ptr<DesktopBackend> Backend_CreateX11() { return nullptr; }
