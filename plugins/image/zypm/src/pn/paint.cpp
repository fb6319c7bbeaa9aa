// Painting a rectangle of a page into a cairo context.
#include <cmath>

#include "view.h"

namespace {

// The displayed image's size: the image size attributes, either one derived from
// the other through the aspect when it is 0, both 0 for the natural size.
void ImageSize(const zypm::DisplayAttributes& display, int shownWidth, int shownHeight, double* width,
               double* height) {
    *width = display.imageWidth;
    *height = display.imageHeight;
    if (*width <= 0 && *height <= 0) {
        *width = shownWidth;
        *height = shownHeight;
    } else if (*height <= 0) {
        *height = std::max(1.0, std::round(*width * shownHeight / shownWidth));
    } else if (*width <= 0) {
        *width = std::max(1.0, std::round(*height * shownWidth / shownHeight));
    }
}

cairo_filter_t FilterFor(uint32_t flags) {
    if (flags & ZYPM_PAINT_BEST) return CAIRO_FILTER_BEST;
    // GOOD box-filters reductions and interpolates enlargements (cairo 1.14 and later).
    if (flags & ZYPM_PAINT_SMOOTH) return CAIRO_FILTER_GOOD;
    return CAIRO_FILTER_NEAREST;
}

}  // namespace

extern "C" int ZypmRectPaint(ZypmPage page, cairo_t* context, const ZypmRect* rect, uint32_t flags) {
    int code = ZYPM_OK;
    const ZypmDocPage* docPage = zypm::DocPageOf(page, &code);
    if (!docPage) return code;
    if (!context || !rect) return zypm::Fail(ZYPM_E_ARGUMENT, "no cairo context or no rectangle");
    if (cairo_status(context) != CAIRO_STATUS_SUCCESS)
        return zypm::Fail(ZYPM_E_PAINT, std::string("the cairo context failed: ") +
                                            cairo_status_to_string(cairo_status(context)));
    if (rect->right <= rect->left || rect->bottom <= rect->top) return ZYPM_OK;
    zypm::DecodedPtr decoded = zypm::DecodedPageOf(*docPage, &code);
    if (!decoded) return code;

    const zypm::DisplayAttributes& display = page->display;
    zypm::SurfaceKey key;
    key.fileId = docPage->file->id;
    key.directory = docPage->info.directory;
    key.rotation = (flags & ZYPM_PAINT_ROTATE) ? display.rotation : 1;
    key.adjust = (flags & ZYPM_PAINT_ADJUST) != 0;
    if (key.adjust) {
        key.contrast = display.contrast;
        key.brightness = display.brightness;
        key.colourMode = (flags & ZYPM_PAINT_NO_GREY) ? ZYPM_COLOUR_AS_IS : display.colourMode;
    }
    cairo_surface_t* surface = page->view->prepared.Get(key, *decoded, &code);
    if (!surface) return code;
    int shownWidth = cairo_image_surface_get_width(surface);
    int shownHeight = cairo_image_surface_get_height(surface);
    double width, height;
    ImageSize(display, shownWidth, shownHeight, &width, &height);

    cairo_save(context);
    cairo_rectangle(context, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    cairo_clip(context);
    if (flags & ZYPM_PAINT_BACKGROUND) {
        cairo_set_source_rgb(context, 1, 1, 1);
        cairo_paint(context);
    }
    cairo_translate(context, rect->left - display.xOffset, rect->top - display.yOffset);
    cairo_rectangle(context, 0, 0, width, height);
    cairo_clip(context);
    cairo_scale(context, width / shownWidth, height / shownHeight);
    cairo_set_source_surface(context, surface, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(context);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, FilterFor(flags));
    cairo_paint(context);
    cairo_restore(context);
    if (cairo_status(context) != CAIRO_STATUS_SUCCESS)
        return zypm::Fail(ZYPM_E_PAINT,
                          std::string("cairo failed: ") + cairo_status_to_string(cairo_status(context)));
    return ZYPM_OK;
}
