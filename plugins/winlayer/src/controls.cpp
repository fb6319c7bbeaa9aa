// controls.cpp - the layer's control classes: buttons, edit, static, list box,
// combo box, scroll bar and track bar, each a small model with a plain look.
#include <algorithm>

#include "desktop_state.h"

namespace {

constexpr int kRowHeight = 16;
constexpr int kBoxSize = 12;

ControlState& StateOf(Window& window) {
    if (!window.control) window.control = std::make_unique<ControlState>();
    return *window.control;
}

bool Enabled(const Window& window) { return (window.style & WS_DISABLED) == 0; }

bool Inside(const Window& window, intptr_t lParam) {
    return Contains(ClientRectOf(window), WinPointX(lParam), WinPointY(lParam));
}

void Redraw(WinHandle handle) { Win_InvalidateRect(handle, nullptr, true); }

// Paints through a callback between Win_BeginPaint and Win_EndPaint.
template <typename Painter>
void PaintWith(WinHandle handle, Painter painter) {
    WinPaint paint;
    WinDC* dc = Win_BeginPaint(handle, &paint);
    Window* window = FindWindow(handle);
    if (dc != nullptr && window != nullptr) painter(dc, *window, ClientRectOf(*window));
    Win_EndPaint(handle, &paint);
}

// ---------------------------------------------------------------------------
// Buttons
// ---------------------------------------------------------------------------

uint32_t ButtonKind(const Window& window) { return window.style & 0xFu; }

bool IsRadio(const Window& window) {
    uint32_t kind = ButtonKind(window);
    return IsControlClass(window, "BUTTON") && (kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON);
}

void PaintOwnerDrawn(WinHandle handle, WinDC* dc, const Window& window, const WinRect& client) {
    WinDrawItem item;
    item.ctlType = ODT_BUTTON;
    item.ctlId = window.id;
    item.itemAction = ODA_DRAWENTIRE;
    if (window.control && window.control->pressed) item.itemState |= ODS_SELECTED;
    if (!Enabled(window)) item.itemState |= ODS_DISABLED;
    if (Win_GetFocus() == handle) item.itemState |= ODS_FOCUS;
    item.item = handle;
    item.dc = dc;
    item.rect = client;
    DeliverMessage(window.parent, WM_DRAWITEM, window.id, reinterpret_cast<intptr_t>(&item));
}

void PaintButton(WinHandle handle) {
    PaintWith(handle, [&](WinDC* dc, Window& window, const WinRect& r) {
        ControlState& state = StateOf(window);
        uint32_t kind = ButtonKind(window);
        WinColor text = Enabled(window) ? kTextColor : kGrayTextColor;
        bool focused = Win_GetFocus() == handle;
        switch (kind) {
            case BS_OWNERDRAW: PaintOwnerDrawn(handle, dc, window, r); break;
            case BS_GROUPBOX: {
                DrawFrame(dc, WinRect{r.left, r.top + 6, r.right, r.bottom}, kFrameColor);
                int width = 0, height = 0;
                Win_GetTextExtent(dc, window.text, &width, &height);
                if (!window.text.empty()) {
                    Win_FillSolid(dc, WinRect{8, 0, 12 + width, height}, kFaceColor);
                    DrawTextAt(dc, 10, 0, window.text, text);
                }
                break;
            }
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX:
            case BS_RADIOBUTTON:
            case BS_AUTORADIOBUTTON: {
                Win_FillSolid(dc, r, kFaceColor);
                int top = (r.Height() - kBoxSize) / 2;
                WinRect box{0, top, kBoxSize, top + kBoxSize};
                Win_FillSolid(dc, box, state.pressed ? kFaceColor : WinRgb(255, 255, 255));
                DrawFrame(dc, box, kFrameColor);
                if (state.check == BST_CHECKED)
                    Win_FillSolid(dc, WinRect{3, top + 3, kBoxSize - 3, top + kBoxSize - 3}, text);
                DrawTextAt(dc, kBoxSize + 4, std::max((r.Height() - 13) / 2, 0), window.text, text);
                if (focused) DrawFrame(dc, WinRect{kBoxSize + 2, 0, r.right, r.bottom}, kGrayTextColor);
                break;
            }
            default: {
                Win_FillSolid(dc, r, state.pressed ? WinRgb(205, 205, 205) : kFaceColor);
                DrawFrame(dc, r, kind == BS_DEFPUSHBUTTON ? kTextColor : kFrameColor);
                if (kind == BS_DEFPUSHBUTTON)
                    DrawFrame(dc, WinRect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, kTextColor);
                if (focused)
                    DrawFrame(dc, WinRect{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3}, kGrayTextColor);
                DrawTextCentered(dc, r, window.text, text);
                break;
            }
        }
    });
}

intptr_t ButtonProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    ControlState& state = StateOf(*window);
    bool clickable = ButtonKind(*window) != BS_GROUPBOX;
    switch (message) {
        case WM_PAINT: PaintButton(handle); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN:
            if (!clickable) return 0;
            state.pressed = true;
            Win_SetCapture(handle);
            Redraw(handle);
            return 0;
        case WM_MOUSEMOVE:
            if (Win_GetCapture() == handle && state.pressed != Inside(*window, lParam)) {
                state.pressed = Inside(*window, lParam);
                Redraw(handle);
            }
            return 0;
        case WM_LBUTTONUP: {
            if (Win_GetCapture() != handle) return 0;
            Win_ReleaseCapture();
            bool click = state.pressed && Inside(*window, lParam);
            state.pressed = false;
            Redraw(handle);
            if (click) ClickButton(handle);
            return 0;
        }
        case WM_CHAR:
            if (wParam == ' ' && clickable) ClickButton(handle);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE: Redraw(handle); return 0;
        default: return Win_DefWindowProc(handle, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------
// Edit and static
// ---------------------------------------------------------------------------

void RemoveLastCharacter(std::string* text) {
    if (text->empty()) return;
    size_t end = text->size() - 1;
    while (end > 0 && (static_cast<unsigned char>((*text)[end]) & 0xC0) == 0x80) --end;
    text->erase(end);
}

// Typing: the new text, true when it changed.
bool TypeCharacter(std::string* text, uintptr_t character) {
    if (character == VK_BACK) {
        if (text->empty()) return false;
        RemoveLastCharacter(text);
        return true;
    }
    if (character < 0x20 || character == 0x7F || character > 0x10FFFF) return false;
    AppendUtf8(text, static_cast<uint32_t>(character));
    return true;
}

void PaintField(WinDC* dc, const Window& window, const WinRect& r, bool caret, int rightMargin) {
    Win_FillSolid(dc, r, Enabled(window) ? WinRgb(255, 255, 255) : kFaceColor);
    DrawFrame(dc, r, kFrameColor);
    int width = 0, height = 0;
    Win_GetTextExtent(dc, window.text, &width, &height);
    int y = std::max((r.Height() - 13) / 2, 0);
    WinRect inside{r.left + 1, r.top + 1, r.right - 1 - rightMargin, r.bottom - 1};
    Win_SetBkMode(dc, TRANSPARENT);
    Win_SetTextColor(dc, Enabled(window) ? kTextColor : kGrayTextColor);
    Win_ExtTextOut(dc, 3, y, ETO_CLIPPED, &inside, window.text);
    if (caret) Win_FillSolid(dc, WinRect{3 + width, y, 4 + width, y + 13}, kTextColor);
}

intptr_t EditProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case WM_PAINT:
            PaintWith(handle, [&](WinDC* dc, Window& w, const WinRect& r) {
                PaintField(dc, w, r, Win_GetFocus() == handle, 0);
            });
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_CHAR: {
            if (!Enabled(*window)) return 0;
            std::string text = window->text;
            if (!TypeCharacter(&text, wParam)) return 0;
            window->text = std::move(text);
            Redraw(handle);
            NotifyParent(handle, EN_CHANGE);
            return 0;
        }
        case WM_SETTEXT: {
            std::string old = window->text;
            Win_DefWindowProc(handle, message, wParam, lParam);
            window = FindWindow(handle);
            if (window != nullptr && window->text != old) NotifyParent(handle, EN_CHANGE);
            return 1;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE: Redraw(handle); return 0;
        default: return Win_DefWindowProc(handle, message, wParam, lParam);
    }
}

intptr_t StaticProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_PAINT:
            PaintWith(handle, [&](WinDC* dc, Window& window, const WinRect& r) {
                Win_FillSolid(dc, r, kFaceColor);
                WinColor color = Enabled(window) ? kTextColor : kGrayTextColor;
                size_t start = 0;
                int y = 0;
                // One line per '\n'.
                while (start <= window.text.size()) {
                    size_t end = window.text.find('\n', start);
                    if (end == std::string::npos) end = window.text.size();
                    DrawTextAt(dc, 0, y, std::string_view(window.text).substr(start, end - start), color);
                    y += 15;
                    start = end + 1;
                }
            });
            return 0;
        case WM_ERASEBKGND: return 1;
        default: return Win_DefWindowProc(handle, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------
// List box and combo box
// ---------------------------------------------------------------------------

bool IsList(const Window& window) {
    return IsControlClass(window, "LISTBOX") || IsControlClass(window, "COMBOBOX");
}

Window* ListWindow(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window != nullptr && IsList(*window) ? window : nullptr;
}

void PaintList(WinDC* dc, Window& window, const WinRect& r) {
    ControlState& state = StateOf(window);
    Win_FillSolid(dc, r, WinRgb(255, 255, 255));
    int rows = std::max((r.Height() - 2) / kRowHeight, 1);
    // Keep the selection in view.
    if (state.selection >= 0) {
        if (state.selection < state.top) state.top = state.selection;
        if (state.selection >= state.top + rows) state.top = state.selection - rows + 1;
    }
    state.top = std::clamp(state.top, 0, std::max(static_cast<int>(state.items.size()) - rows, 0));
    for (int row = 0; row < rows; ++row) {
        int index = state.top + row;
        if (index >= static_cast<int>(state.items.size())) break;
        WinRect line{1, 1 + row * kRowHeight, r.right - 1, 1 + (row + 1) * kRowHeight};
        bool selected = index == state.selection;
        if (selected) Win_FillSolid(dc, line, kSelectionColor);
        WinColor color = selected ? WinRgb(255, 255, 255) : (Enabled(window) ? kTextColor : kGrayTextColor);
        DrawTextAt(dc, 3, line.top + 1, state.items[static_cast<size_t>(index)], color);
    }
    DrawFrame(dc, r, kFrameColor);
}

void MoveSelection(WinHandle handle, int step) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    ControlState& state = StateOf(*window);
    if (state.items.empty()) return;
    int next = std::clamp(state.selection + step, 0, static_cast<int>(state.items.size()) - 1);
    if (next != state.selection) Win_ListChoose(handle, next, false);
}

intptr_t ListBoxProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case WM_PAINT: PaintWith(handle, PaintList); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            int y = WinPointY(lParam) - 1;
            if (y < 0) return 0;
            int index = StateOf(*window).top + y / kRowHeight;
            if (index < static_cast<int>(StateOf(*window).items.size()))
                Win_ListChoose(handle, index, message == WM_LBUTTONDBLCLK);
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_UP) MoveSelection(handle, -1);
            if (wParam == VK_DOWN) MoveSelection(handle, 1);
            return 0;
        case WM_ENABLE: Redraw(handle); return 0;
        default: return Win_DefWindowProc(handle, message, wParam, lParam);
    }
}

// The combo box's list drops down as a popup menu of its items.
void DropDown(WinHandle handle) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return;
    ControlState& state = StateOf(*window);
    if (state.items.empty()) return;
    WinMenu menu = Win_CreatePopupMenu();
    for (size_t i = 0; i < state.items.size(); ++i) {
        uint32_t flags = static_cast<int>(i) == state.selection ? MF_CHECKED : MF_STRING;
        Win_AppendMenu(menu, flags, i + 1, state.items[i]);
    }
    WinPoint below{0, window->rect.Height()};
    Win_ClientToScreen(handle, &below);
    uint32_t chosen = Win_TrackPopupMenu(menu, 0, below.x, below.y, 0);
    Win_DestroyMenu(menu);
    if (chosen != 0 && FindWindow(handle) != nullptr)
        Win_ListChoose(handle, static_cast<int>(chosen) - 1, false);
}

intptr_t ComboBoxProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case WM_PAINT:
            PaintWith(handle, [&](WinDC* dc, Window& w, const WinRect& r) {
                PaintField(dc, w, r, Win_GetFocus() == handle, kScrollBarSize);
                WinRect arrow{r.right - kScrollBarSize, r.top, r.right, r.bottom};
                Win_FillSolid(dc, arrow, kFaceColor);
                DrawFrame(dc, arrow, kFrameColor);
                DrawTextCentered(dc, arrow, "v", Enabled(w) ? kTextColor : kGrayTextColor);
            });
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN:
            if (WinPointX(lParam) >= window->rect.Width() - kScrollBarSize) DropDown(handle);
            return 0;
        case WM_CHAR: {
            if (!Enabled(*window)) return 0;
            std::string text = window->text;
            if (!TypeCharacter(&text, wParam)) return 0;
            window->text = std::move(text);
            StateOf(*window).selection = -1;
            Redraw(handle);
            NotifyParent(handle, CBN_EDITCHANGE);
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_UP) MoveSelection(handle, -1);
            if (wParam == VK_DOWN) MoveSelection(handle, 1);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE: Redraw(handle); return 0;
        default: return Win_DefWindowProc(handle, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------
// Scroll bar and track bar
// ---------------------------------------------------------------------------

intptr_t ScrollBarProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_PAINT:
            PaintWith(handle, [](WinDC* dc, Window& window, const WinRect&) {
                DrawBar(dc, ControlBarGeometry(window), Enabled(window));
            });
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            ScrollBarMouse(handle, SB_CTL, WM_LBUTTONDOWN, WinPointX(lParam), WinPointY(lParam));
            return 0;
        case WM_ENABLE: Redraw(handle); return 0;
        default: return Win_DefWindowProc(handle, message, wParam, lParam);
    }
}

bool TrackVertical(const Window& window) { return (window.style & TBS_VERT) != 0; }

// The thumb's centre along the track for a position.
int TrackOffset(const Window& window, int length, int position) {
    const ScrollState& s = window.bars[SB_CTL];
    int span = length - 2 * 6;
    if (s.maximum <= s.minimum || span <= 0) return 6;
    return 6 + static_cast<int>(static_cast<int64_t>(position - s.minimum) * span / (s.maximum - s.minimum));
}

intptr_t TrackBarProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case WM_PAINT:
            PaintWith(handle, [&](WinDC* dc, Window& w, const WinRect& r) {
                Win_FillSolid(dc, r, kFaceColor);
                bool vertical = TrackVertical(w);
                int length = vertical ? r.Height() : r.Width();
                int at = TrackOffset(w, length, w.bars[SB_CTL].position);
                WinColor thumb = Enabled(w) ? WinRgb(0, 120, 215) : kGrayTextColor;
                if (vertical) {
                    Win_FillSolid(dc, WinRect{r.Width() / 2 - 1, 6, r.Width() / 2 + 1, r.bottom - 6},
                                  kFrameColor);
                    Win_FillSolid(dc, WinRect{2, at - 3, r.right - 2, at + 3}, thumb);
                } else {
                    Win_FillSolid(dc, WinRect{6, r.Height() / 2 - 1, r.right - 6, r.Height() / 2 + 1},
                                  kFrameColor);
                    Win_FillSolid(dc, WinRect{at - 3, 2, at + 3, r.bottom - 2}, thumb);
                }
                if (Win_GetFocus() == handle) DrawFrame(dc, r, kGrayTextColor);
            });
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN: {
            const ScrollState& s = window->bars[SB_CTL];
            bool vertical = TrackVertical(*window);
            int length = vertical ? window->rect.Height() : window->rect.Width();
            int along = vertical ? WinPointY(lParam) : WinPointX(lParam);
            int span = length - 12;
            int position = s.minimum;
            if (span > 0)
                position = s.minimum + static_cast<int>(static_cast<int64_t>(std::clamp(along - 6, 0, span)) *
                                                        (s.maximum - s.minimum) / span);
            Win_ScrollControl(handle, SB_THUMBPOSITION, position);
            return 0;
        }
        case WM_KEYDOWN: {
            int request = -1;
            switch (static_cast<int>(wParam)) {
                case VK_LEFT:
                case VK_UP: request = SB_LINEUP; break;
                case VK_RIGHT:
                case VK_DOWN: request = SB_LINEDOWN; break;
                case VK_PRIOR: request = SB_PAGEUP; break;
                case VK_NEXT: request = SB_PAGEDOWN; break;
                case VK_HOME: request = SB_TOP; break;
                case VK_END: request = SB_BOTTOM; break;
                default: break;
            }
            if (request >= 0) Win_ScrollControl(handle, request, 0);
            return 0;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE: Redraw(handle); return 0;
        default: return Win_DefWindowProc(handle, message, wParam, lParam);
    }
}

}  // namespace

void RegisterControlClasses() {
    struct Entry {
        const char* name;
        WinProc procedure;
        uint32_t style;
    };
    static const Entry entries[] = {
        {"BUTTON", ButtonProc, 0},     {"EDIT", EditProc, 0},
        {"STATIC", StaticProc, 0},     {"LISTBOX", ListBoxProc, CS_DBLCLKS},
        {"COMBOBOX", ComboBoxProc, 0}, {"SCROLLBAR", ScrollBarProc, 0},
        {"TRACKBAR", TrackBarProc, 0},
    };
    for (const Entry& entry : entries) {
        WinClass windowClass;
        windowClass.name = entry.name;
        windowClass.procedure = entry.procedure;
        windowClass.style = entry.style;
        windowClass.background = kFaceColor;
        Win_RegisterClass(windowClass);
    }
}

bool IsControlClass(const Window& window, const char* name) { return window.windowClass->name == name; }

void NotifyParent(WinHandle control, int code) {
    Window* window = FindWindow(control);
    if (window == nullptr || window->parent == 0) return;
    DeliverMessage(window->parent, WM_COMMAND,
                   static_cast<uintptr_t>(WinMakeLParam(static_cast<int>(window->id), code)),
                   static_cast<intptr_t>(control));
}

void SetButtonCheck(WinHandle button, int state) {
    Window* window = FindWindow(button);
    if (window == nullptr) return;
    StateOf(*window).check = state;
    Redraw(button);
}

namespace {

// Unchecks the other radio buttons of the button's group (siblings from the
// nearest WS_GROUP at or before it up to the next WS_GROUP).
void UncheckGroup(WinHandle button) {
    Window* window = FindWindow(button);
    Window* parent = window == nullptr ? nullptr : FindWindow(window->parent);
    if (parent == nullptr) return;
    const std::vector<WinHandle>& siblings = parent->children;
    auto at = std::find(siblings.begin(), siblings.end(), button);
    if (at == siblings.end()) return;
    size_t index = static_cast<size_t>(at - siblings.begin());
    size_t first = index;
    while (first > 0) {
        Window* w = FindWindow(siblings[first]);
        if (w != nullptr && (w->style & WS_GROUP)) break;
        --first;
    }
    for (size_t i = first; i < siblings.size(); ++i) {
        Window* w = FindWindow(siblings[i]);
        if (w == nullptr) continue;
        if (i > index && (w->style & WS_GROUP)) break;
        if (i != index && IsRadio(*w) && StateOf(*w).check != BST_UNCHECKED)
            SetButtonCheck(siblings[i], BST_UNCHECKED);
    }
}

}  // namespace

void ClickButton(WinHandle button) {
    Window* window = FindWindow(button);
    if (window == nullptr || !IsControlClass(*window, "BUTTON") || !Enabled(*window)) return;
    switch (ButtonKind(*window)) {
        case BS_GROUPBOX: return;
        case BS_AUTOCHECKBOX:
            SetButtonCheck(button, StateOf(*window).check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            break;
        case BS_AUTORADIOBUTTON:
            SetButtonCheck(button, BST_CHECKED);
            UncheckGroup(button);
            break;
        default: break;
    }
    NotifyParent(button, BN_CLICKED);
}

// ---------------------------------------------------------------------------
// List functions
// ---------------------------------------------------------------------------

int Win_ListAddString(WinHandle control, const std::string& text) {
    Window* window = ListWindow(control);
    if (window == nullptr) return -1;
    ControlState& state = StateOf(*window);
    state.items.push_back(text);
    Redraw(control);
    return static_cast<int>(state.items.size()) - 1;
}

bool Win_ListReset(WinHandle control) {
    Window* window = ListWindow(control);
    if (window == nullptr) return false;
    ControlState& state = StateOf(*window);
    state.items.clear();
    state.selection = -1;
    state.top = 0;
    Redraw(control);
    return true;
}

int Win_ListCount(WinHandle control) {
    Window* window = ListWindow(control);
    return window == nullptr ? -1 : static_cast<int>(StateOf(*window).items.size());
}

std::string Win_ListText(WinHandle control, int index) {
    Window* window = ListWindow(control);
    if (window == nullptr) return std::string();
    const auto& items = StateOf(*window).items;
    return index >= 0 && index < static_cast<int>(items.size()) ? items[static_cast<size_t>(index)]
                                                                : std::string();
}

int Win_ListFind(WinHandle control, const std::string& text) {
    Window* window = ListWindow(control);
    if (window == nullptr) return -1;
    const auto& items = StateOf(*window).items;
    auto it = std::find(items.begin(), items.end(), text);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

bool Win_ListSetSelection(WinHandle control, int index) {
    Window* window = ListWindow(control);
    if (window == nullptr) return false;
    ControlState& state = StateOf(*window);
    if (index < -1 || index >= static_cast<int>(state.items.size())) return false;
    state.selection = index;
    if (IsControlClass(*window, "COMBOBOX") && index >= 0)
        window->text = state.items[static_cast<size_t>(index)];
    Redraw(control);
    return true;
}

int Win_ListSelection(WinHandle control) {
    Window* window = ListWindow(control);
    return window == nullptr ? -1 : StateOf(*window).selection;
}

// Accepted and ignored: a list does not scroll sideways.
bool Win_ListSetHorizontalExtent(WinHandle control, int pixels) {
    return ListWindow(control) != nullptr && pixels >= 0;
}

bool Win_ListChoose(WinHandle control, int index, bool doubleClick) {
    Window* window = ListWindow(control);
    if (window == nullptr || !Enabled(*window)) return false;
    if (index < 0 || index >= static_cast<int>(StateOf(*window).items.size())) return false;
    bool combo = IsControlClass(*window, "COMBOBOX");
    Win_ListSetSelection(control, index);
    NotifyParent(control, combo ? CBN_SELCHANGE : LBN_SELCHANGE);
    if (doubleClick && FindWindow(control) != nullptr) NotifyParent(control, combo ? CBN_DBLCLK : LBN_DBLCLK);
    return true;
}

bool Win_ScrollControl(WinHandle control, int request, int thumbPosition) {
    Window* window = FindWindow(control);
    if (window == nullptr || window->parent == 0 || request < SB_LINEUP || request > SB_ENDSCROLL)
        return false;
    bool track = IsControlClass(*window, "TRACKBAR");
    if (!track && !IsControlClass(*window, "SCROLLBAR")) return false;
    ScrollState& s = window->bars[SB_CTL];
    int position = request == SB_THUMBPOSITION || request == SB_THUMBTRACK ? thumbPosition : s.position;
    bool vertical = track ? (window->style & TBS_VERT) != 0 : (window->style & SBS_VERT) != 0;
    if (track) {
        // A track bar moves itself; a scroll bar leaves that to its parent.
        int page = std::max((s.maximum - s.minimum) / 10, 1);
        switch (request) {
            case SB_LINEUP: position = s.position - 1; break;
            case SB_LINEDOWN: position = s.position + 1; break;
            case SB_PAGEUP: position = s.position - page; break;
            case SB_PAGEDOWN: position = s.position + page; break;
            case SB_TOP: position = s.minimum; break;
            case SB_BOTTOM: position = s.maximum; break;
            default: break;
        }
        position = std::clamp(position, s.minimum, s.maximum);
        if (position != s.position) {
            s.position = position;
            Redraw(control);
        }
    }
    DeliverMessage(window->parent, vertical ? WM_VSCROLL : WM_HSCROLL,
                   static_cast<uintptr_t>(WinMakeLParam(request, position)) & 0xFFFFFFFFu,
                   static_cast<intptr_t>(control));
    return true;
}
