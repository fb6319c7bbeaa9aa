// gdi_internal.h - drawing contexts and drawing objects inside the drawing side.
#pragma once

#include <cairo.h>

#include <memory>
#include <optional>
#include <string>

#include "desktop_internal.h"

struct PrintJob;

enum class GdiKind { Pen, Brush, Font };

struct GdiPen {
    int style = PS_SOLID;
    int width = 1;
    WinColor color = 0;
};
struct GdiBrush {
    bool null = false;
    WinColor color = 0;
};
struct GdiFont {
    std::string family;  // a fontconfig family name
    int height = 13;     // pixels, ascent plus descent
    bool bold = false;
    bool italic = false;
};
struct GdiObject {
    GdiKind kind = GdiKind::Pen;
    GdiPen pen;
    GdiBrush brush;
    GdiFont font;
};

// The object behind a handle; empty for 0, deleted or unknown handles.
std::optional<GdiObject> Gdi_Lookup(WinGdi handle);
// The stock objects a fresh context starts with.
WinGdi Gdi_DefaultPen();
WinGdi Gdi_DefaultBrush();
WinGdi Gdi_DefaultFont();

enum class DcKind { Surface, Bitmap, Printer };

struct WinDC {
    DcKind kind = DcKind::Surface;
    cairo_surface_t* surface = nullptr;  // referenced; null for a printer before StartDoc
    cairo_t* cr = nullptr;               // device units, origin at the client area, clipped
    int width = 0, height = 0;           // the drawable area in device units
    WinGdi pen = 0, brush = 0, font = 0;
    int rop2 = R2_COPYPEN;
    int bkMode = OPAQUE;
    WinColor bkColor = WinRgb(255, 255, 255);
    WinColor textColor = WinRgb(0, 0, 0);
    WinPoint position;
    int dpi = 96;
    std::unique_ptr<PrintJob> job;  // printer contexts only

    WinDC();
    ~WinDC();
    WinDC(const WinDC&) = delete;
    WinDC& operator=(const WinDC&) = delete;
};

struct WinBitmap {
    cairo_surface_t* surface = nullptr;  // ARGB32, opaque

    explicit WinBitmap(cairo_surface_t* owned) : surface(owned) {}
    ~WinBitmap() { cairo_surface_destroy(surface); }
    WinBitmap(const WinBitmap&) = delete;
    WinBitmap& operator=(const WinBitmap&) = delete;
};
// A white bitmap; null when the size is refused (bitmap caps in docs/window-drawing.md).
WinBitmap* Bitmap_Create(int width, int height);
bool Bitmap_SizeAllowed(int width, int height);

// Points the context at a surface: origin, clip and scale (device units per point
// of the surface; 1 for images). Releases what it pointed at before.
void Dc_Attach(WinDC* dc, cairo_surface_t* surface, int originX, int originY, const WinRect& clip,
               double scale);
void Dc_Detach(WinDC* dc);

// Sets the cairo source to a 0x00BBGGRR colour.
void Gdi_SetColor(cairo_t* cr, WinColor color);
