// view.cpp - view state changes, painting a page and the toolbar commands.
#include "view.h"

#include <algorithm>

#include "dialogs.h"
#include "output.h"
#include "plugin_state.h"
#include "plugin_windows.h"

namespace zyp {

namespace {

// One "image" event per change of what the view shows, for the host's log.
void LogView(PluginInstance& in) {
    const ViewGeometry& g = in.geometry;
    std::string state =
        "\"event\":\"view\",\"page\":" + std::to_string(g.page) + ",\"pages\":" + std::to_string(g.pages) +
        ",\"zoom\":" + std::to_string(g.zoom) + ",\"rotation\":" + std::to_string(g.rotation) +
        ",\"contrast\":" + std::to_string(in.contrast) + ",\"brightness\":" + std::to_string(in.brightness) +
        ",\"grey\":" + (in.grey ? "1" : "0");
    if (state == in.loggedView) return;
    in.loggedView = state;
    Win_LogEvent("image", state);
}

}  // namespace

void RepaintView(PluginInstance& in) {
    if (in.viewWindow) Win_InvalidateRect(in.viewWindow, nullptr, true);
    if (in.HasImage()) LogView(in);
}

void RefreshGeometry(PluginInstance& in) {
    ViewGeometry& g = in.geometry;
    WinRect client;
    if (in.browserWindow && Win_GetClientRect(in.browserWindow, &client)) {
        g.clientWidth = client.Width();
        g.clientHeight = client.Height();
    }
    g.toolbarHeight = in.toolbarHeight;
    UpdateGeometry(g);
    if (!in.viewWindow) return;
    Win_SetScrollRange(in.viewWindow, SB_HORZ, 0, kScrollRange, false);
    Win_SetScrollRange(in.viewWindow, SB_VERT, 0, kScrollRange, false);
    Win_ShowScrollBar(in.viewWindow, SB_VERT, true);
    Win_ShowScrollBar(in.viewWindow, SB_HORZ, g.HorizontalBar());
    Win_SetScrollPos(in.viewWindow, SB_HORZ, HorizontalPosition(g), true);
    Win_SetScrollPos(in.viewWindow, SB_VERT, VerticalPosition(g), true);
}

void ShowPage(PluginInstance& in, int page) {
    if (!in.HasImage()) return;
    ViewGeometry& g = in.geometry;
    g.page = std::clamp(page, 0, g.LastPage());
    ZypmPage locked = nullptr;
    int32_t width = 1, height = 1;
    if (ZypmViewPageLock(in.view, g.page, &locked) == ZYPM_OK) {
        ZypmPageAttrGet(locked, ZYPM_ATTR_WIDTH, &width);
        ZypmPageAttrGet(locked, ZYPM_ATTR_HEIGHT, &height);
        ZypmViewPageUnlock(in.view, locked, 0);
    }
    g.pageWidth = std::max<int>(width, 1);
    g.pageHeight = std::max<int>(height, 1);
    RefreshGeometry(in);
    RepaintView(in);
    UpdateToolbar(in);
}

void SetZoom(PluginInstance& in, int zoom) {
    in.geometry.zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    in.selectionValid = false;
    RefreshGeometry(in);
    RepaintView(in);
    UpdateToolbar(in);
}

void SetRotation(PluginInstance& in, int rotation) {
    in.geometry.rotation = rotation >= 1 && rotation <= 4 ? rotation : 1;
    in.selectionValid = false;
    RefreshGeometry(in);
    RepaintView(in);
    UpdateToolbar(in);
    if (in.toolbar) Win_InvalidateRect(in.toolbar, nullptr, true);
}

void SetContrast(PluginInstance& in, int contrast) {
    in.contrast = std::clamp(contrast, 0, 255);
    RepaintView(in);
}

void SetBrightness(PluginInstance& in, int brightness) {
    in.brightness = std::clamp(brightness, 0, 255);
    RepaintView(in);
}

void SetGrey(PluginInstance& in, bool grey) {
    in.grey = grey;
    RepaintView(in);
    if (in.toolbar) Win_InvalidateRect(Win_GetDlgItem(in.toolbar, kCmdGrey), nullptr, true);
}

void ApplyValues(PluginInstance& in, const ViewValues& values) {
    in.grey = values.grey != 0;
    in.contrast = std::clamp(values.contrast, 0, 255);
    in.brightness = std::clamp(values.brightness, 0, 255);
    in.geometry.rotation = values.rotation >= 1 && values.rotation <= 4 ? values.rotation : 1;
    SetZoom(in, values.zoom);
}

PaintResult PaintCurrentPage(PluginInstance& in, cairo_t* context, const ZypmRect& rect,
                             const PagePaint& how) {
    if (!in.HasImage() || !context) return {ZYPM_E_STATE, nullptr};
    ZypmPage page = nullptr;
    int rc = ZypmViewPageLock(in.view, in.geometry.page, &page);
    if (rc != ZYPM_OK) return {rc, "ZypmViewPageLock"};
    const std::pair<uint32_t, int32_t> attributes[] = {
        {ZYPM_ATTR_BRIGHTNESS, in.brightness},
        {ZYPM_ATTR_CONTRAST, in.contrast},
        {ZYPM_ATTR_COLOUR_MODE, how.applyGrey && in.grey ? ZYPM_COLOUR_GREY : ZYPM_COLOUR_AS_IS},
        {ZYPM_ATTR_ROTATION, in.geometry.rotation},
        {ZYPM_ATTR_IMAGE_WIDTH, std::clamp(how.imageWidth, 1, ZYPM_MAX_IMAGE_SIZE)},
        {ZYPM_ATTR_IMAGE_HEIGHT, std::clamp(how.imageHeight, 1, ZYPM_MAX_IMAGE_SIZE)},
        {ZYPM_ATTR_X_OFFSET, std::clamp(how.xOffset, 0, ZYPM_MAX_IMAGE_SIZE)},
        {ZYPM_ATTR_Y_OFFSET, std::clamp(how.yOffset, 0, ZYPM_MAX_IMAGE_SIZE)},
    };
    PaintResult result;
    for (const auto& [attribute, value] : attributes) {
        rc = ZypmPageAttrSet(page, attribute, value);
        if (rc != ZYPM_OK) {
            result = {rc, "ZypmPageAttrSet"};
            break;
        }
    }
    if (result.code == ZYPM_OK) {
        rc = ZypmRectPaint(page, context, &rect, how.flags);
        if (rc != ZYPM_OK) result = {rc, "ZypmRectPaint"};
    }
    // The unlock leaves the failure's reason for ZypmLastMessage in place.
    ZypmViewPageUnlock(in.view, page, 0);
    return result;
}

namespace {

void GoToPage(PluginInstance& in, int page) {
    if (!in.HasImage()) return;
    page = std::clamp(page, 0, in.geometry.LastPage());
    if (page == in.geometry.page) return;
    in.geometry.vOffset = 0;
    in.selectionValid = false;
    ShowPage(in, page);
}

}  // namespace

void RunCommand(PluginInstance& in, uint32_t command) {
    switch (command) {
        case kCmdZoom: RunViewDialog(in, ViewDialog::Zoom); break;
        case kCmdRotate: RunViewDialog(in, ViewDialog::Rotate); break;
        case kCmdContrast: RunViewDialog(in, ViewDialog::Contrast); break;
        case kCmdPresets: RunViewDialog(in, ViewDialog::Presets); break;
        case kCmdFirstPage: GoToPage(in, 0); break;
        case kCmdPreviousPage: GoToPage(in, in.geometry.page - 1); break;
        case kCmdNextPage: GoToPage(in, in.geometry.page + 1); break;
        case kCmdLastPage: GoToPage(in, in.geometry.LastPage()); break;
        case kCmdPrint: PrintDocument(in); break;
        case kCmdCopy: CopySelection(in); break;
        case kCmdGrey: SetGrey(in, !in.grey); break;
        case kCmdHelp: Win_WinHelp(in.viewWindow, State().helpPath, HELP_CONTEXT, kHelpViewer); break;
        default: break;
    }
}

}  // namespace zyp
