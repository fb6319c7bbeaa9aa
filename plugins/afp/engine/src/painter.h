// painter.h - drawing a page with cairo: into a window (the view's zoom, rotation and
// offset) or fitted onto paper.
#pragma once

#include <cairo.h>

#include "session.h"

namespace knvw {

// Colours the image-view modes and shade colours give.
struct PaintStyle {
    int imageMode = 0;     // 0 normal, 1 light, 2 draft, 3 normal with a shade
    int shadeColour = 10;  // 10 none, 11..16 blue, red, magenta, green, cyan, yellow
};

// Character ranges of the page text to mark.
struct Marks {
    int hitStart = 0, hitEnd = 0;  // the find hit
    int selStart = 0, selEnd = 0;  // the text selection
};

// Draws the page content in page units (cr's matrix maps page units to the device and
// its clip limits the work): paper, rules, frames, text.
void PaintPageContent(cairo_t* cr, const Page& page, const PaintStyle& style, const PageText* text,
                      const Marks& marks);

// The session's current page in a window of the view's size: the desk around the page,
// the page at the view's transform, the find hit and the selection.
void PaintView(cairo_t* cr, Session& session);

// Fits a page of pageWidth x pageHeight page units into a device area, centred; rotates
// a quarter turn when rotate is set and that fits better, and never enlarges when shrink
// only is asked. The matrix to set before PaintPageContent.
cairo_matrix_t FitPage(double pageWidth, double pageHeight, double areaWidth, double areaHeight,
                       bool rotateToFit, bool shrinkToFit, double scalePercent, double unitsPerInch,
                       double deviceDpi);

}  // namespace knvw
