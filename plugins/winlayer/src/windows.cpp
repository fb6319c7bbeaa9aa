// windows.cpp - window classes and the window tree: creation, destruction,
// geometry, visibility, enable state, text, window words, procedures, properties.
#include <algorithm>

#include "desktop_state.h"

bool Win_RegisterClass(const WinClass& windowClass) {
    Desktop& desktop = TheDesktop();
    if (windowClass.name.empty() || windowClass.procedure == nullptr || windowClass.extraBytes < 0)
        return false;
    if (desktop.classes.count(windowClass.name) != 0) return false;
    desktop.classes[windowClass.name] = std::make_shared<const WinClass>(windowClass);
    return true;
}

bool Win_UnregisterClass(const std::string& name) {
    // Windows of the class keep their copy of the record.
    return TheDesktop().classes.erase(name) != 0;
}

namespace {

void SetLive(WinHandle handle, bool live) {
    Desktop& desktop = TheDesktop();
    std::lock_guard<std::mutex> lock(desktop.queueMutex);
    if (live) {
        desktop.liveHandles.insert(handle);
    } else {
        desktop.liveHandles.erase(handle);
    }
}

bool InSubtree(WinHandle candidate, WinHandle root) {
    for (Window* window = FindWindow(candidate); window != nullptr; window = FindWindow(window->parent)) {
        if (window->handle == root) return true;
    }
    return false;
}

void SendSize(WinHandle handle) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    window->sized = true;
    WinRect client = ClientRectOf(*window);
    DeliverMessage(handle, WM_SIZE, 0, WinMakeLParam(client.right, client.bottom));
}

}  // namespace

WinHandle Win_CreateWindow(const std::string& className, const std::string& title, uint32_t style, int x,
                           int y, int width, int height, WinHandle parent, uint32_t id, void* createParam) {
    Desktop& desktop = TheDesktop();
    if (!desktop.initialized) return 0;
    auto classIt = desktop.classes.find(className);
    if (classIt == desktop.classes.end()) return 0;
    if (parent != 0 && FindWindow(parent) == nullptr) return 0;
    if (parent == 0) style &= ~WS_CHILD;

    auto window = std::make_unique<Window>();
    WinHandle handle = desktop.nextHandle++;
    window->handle = handle;
    window->windowClass = classIt->second;
    window->procedure = classIt->second->procedure;
    window->text = title;
    window->style = style;
    window->id = id;
    window->parent = parent;
    window->rect = WinRect{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    window->words.assign(static_cast<size_t>(classIt->second->extraBytes + 3) / 4, 0);
    window->bars[SB_VERT].shown = (style & WS_VSCROLL) != 0;
    window->bars[SB_HORZ].shown = (style & WS_HSCROLL) != 0;
    Window* record = window.get();
    desktop.windows[handle] = std::move(window);
    SetLive(handle, true);
    if (parent == 0) {
        desktop.topLevels.push_back(handle);
        RecreateSurface(*record);
    } else {
        FindWindow(parent)->children.push_back(handle);
    }
    if (classIt->second->style & CS_OWNDC) {
        WinPoint origin = ClientOriginInSurface(*record);
        Window* top = FindWindow(TopLevelOf(handle));
        record->ownDc = Dc_CreateForSurface(top->surface, origin.x, origin.y, ClientClipInSurface(*record));
    }

    if (DeliverMessage(handle, WM_CREATE, 0, reinterpret_cast<intptr_t>(createParam)) == -1) {
        Win_DestroyWindow(handle);
        return 0;
    }
    record = FindWindow(handle);
    if (record == nullptr) return 0;
    if (record->style & WS_VISIBLE) {
        SendSize(handle);
        DeliverMessage(handle, WM_SHOWWINDOW, 1, 0);
        if (Window* shown = FindWindow(handle)) {
            InvalidateWithChildren(handle, ClientRectOf(*shown), true);
            shown->nonClientDirty = true;
        }
    }
    return FindWindow(handle) != nullptr ? handle : 0;
}

namespace {

void DestroyTree(WinHandle handle) {
    Desktop& desktop = TheDesktop();
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    window->destroying = true;
    std::vector<WinHandle> children = window->children;
    for (WinHandle child : children) DestroyTree(child);

    DeliverMessage(handle, WM_DESTROY, 0, 0);
    window = FindWindow(handle);
    if (window == nullptr) return;
    if (desktop.focus == handle) desktop.focus = 0;
    if (desktop.capture == handle) desktop.capture = 0;
    if (desktop.lastClickWindow == handle) desktop.lastClickWindow = 0;
    ForgetTimers(handle);
    if (window->ownDc != nullptr) Win_DeleteDC(window->ownDc);
    if (window->parent == 0) {
        if (desktop.backend) desktop.backend->DestroySurface(handle);
        auto& tops = desktop.topLevels;
        tops.erase(std::remove(tops.begin(), tops.end(), handle), tops.end());
    } else if (Window* parent = FindWindow(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
    }
    SetLive(handle, false);
    desktop.windows.erase(handle);
}

}  // namespace

bool Win_DestroyWindow(WinHandle handle) {
    Desktop& desktop = TheDesktop();
    Window* window = FindWindow(handle);
    if (window == nullptr || window->destroying) return false;
    // The focus leaves first, while its window still answers.
    if (desktop.focus != 0 && InSubtree(desktop.focus, handle)) {
        WinHandle old = desktop.focus;
        desktop.focus = 0;
        DeliverMessage(old, WM_KILLFOCUS, 0, 0);
    }
    if (desktop.capture != 0 && InSubtree(desktop.capture, handle)) desktop.capture = 0;
    window = FindWindow(handle);
    if (window == nullptr) return true;
    if (window->parent != 0 && (window->style & WS_VISIBLE)) InvalidateParentArea(*window);
    DestroyTree(handle);
    return true;
}

bool Win_IsWindow(WinHandle window) { return FindWindow(window) != nullptr; }

WinHandle Win_GetParent(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window == nullptr ? 0 : window->parent;
}

std::vector<WinHandle> Win_GetChildren(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window == nullptr ? std::vector<WinHandle>{} : window->children;
}

uint32_t Win_GetStyle(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window == nullptr ? 0 : window->style;
}

uint32_t Win_GetControlId(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window == nullptr ? 0 : window->id;
}

std::string Win_GetClassName(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window == nullptr ? std::string() : window->windowClass->name;
}

// ---------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------

bool Win_MoveWindow(WinHandle handle, int x, int y, int width, int height, bool repaint) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return false;
    WinRect old = window->rect;
    WinRect now{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    if (old.left == now.left && old.top == now.top && old.right == now.right && old.bottom == now.bottom)
        return true;
    bool visible = (window->style & WS_VISIBLE) != 0;
    if (visible && window->parent != 0) InvalidateParentArea(*window);
    window->rect = now;
    bool resized = old.Width() != now.Width() || old.Height() != now.Height();
    if (resized && window->parent == 0) RecreateSurface(*window);
    if (!resized && window->parent == 0) PlaceTopLevel(*window);
    RetargetOwnDcs(handle);
    if (visible && window->parent != 0) InvalidateParentArea(*window);
    if (old.left != now.left || old.top != now.top) DeliverMessage(handle, WM_MOVE, 0, WinMakeLParam(x, y));
    if (resized) SendSize(handle);
    window = FindWindow(handle);
    if (window != nullptr && (repaint || window->parent == 0)) {
        InvalidateWithChildren(handle, ClientRectOf(*window), true);
        window->nonClientDirty = true;
    }
    return true;
}

void TopLevelMovedOnScreen(WinHandle handle, int x, int y) {
    Window* window = FindWindow(handle);
    if (window == nullptr || window->parent != 0) return;
    if (window->rect.left == x && window->rect.top == y) return;
    window->rect = WinRect{x, y, x + window->rect.Width(), y + window->rect.Height()};
    DeliverMessage(handle, WM_MOVE, 0, WinMakeLParam(x, y));
}

bool Win_GetWindowRect(WinHandle handle, WinRect* rect) {
    Window* window = FindWindow(handle);
    if (window == nullptr || rect == nullptr) return false;
    *rect = window->rect;
    return true;
}

bool Win_GetClientRect(WinHandle handle, WinRect* rect) {
    Window* window = FindWindow(handle);
    if (window == nullptr || rect == nullptr) return false;
    *rect = ClientRectOf(*window);
    return true;
}

namespace {

// The client area's top-left in screen coordinates.
WinPoint ScreenOrigin(const Window& window) {
    WinPoint origin{window.rect.left, window.rect.top};
    for (const Window* parent = FindWindow(window.parent); parent != nullptr;
         parent = FindWindow(parent->parent)) {
        origin.x += parent->rect.left;
        origin.y += parent->rect.top;
    }
    return origin;
}

}  // namespace

bool Win_ClientToScreen(WinHandle handle, WinPoint* point) {
    Window* window = FindWindow(handle);
    if (window == nullptr || point == nullptr) return false;
    WinPoint origin = ScreenOrigin(*window);
    point->x += origin.x;
    point->y += origin.y;
    return true;
}

bool Win_ScreenToClient(WinHandle handle, WinPoint* point) {
    Window* window = FindWindow(handle);
    if (window == nullptr || point == nullptr) return false;
    WinPoint origin = ScreenOrigin(*window);
    point->x -= origin.x;
    point->y -= origin.y;
    return true;
}

// ---------------------------------------------------------------------------
// Visibility, enable state, text
// ---------------------------------------------------------------------------

bool Win_ShowWindow(WinHandle handle, int command) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return false;
    bool was = (window->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE;
    if (was == show) return was;
    if (show) {
        window->style |= WS_VISIBLE;
        if (!window->sized) SendSize(handle);
    } else {
        window->style &= ~WS_VISIBLE;
    }
    DeliverMessage(handle, WM_SHOWWINDOW, show ? 1 : 0, 0);
    window = FindWindow(handle);
    if (window == nullptr) return was;
    PlaceTopLevel(*window);
    if (window->parent != 0) InvalidateParentArea(*window);
    if (show) {
        InvalidateWithChildren(handle, ClientRectOf(*window), true);
        window->nonClientDirty = true;
    }
    return was;
}

bool Win_IsWindowVisible(WinHandle handle) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return false;
    for (; window != nullptr; window = FindWindow(window->parent)) {
        if ((window->style & WS_VISIBLE) == 0) return false;
    }
    return true;
}

bool Win_EnableWindow(WinHandle handle, bool enable) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return false;
    bool wasDisabled = (window->style & WS_DISABLED) != 0;
    if (wasDisabled != enable) return wasDisabled;
    if (enable) {
        window->style &= ~WS_DISABLED;
    } else {
        window->style |= WS_DISABLED;
    }
    DeliverMessage(handle, WM_ENABLE, enable ? 1 : 0, 0);
    if (Window* changed = FindWindow(handle)) InvalidateWithChildren(handle, ClientRectOf(*changed), true);
    return wasDisabled;
}

bool Win_IsWindowEnabled(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window != nullptr && (window->style & WS_DISABLED) == 0;
}

bool Win_SetWindowText(WinHandle handle, std::string_view text) {
    if (FindWindow(handle) == nullptr) return false;
    std::string copy(text);
    return DeliverMessage(handle, WM_SETTEXT, 0, reinterpret_cast<intptr_t>(copy.c_str())) != 0;
}

std::string Win_GetWindowText(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window == nullptr ? std::string() : window->text;
}

// ---------------------------------------------------------------------------
// Window words, procedures, properties
// ---------------------------------------------------------------------------

namespace {

intptr_t* WordSlot(WinHandle handle, int index) {
    Window* window = FindWindow(handle);
    if (window == nullptr || index < 0 || index % 4 != 0) return nullptr;
    size_t slot = static_cast<size_t>(index / 4);
    if (index + 4 > window->windowClass->extraBytes || slot >= window->words.size()) return nullptr;
    return &window->words[slot];
}

}  // namespace

intptr_t Win_SetWindowWord(WinHandle handle, int index, intptr_t value) {
    intptr_t* slot = WordSlot(handle, index);
    if (slot == nullptr) return 0;
    intptr_t old = *slot;
    *slot = value;
    return old;
}

intptr_t Win_GetWindowWord(WinHandle handle, int index) {
    intptr_t* slot = WordSlot(handle, index);
    return slot == nullptr ? 0 : *slot;
}

WinProc Win_SetWindowProc(WinHandle handle, WinProc procedure) {
    Window* window = FindWindow(handle);
    if (window == nullptr || procedure == nullptr) return nullptr;
    WinProc old = window->procedure;
    window->procedure = procedure;
    return old;
}

WinProc Win_GetWindowProc(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window == nullptr ? nullptr : window->procedure;
}

intptr_t Win_CallWindowProc(WinProc procedure, WinHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
    if (procedure == nullptr) return 0;
    return procedure(window, message, wParam, lParam);
}

bool Win_SetProp(WinHandle handle, const std::string& name, intptr_t value) {
    Window* window = FindWindow(handle);
    if (window == nullptr || name.empty()) return false;
    window->properties[name] = value;
    return true;
}

intptr_t Win_GetProp(WinHandle handle, const std::string& name) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    auto it = window->properties.find(name);
    return it == window->properties.end() ? 0 : it->second;
}

intptr_t Win_RemoveProp(WinHandle handle, const std::string& name) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    auto it = window->properties.find(name);
    if (it == window->properties.end()) return 0;
    intptr_t value = it->second;
    window->properties.erase(it);
    return value;
}

// ---------------------------------------------------------------------------
// Default handling
// ---------------------------------------------------------------------------

intptr_t Win_DefWindowProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case WM_ERASEBKGND: {
            WinColor background = window->windowClass->background;
            if (background == WIN_NO_BACKGROUND || wParam == 0) return 0;
            Win_FillSolid(reinterpret_cast<WinDC*>(wParam), ClientRectOf(*window), background);
            return 1;
        }
        case WM_PAINT: {
            WinPaint paint;
            Win_BeginPaint(handle, &paint);
            Win_EndPaint(handle, &paint);
            return 0;
        }
        case WM_CLOSE: Win_DestroyWindow(handle); return 0;
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            window->text = text == nullptr ? std::string() : std::string(text);
            Win_InvalidateRect(handle, nullptr, true);
            return 1;
        }
        default: return 0;
    }
}
