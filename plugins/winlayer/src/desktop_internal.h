// desktop_internal.h - the seam between the window tree and the drawing side.
#pragma once

#include <memory>

#include "qel_win.h"

// A drawing context on a surface: device origin (the client area's top-left in
// surface pixels) and a clip rectangle in surface pixels.
WinDC* Dc_CreateForSurface(cairo_surface_t* surface, int originX, int originY, const WinRect& clip);
// A kept context (CS_OWNDC) moved to a new origin and clip; its selections stay.
void Dc_Retarget(WinDC* dc, cairo_surface_t* surface, int originX, int originY, const WinRect& clip);
// Copies the surface's pixels into a new bitmap.
WinBitmap* Bitmap_FromSurface(cairo_surface_t* surface);

// Where top-level windows live.
class DesktopBackend {
public:
    virtual ~DesktopBackend() = default;
    // A surface of the window's full size (image surface for both back-ends).
    virtual cairo_surface_t* CreateSurface(WinHandle topLevel, int width, int height) = 0;
    virtual void DestroySurface(WinHandle topLevel) = 0;
    // The surface has new pixels (X11: copies them to the screen).
    virtual void Present(WinHandle topLevel) = 0;
    // Waits up to timeoutMs for user input and feeds it through Win_Input*; false when
    // the back-end has no input (headless).
    virtual bool WaitForInput(int timeoutMs) = 0;
    // Where a top-level window is on the screen, its style and whether it is shown
    // (X11: moves, maps and unmaps the window; popups without a caption bypass the
    // window manager).
    virtual void Place(WinHandle /*topLevel*/, const WinRect& /*screen*/, uint32_t /*style*/,
                       bool /*visible*/) {}
    // While a popup menu is open, pointer and keys go to the application wherever
    // the pointer is (X11: a grab).
    virtual void GrabInput(WinHandle /*topLevel*/, bool /*grab*/) {}
};
std::unique_ptr<DesktopBackend> Backend_CreateHeadless();
// Null when no X display answers.
std::unique_ptr<DesktopBackend> Backend_CreateX11();

// A bitmap from the picture text of resource tables: "<width> <height> <colours>",
// one "<char> #RRGGBB" line per colour, then one line of <width> characters per row.
// Null with a message in *error when the text breaks that form or the size is refused.
WinBitmap* Bitmap_FromPicture(std::string_view text, std::string* error);
// Frees pens, brushes and fonts still held (Win_Terminate).
void Gdi_Terminate();
// The window manager moved a top-level window: its position is updated without
// moving it again (WM_MOVE to the window).
void TopLevelMovedOnScreen(WinHandle topLevel, int x, int y);
// The hooks Win_SetHooks installed (the print dialog asks them).
const WinHooks& Desktop_Hooks();
