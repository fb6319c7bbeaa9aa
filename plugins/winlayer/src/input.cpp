// input.cpp - focus, capture and the routing of the user's mouse and keys.
#include <cstdlib>

#include "desktop_state.h"

WinHandle Win_SetFocus(WinHandle window) {
    Desktop& desktop = TheDesktop();
    if (window != 0 && FindWindow(window) == nullptr) return 0;
    WinHandle old = desktop.focus;
    if (old == window) return old;
    desktop.focus = window;
    if (old != 0) DeliverMessage(old, WM_KILLFOCUS, window, 0);
    // The new focus may have been moved again by WM_KILLFOCUS.
    if (window != 0 && desktop.focus == window) DeliverMessage(window, WM_SETFOCUS, old, 0);
    return old;
}

WinHandle Win_GetFocus() { return TheDesktop().focus; }

WinHandle Win_SetCapture(WinHandle window) {
    Desktop& desktop = TheDesktop();
    WinHandle old = desktop.capture;
    if (FindWindow(window) != nullptr) desktop.capture = window;
    return old;
}

bool Win_ReleaseCapture() {
    Desktop& desktop = TheDesktop();
    bool had = desktop.capture != 0;
    desktop.capture = 0;
    return had;
}

WinHandle Win_GetCapture() { return TheDesktop().capture; }

namespace {

bool Usable(const Window* window) {
    return window != nullptr && (window->style & WS_VISIBLE) && !(window->style & WS_DISABLED);
}

// The deepest usable window at (x, y), given in the client coordinates of parent.
WinHandle DeepestChild(const Window& parent, int x, int y) {
    if (!Contains(ClientRectOf(parent), x, y)) return parent.handle;
    for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
        const Window* child = FindWindow(*it);
        if (!Usable(child) || !Contains(child->rect, x, y)) continue;
        return DeepestChild(*child, x - child->rect.left, y - child->rect.top);
    }
    return parent.handle;
}

WinPoint PointIn(WinHandle topLevel, WinHandle target, int x, int y) {
    WinPoint point{x, y};
    Win_ClientToScreen(topLevel, &point);
    Win_ScreenToClient(target, &point);
    return point;
}

bool IsButtonDown(uint32_t message) {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_LBUTTONDBLCLK;
}

// WM_SETCURSOR to the window under the pointer, then up its parents until one answers.
void SetCursorChain(WinHandle under, uint32_t message) {
    for (WinHandle window = under; window != 0; window = Win_GetParent(window)) {
        if (DeliverMessage(window, WM_SETCURSOR, under, WinMakeLParam(1, static_cast<int>(message))) != 0)
            return;
    }
}

// A second left button down on the same window, soon and near, is a double click
// when the window's class asks for them.
uint32_t DoubleClickOrDown(WinHandle target, int x, int y) {
    Desktop& desktop = TheDesktop();
    uint64_t now = Win_TickCount();
    bool isDouble = !desktop.lastClickWasDouble && desktop.lastClickWindow == target &&
                    now - desktop.lastClickTime <= kDoubleClickMs &&
                    std::abs(x - desktop.lastClickPoint.x) <= kDoubleClickDistance &&
                    std::abs(y - desktop.lastClickPoint.y) <= kDoubleClickDistance;
    Window* window = FindWindow(target);
    bool wanted = window != nullptr && (window->windowClass->style & CS_DBLCLKS);
    desktop.lastClickWindow = target;
    desktop.lastClickTime = now;
    desktop.lastClickPoint = WinPoint{x, y};
    desktop.lastClickWasDouble = isDouble && wanted;
    return isDouble && wanted ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
}

}  // namespace

WinHandle Win_WindowFromPoint(WinHandle topLevel, int x, int y) {
    Window* top = FindWindow(topLevel);
    if (top == nullptr || top->parent != 0 || !Usable(top)) return 0;
    if (!Contains(WinRect{0, 0, top->rect.Width(), top->rect.Height()}, x, y)) return 0;
    return DeepestChild(*top, x, y);
}

void Win_InputMouse(WinHandle topLevel, uint32_t message, int x, int y, uint32_t keyFlags) {
    Desktop& desktop = TheDesktop();
    WinHandle capture = desktop.capture;
    if (capture != 0 && FindWindow(capture) != nullptr) {
        WinPoint point = PointIn(topLevel, capture, x, y);
        Window* window = FindWindow(capture);
        if (window->dragBar >= 0) {
            ScrollBarMouse(capture, window->dragBar, message, point.x, point.y);
            return;
        }
        DeliverMessage(capture, message, keyFlags, WinMakeLParam(point.x, point.y));
        return;
    }
    WinHandle target = Win_WindowFromPoint(topLevel, x, y);
    if (target == 0) return;
    WinPoint point = PointIn(topLevel, target, x, y);
    SetCursorChain(target, message);
    Window* window = FindWindow(target);
    if (window == nullptr) return;
    if (message == WM_LBUTTONDOWN) message = DoubleClickOrDown(target, point.x, point.y);
    if (IsButtonDown(message) && desktop.focus != target) Win_SetFocus(target);
    window = FindWindow(target);
    if (window == nullptr) return;
    // Scroll bars in the non-client area (the point is in client coordinates, which
    // start at the window's top-left).
    int bar = NonClientBarAt(*window, point.x, point.y);
    if (bar >= 0) {
        if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK)
            ScrollBarMouse(target, bar, WM_LBUTTONDOWN, point.x, point.y);
        return;
    }
    DeliverMessage(target, message, keyFlags, WinMakeLParam(point.x, point.y));
}

namespace {

// Keys that also give WM_CHAR, and the character.
uint32_t CharacterOfKey(int key) {
    switch (key) {
        case VK_BACK:
        case VK_TAB:
        case VK_RETURN:
        case VK_ESCAPE:
        case ' ': return static_cast<uint32_t>(key);
        default: break;
    }
    if (key >= '0' && key <= '9') return static_cast<uint32_t>(key);
    if (key >= 'A' && key <= 'Z') return static_cast<uint32_t>(key - 'A' + 'a');
    return 0;
}

}  // namespace

void Win_InputKey(int virtualKey) {
    if (PopupMenuKey(virtualKey)) return;
    WinHandle focus = TheDesktop().focus;
    if (focus == 0) return;
    WinHandle dialog = DialogOf(focus);
    if (dialog != 0 && DialogKey(dialog, virtualKey)) return;
    DeliverMessage(focus, WM_KEYDOWN, static_cast<uintptr_t>(virtualKey), 1);
    if (uint32_t ch = CharacterOfKey(virtualKey)) {
        if (FindWindow(focus) != nullptr) DeliverMessage(focus, WM_CHAR, ch, 1);
    }
}

void Win_InputText(std::string_view text) {
    if (PopupMenuTracking()) return;  // an open menu takes no text
    size_t offset = 0;
    while (offset < text.size()) {
        uint32_t cp = NextCodePoint(text, &offset);
        WinHandle focus = TheDesktop().focus;
        if (focus == 0) return;
        DeliverMessage(focus, WM_CHAR, cp, 1);
    }
}
