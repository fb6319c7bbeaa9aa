// dc.cpp - drawing contexts: creation over a surface, selections, modes, device caps.
#include "print_internal.h"

WinDC::WinDC() : pen(Gdi_DefaultPen()), brush(Gdi_DefaultBrush()), font(Gdi_DefaultFont()) {}

WinDC::~WinDC() { Dc_Detach(this); }

void Dc_Detach(WinDC* dc) {
    if (dc->cr != nullptr) cairo_destroy(dc->cr);
    if (dc->surface != nullptr) cairo_surface_destroy(dc->surface);
    dc->cr = nullptr;
    dc->surface = nullptr;
}

void Dc_Attach(WinDC* dc, cairo_surface_t* surface, int originX, int originY, const WinRect& clip,
               double scale) {
    cairo_surface_reference(surface);
    Dc_Detach(dc);
    dc->surface = surface;
    dc->cr = cairo_create(surface);
    cairo_scale(dc->cr, scale, scale);
    cairo_rectangle(dc->cr, clip.left, clip.top, clip.Width() > 0 ? clip.Width() : 0,
                    clip.Height() > 0 ? clip.Height() : 0);
    cairo_clip(dc->cr);
    cairo_translate(dc->cr, originX, originY);
    dc->width = clip.Width() > 0 ? clip.Width() : 0;
    dc->height = clip.Height() > 0 ? clip.Height() : 0;
}

WinDC* Dc_CreateForSurface(cairo_surface_t* surface, int originX, int originY, const WinRect& clip) {
    if (surface == nullptr || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return nullptr;
    auto dc = new WinDC();
    Dc_Attach(dc, surface, originX, originY, clip, 1.0);
    return dc;
}

void Dc_Retarget(WinDC* dc, cairo_surface_t* surface, int originX, int originY, const WinRect& clip) {
    if (dc == nullptr || surface == nullptr) return;
    Dc_Attach(dc, surface, originX, originY, clip, 1.0);
}

void Win_DeleteDC(WinDC* dc) {
    if (dc == nullptr) return;
    if (dc->job && dc->job->inDocument) Win_AbortDoc(dc);
    delete dc;
}

WinGdi Win_SelectObject(WinDC* dc, WinGdi object) {
    if (dc == nullptr) return 0;
    std::optional<GdiObject> found = Gdi_Lookup(object);
    if (!found) return 0;
    WinGdi* slot = found->kind == GdiKind::Pen     ? &dc->pen
                   : found->kind == GdiKind::Brush ? &dc->brush
                                                   : &dc->font;
    WinGdi previous = *slot;
    *slot = object;
    return previous;
}

int Win_SetROP2(WinDC* dc, int mode) {
    if (dc == nullptr) return 0;
    if (mode != R2_BLACK && mode != R2_NOT && mode != R2_XORPEN && mode != R2_COPYPEN && mode != R2_WHITE)
        return 0;
    int previous = dc->rop2;
    dc->rop2 = mode;
    return previous;
}

int Win_SetBkMode(WinDC* dc, int mode) {
    if (dc == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

WinColor Win_SetBkColor(WinDC* dc, WinColor color) {
    if (dc == nullptr) return 0xFFFFFFFFu;
    WinColor previous = dc->bkColor;
    dc->bkColor = color & 0xFFFFFF;
    return previous;
}

WinColor Win_SetTextColor(WinDC* dc, WinColor color) {
    if (dc == nullptr) return 0xFFFFFFFFu;
    WinColor previous = dc->textColor;
    dc->textColor = color & 0xFFFFFF;
    return previous;
}

bool Win_DPtoLP(WinDC* dc, WinPoint* points, int count) {
    // Logical units are device units: there are no mapping modes to undo.
    return dc != nullptr && count >= 0 && (points != nullptr || count == 0);
}

cairo_t* Win_DCCairo(WinDC* dc) { return dc == nullptr ? nullptr : dc->cr; }

int Win_GetDeviceCaps(WinDC* dc, int index) {
    if (dc == nullptr) return 0;
    switch (index) {
        case HORZRES:
        case PHYSICALWIDTH: return dc->width;
        case VERTRES:
        case PHYSICALHEIGHT: return dc->height;
        case LOGPIXELSX:
        case LOGPIXELSY: return dc->dpi;
        case PHYSICALOFFSETX:
        case PHYSICALOFFSETY: return 0;
        default: return 0;
    }
}
