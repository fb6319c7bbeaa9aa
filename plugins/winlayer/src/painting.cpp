// painting.cpp - invalid areas, WM_PAINT and WM_ERASEBKGND, drawing contexts of
// windows, surfaces of top-level windows.
#include <algorithm>

#include "desktop_state.h"

void RecreateSurface(Window& window) {
    Desktop& desktop = TheDesktop();
    if (!desktop.backend) return;
    if (window.surface != nullptr) desktop.backend->DestroySurface(window.handle);
    window.surface = desktop.backend->CreateSurface(window.handle, std::max(window.rect.Width(), 1),
                                                    std::max(window.rect.Height(), 1));
    PlaceTopLevel(window);
}

void PlaceTopLevel(const Window& window) {
    Desktop& desktop = TheDesktop();
    if (!desktop.backend || window.parent != 0 || window.surface == nullptr) return;
    desktop.backend->Place(window.handle, window.rect, window.style, (window.style & WS_VISIBLE) != 0);
}

void RetargetOwnDcs(WinHandle handle) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    if (window->ownDc != nullptr) {
        Window* top = FindWindow(TopLevelOf(handle));
        WinPoint origin = ClientOriginInSurface(*window);
        Dc_Retarget(window->ownDc, top->surface, origin.x, origin.y, ClientClipInSurface(*window));
    }
    for (WinHandle child : window->children) RetargetOwnDcs(child);
}

// The part of rect (in the window's client coordinates) that concerns the window's
// children too: parents paint first and children over them, so a repaint of a parent
// area repaints the children on it.
void InvalidateWithChildren(WinHandle handle, const WinRect& rect, bool erase) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    WinRect area = Intersect(rect, ClientRectOf(*window));
    if (IsEmpty(area)) return;
    window->update = window->invalid ? Union(window->update, area) : area;
    window->invalid = true;
    window->erase = window->erase || erase;
    for (WinHandle child : window->children) {
        Window* c = FindWindow(child);
        if (c == nullptr || (c->style & WS_VISIBLE) == 0) continue;
        WinRect inChild{area.left - c->rect.left, area.top - c->rect.top, area.right - c->rect.left,
                        area.bottom - c->rect.top};
        if (!IsEmpty(Intersect(inChild, WinRect{0, 0, c->rect.Width(), c->rect.Height()}))) {
            c->nonClientDirty = true;
            InvalidateWithChildren(child, inChild, true);
        }
    }
}

void InvalidateParentArea(const Window& window) {
    if (window.parent == 0) return;
    InvalidateWithChildren(window.parent, window.rect, true);
}

bool Win_InvalidateRect(WinHandle handle, const WinRect* rect, bool erase) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return false;
    InvalidateWithChildren(handle, rect == nullptr ? ClientRectOf(*window) : *rect, erase);
    return true;
}

bool Win_GetUpdateRect(WinHandle handle, WinRect* rect) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return false;
    if (rect != nullptr) *rect = window->invalid ? window->update : WinRect{};
    return window->invalid;
}

namespace {

WinDC* ContextFor(Window& window, const WinRect& clientClip) {
    Window* top = FindWindow(TopLevelOf(window.handle));
    if (top == nullptr || top->surface == nullptr) return nullptr;
    WinPoint origin = ClientOriginInSurface(window);
    WinRect clip = ClientClipInSurface(window);
    clip = Intersect(clip, WinRect{origin.x + clientClip.left, origin.y + clientClip.top,
                                   origin.x + clientClip.right, origin.y + clientClip.bottom});
    if (window.ownDc != nullptr) {
        Dc_Retarget(window.ownDc, top->surface, origin.x, origin.y, clip);
        return window.ownDc;
    }
    WinDC* dc = Dc_CreateForSurface(top->surface, origin.x, origin.y, clip);
    if (dc != nullptr) TheDesktop().lentDcs.insert(dc);
    return dc;
}

void GiveBack(Window* window, WinDC* dc) {
    if (dc == nullptr || (window != nullptr && dc == window->ownDc)) return;
    Desktop& desktop = TheDesktop();
    if (desktop.lentDcs.erase(dc) != 0) Win_DeleteDC(dc);
}

}  // namespace

WinDC* Win_BeginPaint(WinHandle handle, WinPaint* paint) {
    Window* window = FindWindow(handle);
    if (window == nullptr || paint == nullptr) return nullptr;
    window->beganPaint = true;
    paint->area = window->invalid ? window->update : WinRect{};
    bool erase = window->invalid && window->erase;
    window->invalid = false;
    window->erase = false;
    paint->dc = ContextFor(*window, paint->area);
    paint->erase = false;
    if (erase && paint->dc != nullptr) {
        paint->erase = DeliverMessage(handle, WM_ERASEBKGND, reinterpret_cast<uintptr_t>(paint->dc), 0) == 0;
    }
    return paint->dc;
}

void Win_EndPaint(WinHandle handle, WinPaint* paint) {
    if (paint == nullptr) return;
    GiveBack(FindWindow(handle), paint->dc);
    paint->dc = nullptr;
}

WinDC* Win_GetDC(WinHandle handle) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return nullptr;
    return ContextFor(*window, ClientRectOf(*window));
}

void Win_ReleaseDC(WinHandle handle, WinDC* dc) { GiveBack(FindWindow(handle), dc); }

namespace {

void LogPaint(WinHandle handle) {
    if (!TheDesktop().sink) return;
    Window* window = FindWindow(handle);
    std::string fields = "\"window\":" + std::to_string(handle);
    if (window != nullptr) fields += ",\"class\":" + Win_JsonString(window->windowClass->name);
    fields += ",\"message\":" + std::to_string(WM_PAINT) + ",\"name\":\"WM_PAINT\"";
    LogEventFields("message", fields);
}

void PaintOne(WinHandle handle) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    if (window->nonClientDirty) {
        window->nonClientDirty = false;
        DrawNonClient(*window);
    }
    if (window->invalid) {
        window->beganPaint = false;
        LogPaint(handle);
        window->procedure(handle, WM_PAINT, 0, 0);
        // A procedure that never begins painting would be asked forever.
        window = FindWindow(handle);
        if (window != nullptr && !window->beganPaint) {
            window->invalid = false;
            window->erase = false;
        }
    }
}

void CollectVisible(WinHandle handle, std::vector<WinHandle>* order) {
    Window* window = FindWindow(handle);
    if (window == nullptr || (window->style & WS_VISIBLE) == 0) return;
    order->push_back(handle);
    for (WinHandle child : window->children) CollectVisible(child, order);
}

bool NeedsPaint(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window != nullptr && (window->invalid || window->nonClientDirty);
}

bool UpdateTree(WinHandle top) {
    std::vector<WinHandle> order;
    CollectVisible(top, &order);
    bool painted = false;
    for (WinHandle handle : order) {
        if (!NeedsPaint(handle) || !Win_IsWindowVisible(handle)) continue;
        PaintOne(handle);
        painted = true;
    }
    return painted;
}

}  // namespace

void PaintPending() {
    Desktop& desktop = TheDesktop();
    std::vector<WinHandle> tops = desktop.topLevels;
    for (WinHandle top : tops) {
        // Painting may invalidate again (a control that redraws on focus): a few rounds.
        bool painted = false;
        for (int round = 0; round < 4 && UpdateTree(top); ++round) painted = true;
        if (painted && desktop.backend && FindWindow(top) != nullptr) desktop.backend->Present(top);
    }
}

bool Win_UpdateWindow(WinHandle handle) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return false;
    if (!Win_IsWindowVisible(handle)) return true;
    if (NeedsPaint(handle)) {
        PaintOne(handle);
        WinHandle top = TopLevelOf(handle);
        if (TheDesktop().backend && top != 0) TheDesktop().backend->Present(top);
    }
    return true;
}

// ---------------------------------------------------------------------------
// The plain look
// ---------------------------------------------------------------------------

void DrawFrame(WinDC* dc, const WinRect& r, WinColor color) {
    Win_FillSolid(dc, WinRect{r.left, r.top, r.right, r.top + 1}, color);
    Win_FillSolid(dc, WinRect{r.left, r.bottom - 1, r.right, r.bottom}, color);
    Win_FillSolid(dc, WinRect{r.left, r.top, r.left + 1, r.bottom}, color);
    Win_FillSolid(dc, WinRect{r.right - 1, r.top, r.right, r.bottom}, color);
}

void DrawTextAt(WinDC* dc, int x, int y, std::string_view text, WinColor color) {
    Win_SetBkMode(dc, TRANSPARENT);
    Win_SetTextColor(dc, color);
    Win_TextOut(dc, x, y, text);
}

void DrawTextCentered(WinDC* dc, const WinRect& rect, std::string_view text, WinColor color) {
    int width = 0, height = 0;
    Win_GetTextExtent(dc, text, &width, &height);
    DrawTextAt(dc, rect.left + (rect.Width() - width) / 2, rect.top + (rect.Height() - height) / 2, text,
               color);
}
