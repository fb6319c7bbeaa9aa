// canvas.h - an image surface for painting tests, read back pixel by pixel.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

namespace zypm_test {

// A canvas filled red, so untouched pixels show.
struct Canvas {
    Canvas(int width, int height) : surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)) {
        context = cairo_create(surface);
        cairo_set_source_rgb(context, 1, 0, 0);
        cairo_paint(context);
    }
    ~Canvas() {
        cairo_destroy(context);
        cairo_surface_destroy(surface);
    }
    uint32_t At(int x, int y) {
        cairo_surface_flush(surface);
        auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<uint32_t*>(row)[x] & 0xFFFFFF;
    }
    // The blue channel of every pixel, row by row.
    std::vector<int> Blues() {
        std::vector<int> out;
        for (int y = 0; y < cairo_image_surface_get_height(surface); ++y)
            for (int x = 0; x < cairo_image_surface_get_width(surface); ++x) out.push_back(At(x, y) & 0xFF);
        return out;
    }
    cairo_surface_t* surface;
    cairo_t* context;
};

}  // namespace zypm_test
