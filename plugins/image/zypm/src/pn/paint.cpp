// Painting a rectangle of a page into a cairo context.
#include <algorithm>
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

constexpr uint32_t kMaxReduce = 64;

// Raster targets get a surface reduced towards the painted size; vector targets (PDF
// for print) keep every pixel of the page, as their output resolution is not known.
bool RasterTarget(cairo_t* context) {
    switch (cairo_surface_get_type(cairo_get_target(context))) {
        case CAIRO_SURFACE_TYPE_IMAGE:
        case CAIRO_SURFACE_TYPE_XLIB:
        case CAIRO_SURFACE_TYPE_XCB: return true;
        default: return false;
    }
}

// How many page pixels a pixel of the prepared surface may average along each page
// axis without falling below the painted size in device pixels. `width` and `height`
// are the displayed (turned) image's size in user units.
void ReduceFor(cairo_t* context, const zypm::PageInfo& info, bool quarter, double width, double height,
               zypm::SurfaceKey* key) {
    double wx = width, wy = 0, hx = 0, hy = height;
    cairo_user_to_device_distance(context, &wx, &wy);
    cairo_user_to_device_distance(context, &hx, &hy);
    double deviceWidth = std::hypot(wx, wy), deviceHeight = std::hypot(hx, hy);
    double acrossPage = quarter ? deviceHeight : deviceWidth;  // along the page's own rows
    double downPage = quarter ? deviceWidth : deviceHeight;
    auto factor = [](uint32_t pixels, double device) {
        double ratio = pixels / device;
        if (!(ratio >= 2)) return 1u;
        // A whole reduction is done here alone. Otherwise cairo's GOOD filter is left a
        // reduction by 2 to 4, which it box-filters; the box here stays small against it,
        // so strokes do not blur more than one box filter of the whole reduction would.
        double whole = std::round(ratio);  // within a device pixel of a whole reduction
        if (std::abs(pixels / whole - device) < 1)
            return static_cast<uint32_t>(std::min(whole, double{kMaxReduce}));
        double most = std::floor(ratio / 2);
        return static_cast<uint32_t>(std::clamp(most, 1.0, double{kMaxReduce}));
    };
    key->reduceX = factor(info.width, acrossPage);
    key->reduceY = factor(info.height, downPage);
}

// cairo's image surfaces hold at most this many pixels a side; a longer page axis (up to
// ZYPM_MAX_DIMENSION) is averaged down by the least whole factor that fits it.
constexpr uint32_t kMaxSurfaceSide = 32767;

uint32_t FitSurfaceSide(uint32_t pixels, uint32_t reduce) {
    return std::max(reduce, (pixels + kMaxSurfaceSide - 1) / kMaxSurfaceSide);
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
    // The natural size is the page's shown size (resolution corrected), turned.
    bool quarter = key.rotation == 2 || key.rotation == 4;
    const zypm::PageInfo& info = docPage->info;
    uint32_t uprightWidth = info.shownWidth;
    uint32_t uprightHeight = info.shownHeight;
    double width, height;
    ImageSize(display, static_cast<int>(quarter ? uprightHeight : uprightWidth),
              static_cast<int>(quarter ? uprightWidth : uprightHeight), &width, &height);
    if ((flags & ZYPM_PAINT_SMOOTH) && !(flags & ZYPM_PAINT_BEST) && RasterTarget(context))
        ReduceFor(context, info, quarter, width, height, &key);
    key.reduceX = FitSurfaceSide(decoded->width, key.reduceX);
    key.reduceY = FitSurfaceSide(decoded->height, key.reduceY);
    cairo_surface_t* surface = page->view->prepared.Get(key, *decoded, &code);
    if (!surface) return code;
    // The surface covers the page's pixels divided by the reduction; a last box that
    // holds fewer pixels lies at the start of a surface axis the turn reverses, so that
    // axis starts the part of a pixel early.
    double pageX = double(decoded->width) / key.reduceX, pageY = double(decoded->height) / key.reduceY;
    double contentWidth = quarter ? pageY : pageX, contentHeight = quarter ? pageX : pageY;
    bool reversedX = key.rotation == 2 || key.rotation == 3,
         reversedY = key.rotation == 3 || key.rotation == 4;
    double startX = reversedX ? cairo_image_surface_get_width(surface) - contentWidth : 0;
    double startY = reversedY ? cairo_image_surface_get_height(surface) - contentHeight : 0;

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
    cairo_scale(context, width / contentWidth, height / contentHeight);
    cairo_set_source_surface(context, surface, -startX, -startY);
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
