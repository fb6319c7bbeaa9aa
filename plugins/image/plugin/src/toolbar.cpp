// toolbar.cpp - the toolbar dialog: owner-drawn picture buttons that send their
// commands to the outer window, enabled by the page and the selection.
#include <cairo.h>

#include <memory>

#include "plugin_state.h"
#include "plugin_windows.h"

namespace zyp {
namespace {

// The toolbar's flat colour; the button pictures use it as their background.
constexpr WinColor kFace = WinRgb(0xD4, 0xD0, 0xC8);
constexpr WinColor kLight = WinRgb(0xFF, 0xFF, 0xFF);
constexpr WinColor kShadow = WinRgb(0x80, 0x80, 0x80);

constexpr uint32_t kButtons[] = {kCmdZoom,     kCmdRotate,   kCmdContrast,  kCmdGrey,
                                 kCmdCopy,     kCmdPrint,    kCmdFirstPage, kCmdPreviousPage,
                                 kCmdNextPage, kCmdLastPage, kCmdPresets,   kCmdHelp};

struct BitmapDeleter {
    void operator()(WinBitmap* bitmap) const { Win_DeleteBitmap(bitmap); }
};

bool ButtonEnabled(const PluginInstance& in, uint32_t id) {
    const ViewGeometry& g = in.geometry;
    switch (id) {
        case kCmdFirstPage:
        case kCmdPreviousPage: return in.HasImage() && g.page > 0;
        case kCmdNextPage:
        case kCmdLastPage: return in.HasImage() && g.page < g.LastPage();
        case kCmdCopy: return in.selectionValid;
        default: return true;
    }
}

void Edge(WinDC* dc, const WinRect& r, WinColor topLeft, WinColor bottomRight) {
    Win_FillSolid(dc, {r.left, r.top, r.right, r.top + 1}, topLeft);
    Win_FillSolid(dc, {r.left, r.top, r.left + 1, r.bottom}, topLeft);
    Win_FillSolid(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    Win_FillSolid(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

void DrawButton(const PluginInstance& in, const WinDrawItem& item) {
    WinDC* dc = item.dc;
    const WinRect& r = item.rect;
    // The grey-mode button stays down while grey mode is on.
    bool pressed = (item.itemState & ODS_SELECTED) != 0 || (item.ctlId == kCmdGrey && in.grey);
    bool disabled = (item.itemState & ODS_DISABLED) != 0;
    Win_FillSolid(dc, r, kFace);
    if (pressed) {
        Edge(dc, r, kShadow, kLight);
    } else {
        Edge(dc, r, kLight, kShadow);
    }
    std::unique_ptr<WinBitmap, BitmapDeleter> picture(
        Win_LoadBitmap(State().language, Win_GetWindowText(item.item)));
    if (!picture) return;
    int x = r.left + (r.Width() - Win_BitmapWidth(picture.get())) / 2 + (pressed ? 1 : 0);
    int y = r.top + (r.Height() - Win_BitmapHeight(picture.get())) / 2 + (pressed ? 1 : 0);
    Win_DrawBitmap(dc, x, y, picture.get());
    if (disabled) {
        // A veil of the face colour over the picture greys it out.
        if (cairo_t* cr = Win_DCCairo(dc)) {
            cairo_save(cr);
            cairo_rectangle(cr, r.left + 1, r.top + 1, r.Width() - 2, r.Height() - 2);
            cairo_set_source_rgba(cr, 0xD4 / 255.0, 0xD0 / 255.0, 0xC8 / 255.0, 0.65);
            cairo_fill(cr);
            cairo_restore(cr);
        }
    }
}

}  // namespace

void UpdateToolbar(PluginInstance& in) {
    if (!in.toolbar) return;
    for (uint32_t id : kButtons) {
        WinHandle button = Win_GetDlgItem(in.toolbar, id);
        bool enable = ButtonEnabled(in, id);
        if (button && Win_IsWindowEnabled(button) != enable) {
            Win_EnableWindow(button, enable);
            Win_InvalidateRect(button, nullptr, true);
        }
    }
}

intptr_t ToolbarDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PluginInstance* in = DialogInstance(dialog, message, lParam);
    if (!in || message == WM_INITDIALOG) return 0;
    switch (message) {
        case WM_ERASEBKGND: {
            WinRect client;
            Win_GetClientRect(dialog, &client);
            Win_FillSolid(reinterpret_cast<WinDC*>(wParam), client, kFace);
            return 1;
        }
        case WM_DRAWITEM: DrawButton(*in, *reinterpret_cast<const WinDrawItem*>(lParam)); return 1;
        case WM_COMMAND:
            if (WinHighWord(wParam) == BN_CLICKED && in->outerWindow) {
                Win_SendMessage(in->outerWindow, WM_COMMAND, static_cast<uintptr_t>(WinLowWord(wParam)), 0);
            }
            return 1;
        case WM_SETCURSOR: ShowHint(*in, static_cast<WinHandle>(wParam)); return 0;
        case WM_DESTROY: in->toolbar = 0; return 0;
        default: return 0;
    }
}

}  // namespace zyp
