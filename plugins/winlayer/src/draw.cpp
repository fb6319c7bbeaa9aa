// draw.cpp - lines, rectangles, fills and text on a drawing context.
//
// Shapes are drawn without anti-aliasing so that they land on whole pixels as the
// plug-ins expect, and so that an inverting draw repeated restores the pixels.
#include <cmath>
#include <utility>

#include "gdi_internal.h"

namespace {

// A pen of width w covers the rows (columns) from y - (w - 1) / 2 to y + w / 2
// around the pixel row y it is drawn on; this is where its path runs.
double PenCentre(int coordinate, int width) { return coordinate + (width % 2 == 1 ? 0.5 : 1.0); }

// Sets operator and source for a pen or brush colour under the raster mode.
void SetRaster(cairo_t* cr, int rop2, WinColor color) {
    switch (rop2) {
        case R2_NOT:
        case R2_XORPEN:
            // Inverting (difference with white) undoes itself when drawn twice.
            cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
            Gdi_SetColor(cr, WinRgb(255, 255, 255));
            return;
        case R2_BLACK:
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            Gdi_SetColor(cr, WinRgb(0, 0, 0));
            return;
        case R2_WHITE:
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            Gdi_SetColor(cr, WinRgb(255, 255, 255));
            return;
        default:
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            Gdi_SetColor(cr, color);
            return;
    }
}

// Strokes the current path with the selected pen; false for a null pen.
bool StrokePath(WinDC* dc, const GdiPen& pen) {
    cairo_t* cr = dc->cr;
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, pen.width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    if (pen.style == PS_DASH || pen.style == PS_DOT) {
        double unit = pen.width;
        double dash[2] = {pen.style == PS_DASH ? 18 * unit : 3 * unit,
                          pen.style == PS_DASH ? 6 * unit : 3 * unit};
        if (dc->bkMode == OPAQUE && dc->rop2 == R2_COPYPEN) {
            // Gaps of a styled pen show the background colour.
            cairo_set_dash(cr, nullptr, 0, 0);
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            Gdi_SetColor(cr, dc->bkColor);
            cairo_stroke_preserve(cr);
        }
        cairo_set_dash(cr, dash, 2, 0);
    } else {
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    SetRaster(cr, dc->rop2, pen.color);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    return true;
}

GdiPen SelectedPen(const WinDC* dc) {
    std::optional<GdiObject> object = Gdi_Lookup(dc->pen);
    if (!object || object->kind != GdiKind::Pen) return GdiPen{};
    return object->pen;
}

GdiBrush SelectedBrush(const WinDC* dc) {
    std::optional<GdiObject> object = Gdi_Lookup(dc->brush);
    if (!object || object->kind != GdiKind::Brush) return GdiBrush{false, WinRgb(255, 255, 255)};
    return object->brush;
}

GdiFont SelectedFont(const WinDC* dc) {
    std::optional<GdiObject> object = Gdi_Lookup(dc->font);
    if (!object || object->kind != GdiKind::Font) return Gdi_Lookup(Gdi_DefaultFont())->font;
    return object->font;
}

void FillBox(cairo_t* cr, double left, double top, double right, double bottom) {
    if (right <= left || bottom <= top) return;
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_fill(cr);
}

// Selects the font into cr at a size whose ascent plus descent is the font's height.
cairo_font_extents_t UseFont(cairo_t* cr, const GdiFont& font) {
    cairo_select_font_face(cr, font.family.c_str(),
                           font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.height);
    cairo_font_extents_t extents;
    cairo_font_extents(cr, &extents);
    double cell = extents.ascent + extents.descent;
    if (cell > 0) {
        cairo_set_font_size(cr, font.height * font.height / cell);
        cairo_font_extents(cr, &extents);
    }
    return extents;
}

// Width and height of text in the font, measured on a scratch context so that every
// kind of context (and a printer before its document starts) answers the same.
void Measure(const GdiFont& font, const std::string& text, int* width, int* height) {
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    cairo_font_extents_t fontExtents = UseFont(cr, font);
    cairo_text_extents_t textExtents;
    cairo_text_extents(cr, text.c_str(), &textExtents);
    *width = static_cast<int>(std::ceil(textExtents.x_advance));
    *height = static_cast<int>(std::ceil(fontExtents.ascent + fontExtents.descent));
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
}

// Text without NUL bytes (cairo takes C strings).
std::string CleanText(std::string_view text) {
    std::string clean(text);
    for (char& c : clean) {
        if (c == '\0') c = ' ';
    }
    return clean;
}

}  // namespace

bool Win_MoveTo(WinDC* dc, int x, int y) {
    if (dc == nullptr) return false;
    dc->position = {x, y};
    return true;
}

bool Win_LineTo(WinDC* dc, int x, int y) {
    if (dc == nullptr || dc->cr == nullptr) return false;
    WinPoint from = dc->position;
    dc->position = {x, y};
    GdiPen pen = SelectedPen(dc);
    if (pen.style == PS_NULL || (from.x == x && from.y == y)) return true;
    cairo_t* cr = dc->cr;
    // The end point itself is not drawn.
    if (from.y == y) {
        double row = PenCentre(y, pen.width);
        cairo_move_to(cr, x > from.x ? from.x : from.x + 1, row);
        cairo_line_to(cr, x > from.x ? x : x + 1, row);
    } else if (from.x == x) {
        double column = PenCentre(x, pen.width);
        cairo_move_to(cr, column, y > from.y ? from.y : from.y + 1);
        cairo_line_to(cr, column, y > from.y ? y : y + 1);
    } else {
        double dx = x - from.x, dy = y - from.y;
        double length = std::sqrt(dx * dx + dy * dy);
        cairo_move_to(cr, from.x + 0.5, from.y + 0.5);
        cairo_line_to(cr, x + 0.5 - dx / length * 0.5, y + 0.5 - dy / length * 0.5);
    }
    return StrokePath(dc, pen);
}

bool Win_Rectangle(WinDC* dc, int left, int top, int right, int bottom) {
    if (dc == nullptr || dc->cr == nullptr) return false;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    cairo_t* cr = dc->cr;
    GdiPen pen = SelectedPen(dc);
    GdiBrush brush = SelectedBrush(dc);
    if (pen.style == PS_NULL) {
        // Without an outline the filled area ends one pixel short on the right and bottom.
        if (!brush.null) {
            SetRaster(cr, dc->rop2, brush.color);
            FillBox(cr, left, top, right - 1, bottom - 1);
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        }
        return true;
    }
    int inward = pen.width / 2, outward = (pen.width - 1) / 2;
    if (!brush.null) {
        SetRaster(cr, dc->rop2, brush.color);
        FillBox(cr, left + inward + 1, top + inward + 1, right - 1 - outward, bottom - 1 - outward);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    if (right - left < 1 || bottom - top < 1) return true;
    double x0 = PenCentre(left, pen.width), y0 = PenCentre(top, pen.width);
    double x1 = PenCentre(right - 1, pen.width), y1 = PenCentre(bottom - 1, pen.width);
    if (bottom - top == 1) {
        cairo_move_to(cr, left, y0);
        cairo_line_to(cr, right, y0);
    } else if (right - left == 1) {
        cairo_move_to(cr, x0, top);
        cairo_line_to(cr, x0, bottom);
    } else {
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    }
    return StrokePath(dc, pen);
}

bool Win_FillSolid(WinDC* dc, const WinRect& rect, WinColor color) {
    if (dc == nullptr || dc->cr == nullptr) return false;
    cairo_set_operator(dc->cr, CAIRO_OPERATOR_OVER);
    Gdi_SetColor(dc->cr, color);
    FillBox(dc->cr, rect.left, rect.top, rect.right, rect.bottom);
    return true;
}

bool Win_GetTextExtent(WinDC* dc, std::string_view text, int* width, int* height) {
    if (dc == nullptr) return false;
    int w = 0, h = 0;
    Measure(SelectedFont(dc), CleanText(text), &w, &h);
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return true;
}

bool Win_ExtTextOut(WinDC* dc, int x, int y, uint32_t options, const WinRect* rect, std::string_view text) {
    if (dc == nullptr || dc->cr == nullptr) return false;
    cairo_t* cr = dc->cr;
    std::string clean = CleanText(text);
    GdiFont font = SelectedFont(dc);
    int width = 0, height = 0;
    Measure(font, clean, &width, &height);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    if (rect != nullptr && (options & ETO_OPAQUE) != 0) {
        Gdi_SetColor(cr, dc->bkColor);
        FillBox(cr, rect->left, rect->top, rect->right, rect->bottom);
    }
    if (rect != nullptr && (options & ETO_CLIPPED) != 0) {
        cairo_rectangle(cr, rect->left, rect->top, rect->Width(), rect->Height());
        cairo_clip(cr);
    }
    if (dc->bkMode == OPAQUE) {
        Gdi_SetColor(cr, dc->bkColor);
        FillBox(cr, x, y, x + width, y + height);
    }
    cairo_font_extents_t extents = UseFont(cr, font);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    Gdi_SetColor(cr, dc->textColor);
    cairo_move_to(cr, x, y + extents.ascent);
    cairo_show_text(cr, clean.c_str());
    cairo_restore(cr);
    return true;
}

bool Win_TextOut(WinDC* dc, int x, int y, std::string_view text) {
    return Win_ExtTextOut(dc, x, y, 0, nullptr, text);
}
