// menu_popup.cpp - tracking a popup menu: the menu and its open submenus as popup
// windows, a modal loop, the mouse (through the capture) and the keys.
#include <algorithm>

#include "desktop_state.h"

namespace {

const char* const kMenuClass = "#Menu";
constexpr int kBorder = 2;
constexpr int kItemHeight = 20;
constexpr int kSeparatorHeight = 9;
constexpr int kCheckMargin = 22;  // left of the text: the check mark
constexpr int kArrowMargin = 22;  // right of the text: the submenu arrow
constexpr int kMinimumWidth = 80;
constexpr size_t kMaxLevels = 16;

struct MenuLevel {
    WinMenu menu = 0;
    WinHandle window = 0;
    int hot = -1;               // the highlighted item, -1 none
    std::vector<WinRect> rows;  // per item, client coordinates of the window
};

struct Tracking {
    WinHandle owner = 0;
    std::vector<MenuLevel> levels;
    bool ended = false;
    uint32_t chosen = 0;
};

Tracking* g_tracking = nullptr;

bool Selectable(const MenuItem& item) { return (item.flags & MF_SEPARATOR) == 0; }
bool Enabled(const MenuItem& item) { return (item.flags & (MF_GRAYED | MF_DISABLED)) == 0; }

const MenuItem* ItemAt(const MenuLevel& level, int position) {
    std::vector<MenuItem>* items = MenuItems(level.menu);
    if (items == nullptr || position < 0 || static_cast<size_t>(position) >= items->size()) return nullptr;
    return &(*items)[static_cast<size_t>(position)];
}

MenuLevel* LevelOf(WinHandle window) {
    if (g_tracking == nullptr) return nullptr;
    for (MenuLevel& level : g_tracking->levels) {
        if (level.window == window) return &level;
    }
    return nullptr;
}

void End(uint32_t chosen) {
    if (g_tracking == nullptr) return;
    g_tracking->ended = true;
    g_tracking->chosen = chosen;
}

void DrawCheck(WinDC* dc, int x, int y, WinColor color) {
    WinGdi pen = Win_CreatePen(PS_SOLID, 2, color);
    WinGdi old = Win_SelectObject(dc, pen);
    Win_MoveTo(dc, x, y + 4);
    Win_LineTo(dc, x + 3, y + 8);
    Win_LineTo(dc, x + 9, y);
    Win_SelectObject(dc, old);
    Win_DeleteObject(pen);
}

void DrawArrow(WinDC* dc, int x, int y, WinColor color) {
    for (int i = 0; i < 4; ++i) Win_FillSolid(dc, WinRect{x + i, y + i, x + i + 1, y + 8 - i}, color);
}

void PaintMenu(WinHandle handle) {
    WinPaint paint;
    WinDC* dc = Win_BeginPaint(handle, &paint);
    MenuLevel* level = LevelOf(handle);
    Window* window = FindWindow(handle);
    if (dc != nullptr && level != nullptr && window != nullptr) {
        WinRect client = ClientRectOf(*window);
        Win_FillSolid(dc, client, kFaceColor);
        DrawFrame(dc, client, kFrameColor);
        std::vector<MenuItem>* items = MenuItems(level->menu);
        for (size_t i = 0; items != nullptr && i < items->size() && i < level->rows.size(); ++i) {
            const MenuItem& item = (*items)[i];
            const WinRect& row = level->rows[i];
            if (!Selectable(item)) {
                int middle = (row.top + row.bottom) / 2;
                Win_FillSolid(dc, WinRect{row.left + 2, middle, row.right - 2, middle + 1}, kFrameColor);
                continue;
            }
            bool hot = static_cast<int>(i) == level->hot;
            WinColor text = !Enabled(item) ? kGrayTextColor : (hot ? WinRgb(255, 255, 255) : kTextColor);
            if (hot) Win_FillSolid(dc, row, Enabled(item) ? kSelectionColor : WinRgb(215, 215, 215));
            int textY = row.top + (kItemHeight - 13) / 2;
            if (item.flags & MF_CHECKED) DrawCheck(dc, row.left + 6, row.top + 5, text);
            DrawTextAt(dc, row.left + kCheckMargin, textY, item.text, text);
            if (item.flags & MF_POPUP) DrawArrow(dc, row.right - 12, row.top + 6, text);
        }
    }
    Win_EndPaint(handle, &paint);
}

// Rows and size of a menu window for its items.
WinPoint Layout(MenuLevel& level) {
    std::vector<MenuItem>* items = MenuItems(level.menu);
    int width = kMinimumWidth;
    WinDC* dc = Win_GetDC(level.window);
    if (items != nullptr && dc != nullptr) {
        for (const MenuItem& item : *items) {
            int w = 0, h = 0;
            if (Selectable(item) && Win_GetTextExtent(dc, item.text, &w, &h))
                width = std::max(width, w + kCheckMargin + kArrowMargin + 2 * kBorder);
        }
    }
    if (dc != nullptr) Win_ReleaseDC(level.window, dc);
    width = std::min(width, kScreenWidth);
    level.rows.clear();
    int y = kBorder;
    if (items != nullptr) {
        for (const MenuItem& item : *items) {
            int height = Selectable(item) ? kItemHeight : kSeparatorHeight;
            level.rows.push_back(WinRect{kBorder, y, width - kBorder, y + height});
            y += height;
        }
    }
    return WinPoint{width, y + kBorder};
}

// Opens a menu window with its top-left at (x, y) on the screen, moved to stay on
// it; a submenu that does not fit on the right opens to the left of leftEdge.
bool OpenLevel(WinMenu menu, int x, int y, int leftEdge) {
    if (g_tracking == nullptr || g_tracking->levels.size() >= kMaxLevels) return false;
    std::vector<MenuItem>* items = MenuItems(menu);
    if (items == nullptr || items->empty()) return false;
    WinHandle window = Win_CreateWindow(kMenuClass, "", WS_POPUP | WS_BORDER, x, y, 1, 1, 0, 0, nullptr);
    if (window == 0 || g_tracking == nullptr) return false;
    MenuLevel level;
    level.menu = menu;
    level.window = window;
    WinPoint size = Layout(level);
    if (x + size.x > kScreenWidth) x = leftEdge >= 0 ? leftEdge - size.x : kScreenWidth - size.x;
    if (y + size.y > kScreenHeight) y = kScreenHeight - size.y;
    x = std::max(x, 0);
    y = std::max(y, 0);
    g_tracking->levels.push_back(std::move(level));
    Win_MoveWindow(window, x, y, size.x, size.y, true);
    Win_ShowWindow(window, SW_SHOW);
    if (TheDesktop().backend) TheDesktop().backend->GrabInput(g_tracking->levels.front().window, true);
    return true;
}

void CloseLevelsAfter(size_t keep) {
    if (g_tracking == nullptr) return;
    while (g_tracking->levels.size() > keep) {
        WinHandle window = g_tracking->levels.back().window;
        g_tracking->levels.pop_back();
        Win_DestroyWindow(window);
    }
}

// Opens the submenu of a level's hot item (when it is an enabled popup).
bool OpenSubmenu(size_t index) {
    if (g_tracking == nullptr || index >= g_tracking->levels.size()) return false;
    MenuLevel& level = g_tracking->levels[index];
    const MenuItem* item = ItemAt(level, level.hot);
    if (item == nullptr || !(item->flags & MF_POPUP) || !Enabled(*item)) return false;
    if (index + 1 < g_tracking->levels.size() && g_tracking->levels[index + 1].menu == item->submenu)
        return true;
    CloseLevelsAfter(index + 1);
    MenuLevel& parent = g_tracking->levels[index];
    WinRect row = parent.rows[static_cast<size_t>(parent.hot)];
    WinPoint right{row.right + kBorder, row.top - kBorder};
    WinPoint left{0, 0};
    Win_ClientToScreen(parent.window, &right);
    Win_ClientToScreen(parent.window, &left);
    return OpenLevel(item->submenu, right.x, right.y, left.x);
}

void SetHot(size_t index, int hot) {
    if (g_tracking == nullptr || index >= g_tracking->levels.size()) return;
    MenuLevel& level = g_tracking->levels[index];
    if (level.hot == hot) return;
    level.hot = hot;
    Win_InvalidateRect(level.window, nullptr, true);
}

// The level and item under a screen point: the deepest open menu first.
bool HitTest(WinPoint screen, size_t* index, int* position) {
    if (g_tracking == nullptr) return false;
    for (size_t i = g_tracking->levels.size(); i-- > 0;) {
        const MenuLevel& level = g_tracking->levels[i];
        WinPoint point = screen;
        Win_ScreenToClient(level.window, &point);
        Window* window = FindWindow(level.window);
        if (window == nullptr || !Contains(ClientRectOf(*window), point.x, point.y)) continue;
        *index = i;
        *position = -1;
        for (size_t row = 0; row < level.rows.size(); ++row) {
            const MenuItem* item = ItemAt(level, static_cast<int>(row));
            if (item != nullptr && Selectable(*item) && Contains(level.rows[row], point.x, point.y))
                *position = static_cast<int>(row);
        }
        return true;
    }
    return false;
}

void Mouse(WinHandle root, uint32_t message, intptr_t lParam) {
    WinPoint screen{WinPointX(lParam), WinPointY(lParam)};
    Win_ClientToScreen(root, &screen);
    size_t index = 0;
    int position = -1;
    bool inside = HitTest(screen, &index, &position);
    bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_LBUTTONDBLCLK;
    bool up = message == WM_LBUTTONUP || message == WM_RBUTTONUP;
    if (!inside) {
        // A click anywhere else closes the menu without a choice.
        if (down) End(0);
        return;
    }
    if (position < 0) return;
    SetHot(index, position);
    const MenuItem* item = ItemAt(g_tracking->levels[index], position);
    if (item == nullptr) return;
    if (item->flags & MF_POPUP) {
        if (message == WM_MOUSEMOVE || down) OpenSubmenu(index);
        return;
    }
    CloseLevelsAfter(index + 1);
    if (up && Enabled(*item)) End(item->id);
}

void StepHot(MenuLevel& level, size_t index, int step) {
    std::vector<MenuItem>* items = MenuItems(level.menu);
    if (items == nullptr || items->empty()) return;
    int count = static_cast<int>(items->size());
    int at = level.hot < 0 ? (step > 0 ? -1 : count) : level.hot;
    for (int n = 0; n < count; ++n) {
        at = (at + step + count) % count;
        if (Selectable((*items)[static_cast<size_t>(at)])) {
            SetHot(index, at);
            return;
        }
    }
}

intptr_t MenuWindowProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_PAINT: PaintMenu(handle); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            if (g_tracking != nullptr && !g_tracking->levels.empty()) Mouse(handle, message, lParam);
            return 0;
        default: return Win_DefWindowProc(handle, message, wParam, lParam);
    }
}

void EnsureMenuClass() {
    if (TheDesktop().classes.count(kMenuClass) != 0) return;
    WinClass windowClass;
    windowClass.name = kMenuClass;
    windowClass.procedure = MenuWindowProc;
    windowClass.background = kFaceColor;
    windowClass.style = CS_SAVEBITS;
    Win_RegisterClass(windowClass);
}

// Runs until the menu ends; nobody to answer (headless and idle, or a quit) ends it
// without a choice.
void RunMenuLoop() {
    Desktop& desktop = TheDesktop();
    while (g_tracking != nullptr && !g_tracking->ended) {
        int dispatched = Win_PumpMessages();
        if (g_tracking->ended) return;
        if (g_tracking->levels.empty() || FindWindow(g_tracking->levels.front().window) == nullptr ||
            (g_tracking->owner != 0 && FindWindow(g_tracking->owner) == nullptr)) {
            End(0);
            return;
        }
        bool input = !desktop.quitRequested && desktop.backend && desktop.backend->WaitForInput(20);
        if (desktop.quitRequested || (!input && dispatched == 0)) End(0);
    }
}

}  // namespace

bool PopupMenuKey(int virtualKey) {
    if (g_tracking == nullptr || g_tracking->levels.empty()) return false;
    size_t index = g_tracking->levels.size() - 1;
    MenuLevel& level = g_tracking->levels[index];
    switch (virtualKey) {
        case VK_UP: StepHot(level, index, -1); break;
        case VK_DOWN: StepHot(level, index, 1); break;
        case VK_RIGHT:
            if (OpenSubmenu(index)) StepHot(g_tracking->levels.back(), g_tracking->levels.size() - 1, 1);
            break;
        case VK_LEFT:
            if (index > 0) CloseLevelsAfter(index);
            break;
        case VK_ESCAPE:
            if (index > 0) {
                CloseLevelsAfter(index);
            } else {
                End(0);
            }
            break;
        case VK_RETURN: {
            const MenuItem* item = ItemAt(level, level.hot);
            if (item == nullptr || !Enabled(*item)) break;
            if (item->flags & MF_POPUP) {
                if (OpenSubmenu(index)) StepHot(g_tracking->levels.back(), g_tracking->levels.size() - 1, 1);
            } else {
                End(item->id);
            }
            break;
        }
        default: break;
    }
    return true;
}

bool PopupMenuTracking() { return g_tracking != nullptr; }

std::vector<WinHandle> PopupMenuWindows() {
    std::vector<WinHandle> windows;
    if (g_tracking != nullptr && !g_tracking->ended) {
        for (const MenuLevel& level : g_tracking->levels) windows.push_back(level.window);
    }
    return windows;
}

bool PopupMenuItemRect(WinHandle menuWindow, int position, WinRect* rect) {
    MenuLevel* level = LevelOf(menuWindow);
    if (level == nullptr || rect == nullptr || position < 0 ||
        static_cast<size_t>(position) >= level->rows.size())
        return false;
    *rect = level->rows[static_cast<size_t>(position)];
    return true;
}

uint32_t Win_TrackPopupMenu(WinMenu menu, uint32_t flags, int x, int y, WinHandle owner) {
    (void)flags;
    Desktop& desktop = TheDesktop();
    if (MenuItems(menu) == nullptr) return 0;
    bool nested = g_tracking != nullptr;
    Tracking tracking;
    tracking.owner = owner;
    bool hook = false;
    // Headless, a menu is shown only when a hook is there to act on it; the X11
    // back-end always shows it.
    bool show = !nested && desktop.initialized &&
                (desktop.kind == WinBackend::X11 || static_cast<bool>(desktop.hooks.popupMenu));
    if (show) {
        EnsureMenuClass();
        g_tracking = &tracking;
        if (OpenLevel(menu, x, y, -1)) {
            Win_SetCapture(tracking.levels.front().window);
            Win_PumpMessages();
        }
    }
    if (!nested && desktop.hooks.popupMenu && !tracking.ended) {
        uint32_t answer = 0;
        if (desktop.hooks.popupMenu(menu, &answer)) {
            hook = true;
            tracking.ended = true;
            tracking.chosen = answer;
        }
    }
    if (show && !tracking.levels.empty()) RunMenuLoop();
    if (show) {
        if (desktop.backend && !tracking.levels.empty())
            desktop.backend->GrabInput(tracking.levels.front().window, false);
        CloseLevelsAfter(0);
        Win_ReleaseCapture();
        g_tracking = nullptr;
    }
    uint32_t chosen = tracking.chosen;
    // Only an enabled command of this menu can be chosen.
    MenuItem* item = chosen != 0 ? FindMenuItem(menu, chosen) : nullptr;
    if (item == nullptr || (item->flags & (MF_GRAYED | MF_DISABLED))) chosen = 0;
    LogEventFields("menu", "\"menu\":" + std::to_string(menu) + ",\"x\":" + std::to_string(x) +
                               ",\"y\":" + std::to_string(y) + ",\"owner\":" + std::to_string(owner) +
                               ",\"chosen\":" + std::to_string(chosen) + ",\"shown\":" +
                               (show ? "true" : "false") + ",\"hook\":" + (hook ? "true" : "false"));
    if (chosen != 0 && owner != 0) DeliverMessage(owner, WM_COMMAND, chosen, 0);
    return chosen;
}
