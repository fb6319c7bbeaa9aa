// view.h - what changes the view: the page shown, zoom, rotation, contrast,
// brightness and grey mode, and painting a page through the image library.
#pragma once

#include "instance.h"

namespace zyp {

// Shows page n (0-based) at the current vertical offset: reads its size, updates
// the geometry and the scroll bars, repaints the browser window.
void ShowPage(PluginInstance& instance, int page);
// Geometry, scroll bar ranges, positions and visibility after any change.
void RefreshGeometry(PluginInstance& instance);
void RepaintView(PluginInstance& instance);

void SetZoom(PluginInstance& instance, int zoom);
void SetRotation(PluginInstance& instance, int rotation);
void SetContrast(PluginInstance& instance, int contrast);
void SetBrightness(PluginInstance& instance, int brightness);
void SetGrey(PluginInstance& instance, bool grey);
void ApplyValues(PluginInstance& instance, const ViewValues& values);

// Paints the current page into rect of a cairo context, the rectangle's top-left
// showing (xOffset, yOffset) of an image imageWidth x imageHeight. Grey mode only
// for the screen.
struct PagePaint {
    int imageWidth = 0, imageHeight = 0;
    int xOffset = 0, yOffset = 0;
    bool applyGrey = true;
    uint32_t flags = ZYPM_PAINT_VIEW;
};
// ZYPM_OK, or the library code and the call that failed; call is null when nothing
// was painted without a library call failing (no image, no context).
struct PaintResult {
    int code = ZYPM_OK;
    const char* call = nullptr;
};
PaintResult PaintCurrentPage(PluginInstance& instance, cairo_t* context, const ZypmRect& rect,
                             const PagePaint& how);

// Commands of the toolbar and the print entry point.
void RunCommand(PluginInstance& instance, uint32_t command);

}  // namespace zyp
