// scrolling.cpp - moving the pixels of a window's client area (Win_ScrollWindow).
#include <cairo.h>

#include <cstring>

#include "desktop_state.h"

namespace {

WinRect Offset(const WinRect& rect, int dx, int dy) {
    return WinRect{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

// Other visible windows drawn over area (surface coordinates): later siblings of
// the window and of its parents, and with a scroll rectangle its own children, which
// then stay where they are. Moving such pixels would smear them.
std::vector<WinHandle> WindowsOver(const Window& window, const WinRect& area, bool childrenStay) {
    std::vector<WinHandle> over;
    auto check = [&area, &over](const Window& parent, WinHandle handle) {
        const Window* other = FindWindow(handle);
        if (other == nullptr || (other->style & WS_VISIBLE) == 0) return;
        WinPoint origin = ClientOriginInSurface(parent);
        if (!IsEmpty(Intersect(Offset(other->rect, origin.x, origin.y), area))) over.push_back(handle);
    };
    if (childrenStay) {
        for (WinHandle child : window.children) check(window, child);
    }
    const Window* current = &window;
    while (current->parent != 0) {
        const Window* parent = FindWindow(current->parent);
        if (parent == nullptr) break;
        bool later = false;
        for (WinHandle sibling : parent->children) {
            if (later) check(*parent, sibling);
            later = later || sibling == current->handle;
        }
        current = parent;
    }
    return over;
}

// Copies the pixels that land in to (surface coordinates) from dx, dy away.
bool MovePixels(cairo_surface_t* surface, const WinRect& to, int dx, int dy) {
    if (surface == nullptr || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return false;
    cairo_format_t format = cairo_image_surface_get_format(surface);
    if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return false;
    WinRect bounds{0, 0, cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface)};
    // Both places lie wholly on the surface (client areas always do).
    auto onSurface = [&bounds](const WinRect& r) {
        return !IsEmpty(r) && r.left >= 0 && r.top >= 0 && r.right <= bounds.right &&
               r.bottom <= bounds.bottom;
    };
    if (!onSurface(to) || !onSurface(Offset(to, -dx, -dy))) return false;
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const size_t bytes = static_cast<size_t>(to.Width()) * 4;
    auto row = [&](int y) {
        std::memmove(
            data + static_cast<ptrdiff_t>(y) * stride + static_cast<ptrdiff_t>(to.left) * 4,
            data + static_cast<ptrdiff_t>(y - dy) * stride + static_cast<ptrdiff_t>(to.left - dx) * 4, bytes);
    };
    // Rows moving down are copied from the bottom up, so no source row is overwritten first.
    if (dy > 0) {
        for (int y = to.bottom - 1; y >= to.top; --y) row(y);
    } else {
        for (int y = to.top; y < to.bottom; ++y) row(y);
    }
    cairo_surface_mark_dirty_rectangle(surface, to.left, to.top, to.Width(), to.Height());
    return true;
}

void MoveChildren(WinHandle handle, int dx, int dy) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    std::vector<WinHandle> children = window->children;
    for (WinHandle child : children) {
        Window* c = FindWindow(child);
        if (c == nullptr) continue;
        c->rect = Offset(c->rect, dx, dy);
        RetargetOwnDcs(child);
        DeliverMessage(child, WM_MOVE, 0, WinMakeLParam(c->rect.left, c->rect.top));
    }
}

}  // namespace

bool Win_ScrollWindow(WinHandle handle, int dx, int dy, const WinRect* scroll, const WinRect* clip) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return false;
    if (dx == 0 && dy == 0) return true;
    const WinRect client = ClientRectOf(*window);
    const WinRect area = Intersect(scroll != nullptr ? *scroll : client, client);
    const WinRect affected = clip != nullptr ? Intersect(area, *clip) : area;
    const WinPoint origin = ClientOriginInSurface(*window);
    const WinRect visible = Offset(ClientClipInSurface(*window), -origin.x, -origin.y);

    // What keeps its pixels: inside the affected part, coming from the visible part
    // of the scrolled area.
    WinRect copied = Intersect(Intersect(affected, visible), Offset(Intersect(area, visible), dx, dy));
    Window* top = FindWindow(TopLevelOf(handle));
    bool moved = false;
    std::vector<WinHandle> over;
    if (!IsEmpty(copied) && top != nullptr && Win_IsWindowVisible(handle)) {
        WinRect surfaceTo = Offset(copied, origin.x, origin.y);
        WinRect surfaceFrom = Offset(surfaceTo, -dx, -dy);
        over = WindowsOver(*window, Union(surfaceTo, surfaceFrom), scroll != nullptr);
        moved = over.empty() && MovePixels(top->surface, surfaceTo, dx, dy);
    }
    if (!moved) copied = WinRect{};

    // Stale pixels waiting for a paint moved too: the pending area goes with them.
    if (window->invalid)
        window->update = Union(window->update, Intersect(Offset(window->update, dx, dy), client));
    if (scroll == nullptr) MoveChildren(handle, dx, dy);
    if (FindWindow(handle) == nullptr) return true;

    if (IsEmpty(copied)) {
        if (!IsEmpty(affected)) InvalidateWithChildren(handle, affected, true);
        // Windows lying over the area are painted again after it, so they stay on top.
        for (WinHandle other : over) {
            if (Window* o = FindWindow(other)) {
                o->nonClientDirty = true;
                InvalidateWithChildren(other, ClientRectOf(*o), true);
            }
        }
        return true;
    }
    // The uncovered strips around what was copied.
    const WinRect strips[] = {
        {affected.left, affected.top, affected.right, copied.top},
        {affected.left, copied.bottom, affected.right, affected.bottom},
        {affected.left, copied.top, copied.left, copied.bottom},
        {copied.right, copied.top, affected.right, copied.bottom},
    };
    for (const WinRect& strip : strips) {
        if (!IsEmpty(strip)) InvalidateWithChildren(handle, strip, true);
    }
    return true;
}
