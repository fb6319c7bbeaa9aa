// The view window: opening and painting the document, keys, scroll bars, the mouse
// selection and the messages the engine's callbacks post.
#include <algorithm>
#include <mutex>

#include "controls.h"
#include "viewer.h"

namespace afpview {

namespace {

bool TextMode(const WoxPiInstance& instance) {
    return instance.document != 0 && Plugin().api.VSGetTextSelMode(instance.document) != 0;
}

void OpenDocument(WoxPiInstance& instance, WinHandle window, WinPaint& paint) {
    PluginState& plugin = Plugin();
    {
        std::lock_guard lock(plugin.textLock);
        instance.selecting = false;
        instance.document =
            plugin.api.VSDocStart(plugin.viewServer, instance.split.documentFile.c_str(),
                                  instance.formdef.c_str(), instance.split.resourceFile.c_str(), window);
    }
    if (!instance.stopShown && instance.document != 0)
        plugin.api.VSSetTextSelMode(instance.document, instance.selectionMode == 0 ? 1 : 0);
    if (instance.document != 0) {
        WinRect client;
        Win_GetClientRect(window, &client);
        plugin.api.VSSetWindowSize(instance.document, client.Width(), client.Height());
        WoxPiApplyPreferences(&instance);
        Repaint(instance);
        Win_EndPaint(window, &paint);
        instance.painting = false;
    } else {
        // A refused document is not tried again in this instance.
        instance.openFailed = true;
        Win_EndPaint(window, &paint);
    }
}

intptr_t Paint(WoxPiInstance& instance, WinHandle window, uintptr_t wParam, intptr_t lParam) {
    if (instance.painting) return Win_DefWindowProc(window, WM_PAINT, wParam, lParam);
    if (instance.band.left != -1) {
        WinRect band{instance.band.left, instance.band.top, instance.band.right + 1,
                     instance.band.bottom + 1};
        Win_InvalidateRect(window, &band, false);
    }
    instance.painting = true;
    WinPaint paint;
    WinDC* dc = Win_BeginPaint(window, &paint);
    PluginState& plugin = Plugin();
    if (!instance.split.documentFile.empty() && !instance.openFailed && plugin.viewServer != 0) {
        if (instance.document == 0) {
            OpenDocument(instance, window, paint);
            return 0;
        }
        WinRect client;
        Win_GetClientRect(window, &client);
        plugin.api.VSSetWindowSize(instance.document, client.Width(), client.Height());
        if (Win_GetFocus() != 0) Win_SetFocus(window);
        {
            std::lock_guard lock(plugin.textLock);
            // The engine repaints its selection marks while the mouse drags them: a text
            // selection goes on through those paints (a bitmap band does not).
            if (!TextMode(instance)) instance.selecting = false;
            plugin.api.VSDocPaint(instance.document, window, dc, 1, 1);
        }
        if (!instance.split.requestPending) {
            instance.currentPage = plugin.api.VSGetCurrentPage(instance.document);
            WoxPiUpdateControls(&instance);
        }
    }
    Win_EndPaint(window, &paint);
    instance.painting = false;
    instance.band = RubberBand{};
    // Painted: the default procedure would begin and end a paint again and so validate
    // (and erase) what became invalid meanwhile, such as the whole client area after the
    // engine hid the scroll bars.
    return 0;
}

intptr_t KeyDown(WoxPiInstance& instance, WinHandle window, uintptr_t wParam, intptr_t lParam) {
    const EngineApi& api = Plugin().api;
    if (!instance.selecting && instance.document != 0) {
        const auto key = static_cast<int32_t>(wParam);
        int32_t moved = 1;
        switch (key) {
            case VK_PRIOR:
            case VK_UP: moved = api.VSScrollUp(instance.document, key); break;
            case VK_NEXT:
            case VK_DOWN: moved = api.VSScrollDown(instance.document, key); break;
            case VK_LEFT: moved = api.VSScrollLeft(instance.document, key); break;
            case VK_RIGHT: moved = api.VSScrollRight(instance.document, key); break;
            default: break;
        }
        if (moved == 0) Repaint(instance);
    }
    return Win_DefWindowProc(window, WM_KEYDOWN, wParam, lParam);
}

intptr_t Scroll(WoxPiInstance& instance, WinHandle window, uint32_t message, uintptr_t wParam,
                intptr_t lParam) {
    const EngineApi& api = Plugin().api;
    const int request = WinLowWord(wParam);
    if (request > SB_THUMBTRACK || instance.document == 0)
        return Win_DefWindowProc(window, message, wParam, lParam);
    const int32_t doc = instance.document;
    const auto whole = static_cast<int32_t>(wParam);
    if (request == SB_THUMBPOSITION || request == SB_THUMBTRACK) {
        const int32_t result =
            api.VSThumbScroll(doc, static_cast<int32_t>(message), static_cast<int32_t>(lParam), whole);
        if (request == SB_THUMBPOSITION && result == 0) Repaint(instance);
        return Win_DefWindowProc(window, message, wParam, lParam);
    }
    if (instance.selecting) return Win_DefWindowProc(window, message, wParam, lParam);
    const bool forward = request == SB_LINEDOWN || request == SB_PAGEDOWN;
    if (message == WM_VSCROLL) {
        if ((forward ? api.VSScrollDown(doc, whole) : api.VSScrollUp(doc, whole)) == 0) Repaint(instance);
        return 0;
    }
    if (forward) {
        if (api.VSScrollRight(doc, whole) == 0) Repaint(instance);
        api.VSThumbScroll(doc, WM_HSCROLL, static_cast<int32_t>(lParam), whole);
    } else if (api.VSScrollLeft(doc, whole) == 0) {
        Repaint(instance);
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

void DrawBand(WoxPiInstance& instance, WinHandle window) {
    WinDC* dc = Win_GetDC(window);
    if (dc == nullptr) return;
    const int oldMode = Win_SetROP2(dc, R2_NOT);
    const int oldBk = Win_SetBkMode(dc, TRANSPARENT);
    const WinGdi oldBrush = Win_SelectObject(dc, Plugin().nullBrush);
    const WinGdi oldPen = Win_SelectObject(dc, Plugin().dotPen);
    WinPoint first{instance.band.left, instance.band.top};
    Win_DPtoLP(dc, &first, 1);
    Win_Rectangle(dc, first.x, first.y, instance.band.right, instance.band.bottom);
    Win_SelectObject(dc, oldPen);
    Win_SelectObject(dc, oldBrush);
    Win_SetBkMode(dc, oldBk);
    Win_SetROP2(dc, oldMode);
    Win_ReleaseDC(window, dc);
}

intptr_t Mouse(WoxPiInstance& instance, WinHandle window, uint32_t message, uintptr_t wParam,
               intptr_t lParam) {
    PluginState& plugin = Plugin();
    const EngineApi& api = plugin.api;
    const int32_t doc = instance.document;
    if (doc == 0) return Win_DefWindowProc(window, message, wParam, lParam);
    const int x = WinPointX(lParam), y = WinPointY(lParam);
    const auto position = static_cast<int32_t>(lParam);
    switch (message) {
        case WM_LBUTTONDOWN:
            if (instance.band.Complete()) {
                DrawBand(instance, window);
                instance.band = RubberBand{};
            }
            if (TextMode(instance)) {
                std::lock_guard lock(plugin.textLock);
                instance.selecting = api.VSTextLButtonDown(doc, position) != 0;
            } else {
                instance.selecting = true;
                instance.band = RubberBand{x, y, x, y};
                Win_SetCapture(window);
                DrawBand(instance, window);  // so that every later draw has one to undo
            }
            break;
        case WM_MOUSEMOVE:
            if (!instance.selecting) break;
            if (TextMode(instance)) {
                std::lock_guard lock(plugin.textLock);
                api.VSTextMouseMove(doc, position);
                return 0;
            }
            DrawBand(instance, window);
            instance.band.right = x;
            instance.band.bottom = y;
            DrawBand(instance, window);
            break;
        case WM_LBUTTONUP:
            if (instance.selecting) {
                if (TextMode(instance)) {
                    std::lock_guard lock(plugin.textLock);
                    api.VSTextLButtonUp(doc, position);
                } else {
                    DrawBand(instance, window);
                    instance.band.right = x;
                    instance.band.bottom = y;
                    DrawBand(instance, window);
                    Win_ReleaseCapture();
                    const RubberBand& b = instance.band;
                    if (b.right - b.left > 10 && b.bottom - b.top > 10)
                        api.VSSetClipArea(doc, b.left, b.top, b.right, b.bottom);
                }
            }
            instance.selecting = false;
            break;
        case WM_LBUTTONDBLCLK: {
            WinPoint first, second;
            api.VSGetClipArea(doc, &first, &second);
            const int px = x - static_cast<int16_t>(api.VSGetPageXPos(doc));
            const int py = y - static_cast<int16_t>(api.VSGetPageYPos(doc));
            const bool inside = px >= std::min(first.x, second.x) && px < std::max(first.x, second.x) &&
                                py >= std::min(first.y, second.y) && py < std::max(first.y, second.y);
            if (inside && api.VSScaleClipArea(doc) == 0) Repaint(instance);
            return 0;
        }
        default: break;
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

void Repaint(WoxPiInstance& instance) {
    if (instance.view != 0) Win_InvalidateRect(instance.view, nullptr, false);
}

intptr_t WoxPiViewWndProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    WoxPiInstance* instance = InstanceOf(window);
    if (instance == nullptr) return Win_DefWindowProc(window, message, wParam, lParam);
    switch (message) {
        case WM_PAINT: return Paint(*instance, window, wParam, lParam);
        case WM_ERASEBKGND:
            if (instance->stopShown) return 0;
            break;
        case WM_KILLFOCUS: instance->selecting = false; break;
        case WM_KEYDOWN: return KeyDown(*instance, window, wParam, lParam);
        case WM_COMMAND:
            if (WinHighWord(wParam) != 0) break;
            return ViewCommand(*instance, window, static_cast<uint32_t>(WinLowWord(wParam)), wParam, lParam);
        case WM_HSCROLL:
        case WM_VSCROLL: return Scroll(*instance, window, message, wParam, lParam);
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK: return Mouse(*instance, window, message, wParam, lParam);
        case WM_RBUTTONDOWN:
            if (instance->popup != 0) {
                WinPoint point{WinPointX(lParam), WinPointY(lParam)};
                Win_ClientToScreen(window, &point);
                Win_TrackPopupMenu(instance->popup, 0, point.x, point.y, window);
            }
            break;
        case kMsgSearchDone: ShowStop(*instance, false); break;
        case kMsgRepaint: Win_InvalidateRect(window, nullptr, false); break;
        case kMsgChangePage: RequestPageSegment(*instance, static_cast<int32_t>(wParam)); break;
        default: break;
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

}  // namespace afpview
