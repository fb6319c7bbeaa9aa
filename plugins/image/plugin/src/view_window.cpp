// view_window.cpp - the view window: painting, scrolling, keys and the selection.
#include <algorithm>
#include <utility>

#include "plugin_state.h"
#include "plugin_windows.h"
#include "view.h"

namespace zyp {
namespace {

constexpr int kMinSelection = 3;

WinRect Normalised(WinPoint a, WinPoint b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

// A dotted rectangle that inverts what lies under it: drawing it twice removes it.
void InvertBand(WinDC* dc, const WinRect& rect) {
    if (rect.Width() <= 0 || rect.Height() <= 0) return;
    int oldMode = Win_SetROP2(dc, R2_NOT);
    WinGdi pen = Win_CreatePen(PS_DOT, 1, WinRgb(0, 0, 0));
    WinGdi oldPen = Win_SelectObject(dc, pen);
    WinGdi oldBrush = Win_SelectObject(dc, Win_GetStockObject(NULL_BRUSH));
    Win_Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
    Win_SelectObject(dc, oldBrush);
    Win_SelectObject(dc, oldPen);
    Win_DeleteObject(pen);
    Win_SetROP2(dc, oldMode);
}

WinPoint ClampToClient(WinHandle window, WinPoint point) {
    WinRect client;
    Win_GetClientRect(window, &client);
    return {std::clamp(point.x, 0, client.right), std::clamp(point.y, 0, client.bottom)};
}

// A page that fails to paint is reported once while its document is open. The
// report is made now, while the library's reason is the page's, and shown when the
// posted message arrives: a message box inside WM_PAINT would paint again.
void NotePaintFailure(PluginInstance& in, WinHandle window, const PaintResult& result) {
    int page = in.geometry.page;
    if (in.paintFailures.count(page)) return;
    in.paintFailures[page] = LibraryFailureText(result.call, result.code);
    Win_PostMessage(window, kMsgPaintFailed, static_cast<uintptr_t>(page), 0);
}

void ShowPaintFailure(PluginInstance& in, uintptr_t page) {
    auto found = in.paintFailures.find(static_cast<int>(page));
    // Gone with its document, or shown already.
    if (found == in.paintFailures.end() || found->second.empty()) return;
    ShowMessage(std::exchange(found->second, std::string()));
}

void Paint(PluginInstance& in, WinHandle window) {
    WinPaint paint;
    WinDC* dc = Win_BeginPaint(window, &paint);
    if (!dc) return;
    WinRect client;
    Win_GetClientRect(window, &client);
    const ViewGeometry& g = in.geometry;
    PaintResult result{ZYPM_E_STATE, nullptr};
    if (in.HasImage()) {
        PagePaint how{g.imageWidth, g.imageHeight, g.hOffset, g.vOffset, true, ZYPM_PAINT_VIEW};
        result = PaintCurrentPage(in, Win_DCCairo(dc), ZypmRect{0, 0, client.right, client.bottom}, how);
    }
    if (result.code != ZYPM_OK) Win_FillSolid(dc, client, WinRgb(255, 255, 255));
    if (result.call) NotePaintFailure(in, window, result);
    in.bandDrawn = false;
    if (in.selectionValid) InvertBand(dc, in.selection);
    Win_EndPaint(window, &paint);
}

void ScrollHorizontally(PluginInstance& in, WinHandle window, int request, int thumb) {
    ViewGeometry& g = in.geometry;
    int target = HorizontalTarget(g, request, thumb);
    if (target == g.hOffset) return;
    int dx = g.hOffset - target;
    g.hOffset = target;
    Win_SetScrollPos(window, SB_HORZ, HorizontalPosition(g), true);
    // The selection and a band being dragged stay where they are on the screen, so
    // then the whole view is painted again; otherwise the pixels move and only the
    // uncovered strip is painted.
    if (in.selectionValid || in.dragging) {
        RepaintView(in);
    } else {
        Win_ScrollWindow(window, dx, 0, nullptr, nullptr);
    }
}

void ScrollVertically(PluginInstance& in, WinHandle window, int request, int thumb) {
    ViewGeometry& g = in.geometry;
    VerticalMove move = VerticalTarget(g, request, thumb);
    if (!move.moves) return;
    if (move.at == VerticalMove::At::Offset) {
        g.vOffset = move.offset;
        Win_SetScrollPos(window, SB_VERT, VerticalPosition(g), true);
        RepaintView(in);
        return;
    }
    if (move.page != g.page) in.selectionValid = false;
    g.vOffset = 0;
    ShowPage(in, move.page);
    PlaceOnPage(g, move);
    RefreshGeometry(in);
}

void ZoomIntoSelection(PluginInstance& in) {
    ViewGeometry& g = in.geometry;
    int oldZoom = g.zoom, oldH = g.hOffset, oldV = g.vOffset;
    WinRect selection = in.selection;
    SetZoom(in, SelectionZoom(g, selection.Width()));
    ScrollToSelection(g, oldZoom, oldH, oldV, selection.left, selection.top);
    RefreshGeometry(in);
}

void MouseDown(PluginInstance& in, WinHandle window, uint32_t keys, WinPoint point) {
    if (keys & (MK_SHIFT | MK_CONTROL)) return;
    in.dragging = true;
    in.bandDrawn = false;
    in.dragFrom = in.dragTo = ClampToClient(window, point);
    Win_SetCapture(window);
}

void MouseMove(PluginInstance& in, WinHandle window, WinPoint point) {
    if (!in.dragging) return;
    WinDC* dc = Win_GetDC(window);
    if (!dc) return;
    if (in.bandDrawn) InvertBand(dc, Normalised(in.dragFrom, in.dragTo));
    in.dragTo = ClampToClient(window, point);
    WinRect band = Normalised(in.dragFrom, in.dragTo);
    InvertBand(dc, band);
    in.bandDrawn = band.Width() > 0 && band.Height() > 0;
    Win_ReleaseDC(window, dc);
}

void MouseUp(PluginInstance& in, WinHandle window, WinPoint point) {
    if (!in.dragging) return;
    in.dragging = false;
    Win_ReleaseCapture();
    in.dragTo = ClampToClient(window, point);
    WinRect band = Normalised(in.dragFrom, in.dragTo);
    in.bandDrawn = false;
    if (band.Width() >= kMinSelection && band.Height() >= kMinSelection) {
        in.selection = band;
        in.selectionValid = true;
    }
    RepaintView(in);
    UpdateToolbar(in);
}

void DoubleClick(PluginInstance& in, WinPoint point) {
    const WinRect& s = in.selection;
    bool inside =
        in.selectionValid && point.x >= s.left && point.x < s.right && point.y >= s.top && point.y < s.bottom;
    if (inside && in.HasImage()) {
        ZoomIntoSelection(in);
    } else {
        in.selectionValid = false;
        RepaintView(in);
    }
    in.selectionValid = false;
    UpdateToolbar(in);
}

}  // namespace

intptr_t ViewWindowProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_CREATE) Win_SetWindowWord(window, 0, lParam);
    PluginInstance* in = InstanceOfWindow(window);
    if (!in) return Win_DefWindowProc(window, message, wParam, lParam);
    WinPoint point{WinPointX(lParam), WinPointY(lParam)};
    switch (message) {
        case WM_PAINT: Paint(*in, window); return 0;
        case WM_ERASEBKGND: return 1;  // the paint covers every pixel
        case WM_HSCROLL: ScrollHorizontally(*in, window, WinLowWord(wParam), WinHighWord(wParam)); return 0;
        case WM_VSCROLL: ScrollVertically(*in, window, WinLowWord(wParam), WinHighWord(wParam)); return 0;
        case WM_KEYDOWN:
            switch (static_cast<int>(wParam)) {
                case VK_PRIOR:
                case VK_UP: ScrollVertically(*in, window, SB_LINEUP, 0); break;
                case VK_NEXT:
                case VK_DOWN: ScrollVertically(*in, window, SB_LINEDOWN, 0); break;
                case VK_LEFT: ScrollHorizontally(*in, window, SB_LINELEFT, 0); break;
                case VK_RIGHT: ScrollHorizontally(*in, window, SB_LINERIGHT, 0); break;
                default: break;
            }
            return 0;
        case WM_LBUTTONDOWN: MouseDown(*in, window, static_cast<uint32_t>(wParam), point); return 0;
        case WM_MOUSEMOVE: MouseMove(*in, window, point); return 0;
        case WM_LBUTTONUP: MouseUp(*in, window, point); return 0;
        case WM_LBUTTONDBLCLK: DoubleClick(*in, point); return 0;
        case WM_COMMAND: RunCommand(*in, static_cast<uint32_t>(WinLowWord(wParam))); return 0;
        case kMsgPaintFailed: ShowPaintFailure(*in, wParam); return 0;
        case WM_DESTROY: in->viewWindow = 0; break;
        default: break;
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

}  // namespace zyp
