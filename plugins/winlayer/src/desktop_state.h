// desktop_state.h - the window tree's own records, shared by its source files.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "desktop_internal.h"
#include "qel_win.h"

struct ArcOSLibrary;

constexpr int kScrollBarSize = 16;
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
// Two clicks on the same window within this time and distance make a double click.
constexpr uint64_t kDoubleClickMs = 500;
constexpr int kDoubleClickDistance = 4;

struct ScrollState {
    int minimum = 0, maximum = 100, position = 0;
    bool shown = false;
};

// What the layer's own control classes keep per control.
struct ControlState {
    int check = BST_UNCHECKED;
    bool pressed = false;
    std::vector<std::string> items;
    int selection = -1;
    int top = 0;  // the first list row shown
};

// A dialog's own data.
struct DialogState {
    std::string name;
    WinDlgProc procedure = nullptr;
    intptr_t data = 0;
    bool ended = false;
    intptr_t result = 0;
};

struct Window {
    WinHandle handle = 0;
    std::shared_ptr<const WinClass> windowClass;
    WinProc procedure = nullptr;
    std::string text;
    uint32_t style = 0;
    uint32_t id = 0;
    WinHandle parent = 0;
    std::vector<WinHandle> children;  // creation order; later ones lie on top
    WinRect rect;                     // in the parent's client area (top-level: screen)
    std::vector<intptr_t> words;
    std::map<std::string, intptr_t> properties;
    bool sized = false;  // WM_SIZE sent at least once
    bool destroying = false;

    // Painting.
    bool invalid = false;
    bool erase = false;
    WinRect update;  // client coordinates
    bool nonClientDirty = false;
    bool beganPaint = false;
    WinDC* ownDc = nullptr;  // CS_OWNDC

    std::array<ScrollState, 3> bars;     // SB_HORZ, SB_VERT, SB_CTL
    int dragBar = -1;                    // the bar whose thumb the user drags, -1 none
    cairo_surface_t* surface = nullptr;  // top-level windows only

    std::unique_ptr<ControlState> control;
    std::unique_ptr<DialogState> dialog;
};

struct PostedMessage {
    WinHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct Timer {
    WinHandle window;
    uintptr_t id;
    unsigned interval;
    uint64_t due;
};

struct MenuItem {
    uint32_t flags = 0;
    uint32_t id = 0;
    WinMenu submenu = 0;
    std::string text;
};

struct WinModule {
    ArcOSLibrary* library = nullptr;
    const WinResourceTable* table = nullptr;
};

class Desktop {
public:
    std::unique_ptr<DesktopBackend> backend;
    WinBackend kind = WinBackend::Headless;
    bool initialized = false;

    std::map<std::string, std::shared_ptr<const WinClass>> classes;
    std::map<WinHandle, std::unique_ptr<Window>> windows;
    std::vector<WinHandle> topLevels;  // creation order
    WinHandle nextHandle = 1;

    // Posted messages and the handles they may name: the only state other threads touch.
    std::mutex queueMutex;
    std::deque<PostedMessage> queue;
    std::set<WinHandle> liveHandles;

    bool quitRequested = false;
    int quitCode = 0;

    WinHandle focus = 0;
    WinHandle capture = 0;
    std::vector<Timer> timers;
    uint64_t virtualTime = 0;
    uint64_t realStart = 0;

    // The last button down, for double clicks.
    WinHandle lastClickWindow = 0;
    uint64_t lastClickTime = 0;
    WinPoint lastClickPoint;
    bool lastClickWasDouble = false;

    std::map<WinMenu, std::vector<MenuItem>> menus;
    WinMenu nextMenu = 1;

    std::set<WinModule*> modules;
    std::set<WinDC*> lentDcs;  // from Win_GetDC / Win_BeginPaint, not own contexts

    bool clipboardOpen = false;
    std::string clipboardText;
    WinBitmap* clipboardBitmap = nullptr;

    WinHooks hooks;
    std::function<void(const std::string&)> sink;
};

Desktop& TheDesktop();
Window* FindWindow(WinHandle handle);  // null when not a window (or being torn down)
WinHandle TopLevelOf(WinHandle handle);
// The client area's top-left in its top-level surface, and the visible part of the
// client area there (clipped by every parent).
WinPoint ClientOriginInSurface(const Window& window);
WinRect ClientClipInSurface(const Window& window);
WinRect ClientRectOf(const Window& window);  // 0,0 to the client size
WinRect Intersect(const WinRect& a, const WinRect& b);
WinRect Union(const WinRect& a, const WinRect& b);
bool IsEmpty(const WinRect& rect);
bool Contains(const WinRect& rect, int x, int y);

// Message delivery with the event log.
intptr_t DeliverMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void LogMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
const char* MessageName(uint32_t message);

// Painting helpers.
void InvalidateWithChildren(WinHandle window, const WinRect& rect, bool erase);
void InvalidateParentArea(const Window& window);
void PaintPending();
void DrawNonClient(Window& window);
void RecreateSurface(Window& window);
// Tells the back-end where a top-level window is and whether it is shown.
void PlaceTopLevel(const Window& window);
void RetargetOwnDcs(WinHandle window);

// Tear-down of everything a window owns outside its record.
void ForgetTimers(WinHandle window);

// The scroll-bar part of the non-client area under a point (window coordinates):
// SB_HORZ, SB_VERT or -1.
int NonClientBarAt(const Window& window, int x, int y);
void ScrollBarMouse(WinHandle window, int bar, uint32_t message, int x, int y);
// Geometry of a bar: the whole bar and the thumb, window coordinates.
struct BarGeometry {
    WinRect bar, lessArrow, moreArrow, thumb;
    bool vertical = false;
};
BarGeometry WindowBarGeometry(const Window& window, int bar);
BarGeometry ControlBarGeometry(const Window& window);
void DrawBar(WinDC* dc, const BarGeometry& geometry, bool enabled);
int BarPositionFromPoint(const BarGeometry& geometry, const ScrollState& state, int x, int y);

// Controls and dialogs.
void RegisterControlClasses();
bool IsControlClass(const Window& window, const char* name);
void ClickButton(WinHandle button);
void NotifyParent(WinHandle control, int code);
WinHandle DialogOf(WinHandle window);  // the window itself or its nearest dialog ancestor
bool DialogKey(WinHandle dialog, int virtualKey);
// Runs until the dialog ends; unanswered tells that it was cancelled for want of anyone to answer.
intptr_t RunModalLoop(WinHandle dialog, bool* unanswered);
void SetButtonCheck(WinHandle button, int state);

// Plain look shared by controls and message boxes.
constexpr WinColor kFaceColor = WinRgb(240, 240, 240);
constexpr WinColor kFrameColor = WinRgb(100, 100, 100);
constexpr WinColor kTextColor = WinRgb(0, 0, 0);
constexpr WinColor kGrayTextColor = WinRgb(128, 128, 128);
constexpr WinColor kSelectionColor = WinRgb(0, 84, 153);
void DrawFrame(WinDC* dc, const WinRect& rect, WinColor color);
void DrawTextCentered(WinDC* dc, const WinRect& rect, std::string_view text, WinColor color);
void DrawTextAt(WinDC* dc, int x, int y, std::string_view text, WinColor color);

// UTF-8: the next code point from text at offset (advanced); U+FFFD for a bad byte.
uint32_t NextCodePoint(std::string_view text, size_t* offset);
void AppendUtf8(std::string* text, uint32_t codePoint);

struct DialogDescription;
// false when the module has no such dialog or its description is bad (logged).
bool LoadDialogDescription(const WinModule* module, const std::string& name, DialogDescription* dialog);
// A dialog window with its controls, after WM_INITDIALOG; shown when modal or described visible.
WinHandle CreateDialogWindow(const DialogDescription& description, const std::string& name, WinHandle parent,
                             WinDlgProc procedure, intptr_t parameter, bool modal);

void LogEventFields(const char* source, const std::string& fields);
// Menus: the items of a menu (null when none) and the item with a command id in it
// or its submenus (null when none).
std::vector<MenuItem>* MenuItems(WinMenu menu);
MenuItem* FindMenuItem(WinMenu menu, uint32_t id, int depth = 0);
// While a popup menu is tracked it takes the keys (true when it did).
bool PopupMenuKey(int virtualKey);
bool PopupMenuTracking();
// The open menu windows, the top menu first; empty when no menu is tracked (or it
// has just ended).
std::vector<WinHandle> PopupMenuWindows();
// An item's row in its menu window's client coordinates; false for no such row.
bool PopupMenuItemRect(WinHandle menuWindow, int position, WinRect* rect);
void FreeAllMenus();
void FreeAllModules();
void ResetClipboard();
