// painter.cpp - page drawing with cairo.
#include "painter.h"

#include <algorithm>
#include <cmath>

namespace knvw {
namespace {

struct Rgb {
    double r, g, b;
};

Rgb PaperColour(const PaintStyle& style) {
    if (style.imageMode != 3) return {1, 1, 1};
    switch (style.shadeColour) {
        case 11: return {0.86, 0.91, 1.0};  // blue
        case 12: return {1.0, 0.88, 0.88};  // red
        case 13: return {1.0, 0.88, 1.0};   // magenta
        case 14: return {0.88, 1.0, 0.88};  // green
        case 15: return {0.88, 1.0, 1.0};   // cyan
        case 16: return {1.0, 1.0, 0.82};   // yellow
        default: return {1, 1, 1};
    }
}

Rgb InkColour(const PaintStyle& style) {
    if (style.imageMode == 1) return {0.55, 0.55, 0.55};
    return {0, 0, 0};
}

void FillCells(cairo_t* cr, const PageText& text, int from, int to, Rgb colour) {
    const auto& cells = text.Cells();
    from = std::max(from, 0);
    to = std::min<int>(to, static_cast<int>(cells.size()));
    if (from >= to) return;
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    for (int i = from; i < to; ++i) {
        const Cell& c = cells[static_cast<std::size_t>(i)];
        if (c.width > 0) cairo_rectangle(cr, c.x, c.y, c.width, c.height);
    }
    cairo_fill(cr);
}

void DrawRun(cairo_t* cr, const TextRun& run, double clipX1, double clipX2) {
    if (run.cellWidth <= 0 || run.cellHeight <= 0) return;
    const double size = std::min(run.cellWidth / 0.6, run.cellHeight * 0.85);
    cairo_set_font_size(cr, size);
    // Only the cells inside the clip: a line may be far longer than what is shown.
    const double first = std::floor((clipX1 - run.x) / run.cellWidth) - 1;
    const double last = std::ceil((clipX2 - run.x) / run.cellWidth) + 1;
    const auto begin = static_cast<std::size_t>(std::clamp(first, 0.0, static_cast<double>(run.text.size())));
    const auto end = static_cast<std::size_t>(std::clamp(last, 0.0, static_cast<double>(run.text.size())));
    char utf8[3] = {};
    for (std::size_t n = begin; n < end; ++n) {
        const auto byte = static_cast<unsigned char>(run.text[n]);
        if (byte == ' ' || byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) continue;
        if (byte < 0x80) {
            utf8[0] = static_cast<char>(byte);
            utf8[1] = 0;
        } else {
            utf8[0] = static_cast<char>(0xC0 | (byte >> 6));
            utf8[1] = static_cast<char>(0x80 | (byte & 0x3F));
            utf8[2] = 0;
        }
        cairo_text_extents_t extents;
        cairo_text_extents(cr, utf8, &extents);
        const double x =
            run.x + run.cellWidth * static_cast<double>(n) + (run.cellWidth - extents.x_advance) / 2;
        cairo_move_to(cr, x, run.baseline);
        cairo_show_text(cr, utf8);
    }
}

}  // namespace

void PaintPageContent(cairo_t* cr, const Page& page, const PaintStyle& style, const PageText* text,
                      const Marks& marks) {
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, page.width, page.height);
    cairo_clip(cr);
    const Rgb paper = PaperColour(style);
    cairo_set_source_rgb(cr, paper.r, paper.g, paper.b);
    cairo_paint(cr);
    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);

    if (text) {
        FillCells(cr, *text, marks.selStart, marks.selEnd, {0.70, 0.82, 1.0});
        FillCells(cr, *text, marks.hitStart, marks.hitEnd, {1.0, 0.92, 0.25});
    }
    const Rgb ink = InkColour(style);
    cairo_set_source_rgb(cr, ink.r, ink.g, ink.b);
    for (const Box& rule : page.rules) cairo_rectangle(cr, rule.x, rule.y, rule.width, rule.height);
    cairo_fill(cr);

    if (style.imageMode != 2) {  // draft view leaves out the frames of objects
        const double line = page.unitsPerInch / 96;
        cairo_set_line_width(cr, line);
        const double dash = line * 4;
        cairo_set_dash(cr, &dash, 1, 0);
        cairo_select_font_face(cr, "sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, page.unitsPerInch / 9);
        for (const Box& frame : page.frames) {
            cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
            cairo_rectangle(cr, frame.x, frame.y, frame.width, frame.height);
            cairo_stroke(cr);
            cairo_move_to(cr, frame.x + line * 4, frame.y + page.unitsPerInch / 8);
            // Labels are Latin-1; invalid UTF-8 would leave the context unusable for what follows.
            cairo_show_text(cr, Latin1ToUtf8(frame.label).c_str());
        }
        cairo_set_dash(cr, nullptr, 0, 0);
    }

    cairo_select_font_face(cr, "monospace", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgb(cr, ink.r, ink.g, ink.b);
    for (const TextRun& run : page.runs) {
        if (run.baseline + run.cellHeight < y1 || run.baseline - run.cellHeight > y2) continue;
        DrawRun(cr, run, x1, x2);
    }
    cairo_restore(cr);
}

void PaintView(cairo_t* cr, Session& session) {
    const View& view = session.GetView();
    cairo_save(cr);
    // The context may already be moved (a child window's place in its top-level surface).
    cairo_matrix_t windowMatrix;
    cairo_get_matrix(cr, &windowMatrix);
    cairo_set_source_rgb(cr, 0.82, 0.82, 0.82);  // the desk around the page
    cairo_rectangle(cr, 0, 0, view.WindowWidth(), view.WindowHeight());
    cairo_fill(cr);

    const Affine m = view.PageToWindow();
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, m.a, m.b, m.c, m.d, m.e, m.f);
    cairo_transform(cr, &matrix);
    // The page's area follows the page size shown (autosize off may change it).
    const Page& page = session.CurrentPage();
    const double scaleU = page.unitsPerInch / 1440;
    Page shown;
    const Page* drawn = &page;
    const double width = session.PageWidthTwips() * scaleU, height = session.PageHeightTwips() * scaleU;
    if (std::abs(width - page.width) > 0.5 || std::abs(height - page.height) > 0.5) {
        shown = page;
        shown.width = width;
        shown.height = height;
        drawn = &shown;
    }
    Marks marks;
    if (const auto& hit = session.CurrentHit(); hit && hit->page == session.CurrentIndex()) {
        marks.hitStart = hit->start;
        marks.hitEnd = hit->start + hit->length;
    }
    std::tie(marks.selStart, marks.selEnd) = session.SelectedRange();
    PaintStyle style{session.imageMode, session.shadeColour};
    const bool marked = marks.hitEnd > marks.hitStart || marks.selEnd > marks.selStart;
    PaintPageContent(cr, *drawn, style, marked ? &session.CurrentText() : nullptr, marks);
    // A thin edge so a white page stands out from the desk.
    cairo_set_matrix(cr, &windowMatrix);
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, view.XPos() - 0.5, view.YPos() - 0.5, view.PagePixelWidth() + 1,
                    view.PagePixelHeight() + 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

cairo_matrix_t FitPage(double pageWidth, double pageHeight, double areaWidth, double areaHeight,
                       bool rotateToFit, bool shrinkToFit, double scalePercent, double unitsPerInch,
                       double deviceDpi) {
    // Natural size on the device, then the rotation that fits better, then the fit.
    const double natural = deviceDpi / unitsPerInch * (scalePercent > 0 ? scalePercent / 100 : 1);
    const bool pageLandscape = pageWidth > pageHeight, areaLandscape = areaWidth > areaHeight;
    const bool turn = rotateToFit && pageLandscape != areaLandscape;
    const double w = turn ? pageHeight : pageWidth, h = turn ? pageWidth : pageHeight;
    double scale = natural;
    const double fit = std::min(areaWidth / w, areaHeight / h);
    if (shrinkToFit && fit < scale) scale = fit;
    const double ox = (areaWidth - w * scale) / 2, oy = (areaHeight - h * scale) / 2;
    cairo_matrix_t m;
    if (turn) {
        // A quarter turn clockwise: (u, v) -> (h*scale - v*scale, u*scale).
        cairo_matrix_init(&m, 0, scale, -scale, 0, ox + w * scale, oy);
    } else {
        cairo_matrix_init(&m, scale, 0, 0, scale, ox, oy);
    }
    return m;
}

}  // namespace knvw
