// scroll_bars.cpp - window scroll bars (non-client) and the scroll-bar and
// track-bar controls' ranges: state, geometry, drawing, clicks.
#include <algorithm>

#include "desktop_state.h"

namespace {

bool IsScrollControl(const Window& window) {
    return IsControlClass(window, "SCROLLBAR") || IsControlClass(window, "TRACKBAR");
}

ScrollState* StateOf(WinHandle handle, int bar) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return nullptr;
    if (bar == SB_HORZ || bar == SB_VERT) return &window->bars[static_cast<size_t>(bar)];
    if (bar == SB_CTL && IsScrollControl(*window)) return &window->bars[SB_CTL];
    return nullptr;
}

// A window bar shown or hidden: the client area changes size.
void SetBarShown(WinHandle handle, int bar, bool show) {
    Window* window = FindWindow(handle);
    ScrollState& state = window->bars[static_cast<size_t>(bar)];
    if (state.shown == show) return;
    state.shown = show;
    window->style = show ? window->style | (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL)
                         : window->style & ~(bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL);
    RetargetOwnDcs(handle);
    window->nonClientDirty = true;
    InvalidateWithChildren(handle, ClientRectOf(*window), true);
    if (window->style & WS_VISIBLE) {
        WinRect client = ClientRectOf(*window);
        window->sized = true;
        DeliverMessage(handle, WM_SIZE, 0, WinMakeLParam(client.right, client.bottom));
    }
}

void Redraw(WinHandle handle, int bar) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    if (bar == SB_CTL) {
        Win_InvalidateRect(handle, nullptr, true);
    } else {
        window->nonClientDirty = true;
    }
}

}  // namespace

bool Win_SetScrollRange(WinHandle window, int bar, int minimum, int maximum, bool redraw) {
    ScrollState* state = StateOf(window, bar);
    if (state == nullptr || maximum < minimum) return false;
    state->minimum = minimum;
    state->maximum = maximum;
    state->position = std::clamp(state->position, minimum, maximum);
    // An empty range hides a window bar, any other shows it.
    if (bar != SB_CTL) SetBarShown(window, bar, maximum > minimum);
    if (redraw) Redraw(window, bar);
    return true;
}

bool Win_GetScrollRange(WinHandle window, int bar, int* minimum, int* maximum) {
    ScrollState* state = StateOf(window, bar);
    if (state == nullptr) return false;
    if (minimum != nullptr) *minimum = state->minimum;
    if (maximum != nullptr) *maximum = state->maximum;
    return true;
}

int Win_SetScrollPos(WinHandle window, int bar, int position, bool redraw) {
    ScrollState* state = StateOf(window, bar);
    if (state == nullptr) return 0;
    int old = state->position;
    state->position = std::clamp(position, state->minimum, state->maximum);
    if (redraw && old != state->position) Redraw(window, bar);
    return old;
}

int Win_GetScrollPos(WinHandle window, int bar) {
    ScrollState* state = StateOf(window, bar);
    return state == nullptr ? 0 : state->position;
}

bool Win_ShowScrollBar(WinHandle window, int bar, bool show) {
    Window* record = FindWindow(window);
    if (record == nullptr) return false;
    if (bar == SB_CTL)
        return IsScrollControl(*record) && (Win_ShowWindow(window, show ? SW_SHOW : SW_HIDE), true);
    if (bar != SB_HORZ && bar != SB_VERT && bar != SB_BOTH) return false;
    if (bar == SB_HORZ || bar == SB_BOTH) SetBarShown(window, SB_HORZ, show);
    if ((bar == SB_VERT || bar == SB_BOTH) && FindWindow(window) != nullptr)
        SetBarShown(window, SB_VERT, show);
    return true;
}

bool Win_IsScrollBarShown(WinHandle window, int bar) {
    Window* record = FindWindow(window);
    if (record == nullptr) return false;
    if (bar == SB_HORZ || bar == SB_VERT) return record->bars[static_cast<size_t>(bar)].shown;
    if (bar == SB_CTL) return IsScrollControl(*record) && (record->style & WS_VISIBLE);
    return false;
}

// ---------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------

namespace {

BarGeometry Layout(const WinRect& bar, bool vertical, const ScrollState& state) {
    BarGeometry g;
    g.bar = bar;
    g.vertical = vertical;
    int length = vertical ? bar.Height() : bar.Width();
    int arrow = std::min(kScrollBarSize, length / 2);
    int track = std::max(length - 2 * arrow, 0);
    int thumb = std::min(kScrollBarSize, track);
    int range = state.maximum - state.minimum;
    int offset =
        range > 0
            ? static_cast<int>(static_cast<int64_t>(state.position - state.minimum) * (track - thumb) / range)
            : 0;
    if (vertical) {
        g.lessArrow = WinRect{bar.left, bar.top, bar.right, bar.top + arrow};
        g.moreArrow = WinRect{bar.left, bar.bottom - arrow, bar.right, bar.bottom};
        g.thumb = WinRect{bar.left, bar.top + arrow + offset, bar.right, bar.top + arrow + offset + thumb};
    } else {
        g.lessArrow = WinRect{bar.left, bar.top, bar.left + arrow, bar.bottom};
        g.moreArrow = WinRect{bar.right - arrow, bar.top, bar.right, bar.bottom};
        g.thumb = WinRect{bar.left + arrow + offset, bar.top, bar.left + arrow + offset + thumb, bar.bottom};
    }
    return g;
}

}  // namespace

BarGeometry WindowBarGeometry(const Window& window, int bar) {
    int width = window.rect.Width();
    int height = window.rect.Height();
    bool both = window.bars[SB_HORZ].shown && window.bars[SB_VERT].shown;
    if (bar == SB_VERT) {
        WinRect r{width - kScrollBarSize, 0, width, height - (both ? kScrollBarSize : 0)};
        return Layout(r, true, window.bars[SB_VERT]);
    }
    WinRect r{0, height - kScrollBarSize, width - (both ? kScrollBarSize : 0), height};
    return Layout(r, false, window.bars[SB_HORZ]);
}

BarGeometry ControlBarGeometry(const Window& window) {
    bool vertical = (window.style & SBS_VERT) != 0;
    return Layout(ClientRectOf(window), vertical, window.bars[SB_CTL]);
}

int NonClientBarAt(const Window& window, int x, int y) {
    for (int bar : {SB_VERT, SB_HORZ}) {
        if (window.bars[static_cast<size_t>(bar)].shown && Contains(WindowBarGeometry(window, bar).bar, x, y))
            return bar;
    }
    return -1;
}

int BarPositionFromPoint(const BarGeometry& g, const ScrollState& state, int x, int y) {
    int start = g.vertical ? g.lessArrow.bottom : g.lessArrow.right;
    int end = g.vertical ? g.moreArrow.top : g.moreArrow.left;
    int thumb = g.vertical ? g.thumb.Height() : g.thumb.Width();
    int span = end - start - thumb;
    if (span <= 0) return state.minimum;
    int along = (g.vertical ? y : x) - start - thumb / 2;
    int64_t range = state.maximum - state.minimum;
    int position = state.minimum + static_cast<int>(range * std::clamp(along, 0, span) / span);
    return std::clamp(position, state.minimum, state.maximum);
}

void DrawBar(WinDC* dc, const BarGeometry& g, bool enabled) {
    Win_FillSolid(dc, g.bar, WinRgb(225, 225, 225));
    WinColor mark = enabled ? kTextColor : kGrayTextColor;
    for (const WinRect* arrow : {&g.lessArrow, &g.moreArrow}) {
        Win_FillSolid(dc, *arrow, kFaceColor);
        DrawFrame(dc, *arrow, kFrameColor);
    }
    DrawTextCentered(dc, g.lessArrow, g.vertical ? "^" : "<", mark);
    DrawTextCentered(dc, g.moreArrow, g.vertical ? "v" : ">", mark);
    if (enabled && !IsEmpty(g.thumb)) {
        Win_FillSolid(dc, g.thumb, WinRgb(190, 190, 190));
        DrawFrame(dc, g.thumb, kFrameColor);
    }
}

void DrawNonClient(Window& window) {
    bool horizontal = window.bars[SB_HORZ].shown;
    bool vertical = window.bars[SB_VERT].shown;
    if (!horizontal && !vertical) return;
    Window* top = FindWindow(TopLevelOf(window.handle));
    if (top == nullptr || top->surface == nullptr) return;
    WinPoint origin = ClientOriginInSurface(window);
    WinRect whole{origin.x, origin.y, origin.x + window.rect.Width(), origin.y + window.rect.Height()};
    if (Window* parent = FindWindow(window.parent)) whole = Intersect(whole, ClientClipInSurface(*parent));
    WinDC* dc = Dc_CreateForSurface(top->surface, origin.x, origin.y, whole);
    if (dc == nullptr) return;
    bool enabled = (window.style & WS_DISABLED) == 0;
    if (vertical) DrawBar(dc, WindowBarGeometry(window, SB_VERT), enabled);
    if (horizontal) DrawBar(dc, WindowBarGeometry(window, SB_HORZ), enabled);
    if (horizontal && vertical) {
        int w = window.rect.Width(), h = window.rect.Height();
        Win_FillSolid(dc, WinRect{w - kScrollBarSize, h - kScrollBarSize, w, h}, kFaceColor);
    }
    Win_DeleteDC(dc);
}

// ---------------------------------------------------------------------------
// Clicks
// ---------------------------------------------------------------------------

namespace {

void SendScroll(WinHandle handle, int bar, int request, int position) {
    if (bar == SB_CTL) {
        Win_ScrollControl(handle, request, position);
        return;
    }
    DeliverMessage(handle, bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL,
                   static_cast<uintptr_t>(WinMakeLParam(request, position)) & 0xFFFFFFFFu, 0);
}

}  // namespace

void ScrollBarMouse(WinHandle handle, int bar, uint32_t message, int x, int y) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    const ScrollState state = window->bars[static_cast<size_t>(bar)];
    BarGeometry g = bar == SB_CTL ? ControlBarGeometry(*window) : WindowBarGeometry(*window, bar);
    if (window->dragBar == bar) {
        int position = BarPositionFromPoint(g, state, x, y);
        if (message == WM_MOUSEMOVE) {
            SendScroll(handle, bar, SB_THUMBTRACK, position);
        } else if (message == WM_LBUTTONUP) {
            window->dragBar = -1;
            Win_ReleaseCapture();
            SendScroll(handle, bar, SB_THUMBPOSITION, position);
            SendScroll(handle, bar, SB_ENDSCROLL, 0);
        }
        return;
    }
    if (message != WM_LBUTTONDOWN || (window->style & WS_DISABLED) || state.maximum <= state.minimum) return;
    int request;
    if (Contains(g.lessArrow, x, y)) {
        request = SB_LINEUP;
    } else if (Contains(g.moreArrow, x, y)) {
        request = SB_LINEDOWN;
    } else if (Contains(g.thumb, x, y)) {
        window->dragBar = bar;
        Win_SetCapture(handle);
        return;
    } else {
        bool before = g.vertical ? y < g.thumb.top : x < g.thumb.left;
        request = before ? SB_PAGEUP : SB_PAGEDOWN;
    }
    SendScroll(handle, bar, request, state.position);
    SendScroll(handle, bar, SB_ENDSCROLL, 0);
}
