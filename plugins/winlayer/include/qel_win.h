// qel_win.h - the window layer the viewer plug-ins and their host run on.
//
// A small desktop of our own: windows with window procedures and message numbers
// as the plug-ins know them, a message queue, focus and capture, timers, menus,
// dialogs built from resource descriptions, message boxes, a clipboard, drawing
// over cairo and printing to PDF. One process-wide desktop, driven from one
// thread (the host's user-interface thread); only Win_PostMessage may be called
// from other threads.
//
// Two back-ends: headless (every top-level window is an image surface; tests
// take screenshots as PNG) and X11 (the same surfaces shown in real windows).
// Details: docs/window-layer.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

// ---------------------------------------------------------------------------
// Handles and basic records
// ---------------------------------------------------------------------------

using WinHandle = std::uint32_t;  // a window (dialogs and controls are windows); 0 = none
using WinMenu = std::uint32_t;    // a menu; 0 = none
using WinGdi = std::uint32_t;     // a pen, brush or font; 0 = none
using WinColor = std::uint32_t;   // 0x00BBGGRR
struct WinDC;                     // a drawing context (window, bitmap or printer)
struct WinBitmap;                 // an RGB bitmap; owned by its creator
struct WinModule;                 // a resource library

using WinProc = intptr_t (*)(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Dialog procedure: non-zero when it handled the message.
using WinDlgProc = intptr_t (*)(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

struct WinRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};
struct WinPoint {
    int x = 0, y = 0;
};

constexpr WinColor WinRgb(int r, int g, int b) {
    return static_cast<WinColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr intptr_t WinMakeLParam(int low, int high) {
    return static_cast<intptr_t>((static_cast<uint32_t>(high & 0xFFFF) << 16) | (low & 0xFFFF));
}
constexpr int WinLowWord(uintptr_t value) { return static_cast<int>(value & 0xFFFF); }
constexpr int WinHighWord(uintptr_t value) { return static_cast<int>((value >> 16) & 0xFFFF); }
// Signed coordinates out of a packed mouse position.
constexpr int WinPointX(intptr_t lParam) { return static_cast<int16_t>(lParam & 0xFFFF); }
constexpr int WinPointY(intptr_t lParam) { return static_cast<int16_t>((lParam >> 16) & 0xFFFF); }

// ---------------------------------------------------------------------------
// Message numbers
// ---------------------------------------------------------------------------

enum : uint32_t {
    WM_CREATE = 1,
    WM_DESTROY = 2,
    WM_MOVE = 3,
    WM_SIZE = 5,  // lParam: client width, height
    WM_SETFOCUS = 7,
    WM_KILLFOCUS = 8,
    WM_ENABLE = 10,
    WM_SETTEXT = 12,
    WM_PAINT = 15,
    WM_CLOSE = 16,
    WM_ERASEBKGND = 20,  // wParam: WinDC*
    WM_SHOWWINDOW = 24,
    WM_SETCURSOR = 32,  // wParam: the window under the pointer
    WM_DRAWITEM = 43,   // lParam: WinDrawItem*
    WM_KEYDOWN = 256,   // wParam: virtual key
    WM_CHAR = 258,
    WM_INITDIALOG = 272,  // lParam: the creation parameter; result non-zero: default focus
    WM_COMMAND = 273,     // wParam: low word id, high word notification; lParam: control
    WM_TIMER = 275,       // wParam: timer id
    WM_HSCROLL = 276,     // wParam: low word request, high word position; lParam: control or 0
    WM_VSCROLL = 277,
    WM_MOUSEMOVE = 512,  // wParam: key flags; lParam: packed client x, y
    WM_LBUTTONDOWN = 513,
    WM_LBUTTONUP = 514,
    WM_LBUTTONDBLCLK = 515,
    WM_RBUTTONDOWN = 516,
    WM_RBUTTONUP = 517,
    WM_USER = 1024,
};

// Scroll requests (low word of wParam of WM_HSCROLL and WM_VSCROLL).
enum : int {
    SB_LINEUP = 0,
    SB_LINELEFT = 0,
    SB_LINEDOWN = 1,
    SB_LINERIGHT = 1,
    SB_PAGEUP = 2,
    SB_PAGELEFT = 2,
    SB_PAGEDOWN = 3,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_LEFT = 6,
    SB_BOTTOM = 7,
    SB_RIGHT = 7,
    SB_ENDSCROLL = 8,
};
// Scroll bars of a window.
enum : int { SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3 };

// Virtual keys.
enum : int {
    VK_BACK = 8,
    VK_TAB = 9,
    VK_RETURN = 13,
    VK_SHIFT = 16,
    VK_CONTROL = 17,
    VK_ESCAPE = 27,
    VK_PRIOR = 33,
    VK_NEXT = 34,
    VK_END = 35,
    VK_HOME = 36,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_DELETE = 46,
};
// Key flags of mouse messages.
enum : uint32_t { MK_LBUTTON = 1, MK_RBUTTON = 2, MK_SHIFT = 4, MK_CONTROL = 8 };

// Notification codes (high word of WM_COMMAND's wParam).
enum : int {
    BN_CLICKED = 0,
    EN_CHANGE = 0x300,
    LBN_SELCHANGE = 1,
    LBN_DBLCLK = 2,
    CBN_SELCHANGE = 1,
    CBN_DBLCLK = 2,
    CBN_EDITCHANGE = 5,
};

// Dialog and message-box answers.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// ---------------------------------------------------------------------------
// Window classes and windows
// ---------------------------------------------------------------------------

enum : uint32_t {
    WS_POPUP = 0x80000000u,
    WS_CHILD = 0x40000000u,
    WS_VISIBLE = 0x10000000u,
    WS_DISABLED = 0x08000000u,
    WS_CAPTION = 0x00C00000u,
    WS_BORDER = 0x00800000u,
    WS_VSCROLL = 0x00200000u,
    WS_HSCROLL = 0x00100000u,
    WS_TABSTOP = 0x00010000u,
};
enum : uint32_t {
    CS_VREDRAW = 0x0001,
    CS_HREDRAW = 0x0002,
    CS_DBLCLKS = 0x0008,
    CS_OWNDC = 0x0020,
    CS_SAVEBITS = 0x0800,
    CS_BYTEALIGNCLIENT = 0x1000,
};
constexpr WinColor WIN_NO_BACKGROUND = 0xFFFFFFFFu;

struct WinClass {
    std::string name;
    uint32_t style = 0;
    int extraBytes = 0;  // window words, each holds an intptr_t; index = byte offset / 4
    WinProc procedure = nullptr;
    WinColor background = WinRgb(255, 255, 255);  // WIN_NO_BACKGROUND: not erased
};

// false when the name is taken or the record has no name or procedure.
bool Win_RegisterClass(const WinClass& windowClass);
bool Win_UnregisterClass(const std::string& name);

// Sends WM_CREATE (lParam: createParam) and, for a visible window, WM_SIZE and
// WM_SHOWWINDOW; 0 when the class is unknown, the parent is not a window or
// WM_CREATE answers -1. A top-level window (no parent) gets its own surface.
WinHandle Win_CreateWindow(const std::string& className, const std::string& title, uint32_t style, int x,
                           int y, int width, int height, WinHandle parent, uint32_t id, void* createParam);
// Destroys children first, each getting WM_DESTROY; false for no window.
bool Win_DestroyWindow(WinHandle window);
bool Win_IsWindow(WinHandle window);
WinHandle Win_GetParent(WinHandle window);
std::vector<WinHandle> Win_GetChildren(WinHandle window);
uint32_t Win_GetStyle(WinHandle window);
uint32_t Win_GetControlId(WinHandle window);
std::string Win_GetClassName(WinHandle window);

// Position relative to the parent's client area; sends WM_MOVE/WM_SIZE on change.
bool Win_MoveWindow(WinHandle window, int x, int y, int width, int height, bool repaint);
bool Win_GetWindowRect(WinHandle window, WinRect* rect);  // in the parent's client coordinates
bool Win_GetClientRect(WinHandle window, WinRect* rect);  // 0,0 to the client size (scroll bars excluded)
bool Win_ClientToScreen(WinHandle window, WinPoint* point);
bool Win_ScreenToClient(WinHandle window, WinPoint* point);
enum : int { SW_HIDE = 0, SW_SHOW = 5 };
bool Win_ShowWindow(WinHandle window, int command);    // previous visibility
bool Win_IsWindowVisible(WinHandle window);            // itself and every parent visible
bool Win_EnableWindow(WinHandle window, bool enable);  // previous disabled state
bool Win_IsWindowEnabled(WinHandle window);
bool Win_SetWindowText(WinHandle window, std::string_view text);
std::string Win_GetWindowText(WinHandle window);

// Window words: index is the byte offset into the class's extra bytes (0, 4, ...).
intptr_t Win_SetWindowWord(WinHandle window, int index, intptr_t value);  // previous value
intptr_t Win_GetWindowWord(WinHandle window, int index);
// Subclassing: the new procedure, the previous one returned.
WinProc Win_SetWindowProc(WinHandle window, WinProc procedure);
WinProc Win_GetWindowProc(WinHandle window);
intptr_t Win_CallWindowProc(WinProc procedure, WinHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam);
// Default handling: paints with the class background on WM_ERASEBKGND, validates on
// WM_PAINT, destroys on WM_CLOSE, scrolls nothing.
intptr_t Win_DefWindowProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Properties by name.
bool Win_SetProp(WinHandle window, const std::string& name, intptr_t value);
intptr_t Win_GetProp(WinHandle window, const std::string& name);  // 0 when none
intptr_t Win_RemoveProp(WinHandle window, const std::string& name);

// Starts a group of controls (radio buttons check one of their group).
enum : uint32_t { WS_GROUP = 0x00020000u };

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

intptr_t Win_SendMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Any thread; false when the window does not exist.
bool Win_PostMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Dispatches posted messages and due timers until none is left, then paints invalid
// windows (a message posted while painting waits for the next call); returns the number
// of messages dispatched.
int Win_PumpMessages();
// Runs until Win_Quit (X11: waits for events; headless: returns when idle).
int Win_RunLoop();
void Win_Quit(int code);

bool Win_InvalidateRect(WinHandle window, const WinRect* rect, bool erase);  // rect null: all
bool Win_UpdateWindow(WinHandle window);  // sends WM_PAINT now when anything is invalid
bool Win_GetUpdateRect(WinHandle window, WinRect* rect);

struct WinPaint {
    WinDC* dc = nullptr;
    WinRect area;  // the invalid area
    bool erase = false;
};
WinDC* Win_BeginPaint(WinHandle window, WinPaint* paint);
void Win_EndPaint(WinHandle window, WinPaint* paint);
// The window's drawing context: a CS_OWNDC window keeps one for its life (selected
// pens, brushes and raster modes stay); others get a fresh one. Release it after use.
WinDC* Win_GetDC(WinHandle window);
void Win_ReleaseDC(WinHandle window, WinDC* dc);

// Focus, capture, timers.
WinHandle Win_SetFocus(WinHandle window);  // previous focus; WM_KILLFOCUS/WM_SETFOCUS sent
WinHandle Win_GetFocus();
WinHandle Win_SetCapture(WinHandle window);
bool Win_ReleaseCapture();
WinHandle Win_GetCapture();
bool Win_SetTimer(WinHandle window, uintptr_t id, unsigned milliseconds);
bool Win_KillTimer(WinHandle window, uintptr_t id);
// Headless time is virtual: advancing it fires the timers that fall due.
void Win_AdvanceTime(unsigned milliseconds);
uint64_t Win_TickCount();

// Input from the user (the X11 back-end and the script runner): coordinates are in
// the top-level window's client area; the message goes to the capture window, else
// to the deepest visible, enabled child under the point. A button down focuses.
void Win_InputMouse(WinHandle topLevel, uint32_t message, int x, int y, uint32_t keyFlags);
void Win_InputKey(int virtualKey);  // WM_KEYDOWN (and WM_CHAR for text keys) to the focus
void Win_InputText(std::string_view text);
WinHandle Win_WindowFromPoint(WinHandle topLevel, int x, int y);

// ---------------------------------------------------------------------------
// Scroll bars (window bars take room from the client area)
// ---------------------------------------------------------------------------

bool Win_SetScrollRange(WinHandle window, int bar, int minimum, int maximum, bool redraw);
bool Win_GetScrollRange(WinHandle window, int bar, int* minimum, int* maximum);
int Win_SetScrollPos(WinHandle window, int bar, int position, bool redraw);  // previous; clamped
int Win_GetScrollPos(WinHandle window, int bar);
bool Win_ShowScrollBar(WinHandle window, int bar, bool show);
bool Win_IsScrollBarShown(WinHandle window, int bar);
enum : int { SM_CXVSCROLL = 2, SM_CYHSCROLL = 3, SM_CXSCREEN = 0, SM_CYSCREEN = 1 };
int Win_GetSystemMetric(int index);

// ---------------------------------------------------------------------------
// Menus
// ---------------------------------------------------------------------------

enum : uint32_t {
    MF_STRING = 0,
    MF_GRAYED = 1,
    MF_DISABLED = 2,
    MF_CHECKED = 8,
    MF_POPUP = 0x10,
    MF_SEPARATOR = 0x800,
    MF_ENABLED = 0,
    MF_UNCHECKED = 0,
    MF_BYCOMMAND = 0,
};
WinMenu Win_CreatePopupMenu();
// flags MF_POPUP: idOrSubmenu is a WinMenu.
bool Win_AppendMenu(WinMenu menu, uint32_t flags, uintptr_t idOrSubmenu, const std::string& text);
WinMenu Win_GetSubMenu(WinMenu menu, int position);
int Win_GetMenuItemCount(WinMenu menu);
uint32_t Win_CheckMenuItem(WinMenu menu, uint32_t id, uint32_t flags);   // previous state; searches submenus
uint32_t Win_EnableMenuItem(WinMenu menu, uint32_t id, uint32_t flags);  // previous state; -1 when none
uint32_t Win_GetMenuState(WinMenu menu, uint32_t id);                    // -1 (as uint32) when none
std::string Win_GetMenuText(WinMenu menu, uint32_t id);
bool Win_DestroyMenu(WinMenu menu);
// Shows the menu at a screen point; the chosen item is sent to owner as WM_COMMAND
// (and returned). Headless: the menu answer hook chooses; none chooses nothing.
uint32_t Win_TrackPopupMenu(WinMenu menu, uint32_t flags, int x, int y, WinHandle owner);

// ---------------------------------------------------------------------------
// Resources: strings, bitmaps, dialog and menu descriptions
// ---------------------------------------------------------------------------

// A resource library is a shared library exporting
//   extern "C" const WinResourceTable* QelWin_Resources();
// A plug-in's own resources are a table it hands to Win_ModuleFromTable.
struct WinStringResource {
    uint32_t id;
    const char* text;
};
// Pictures in a text form: "width height colours" on the first line, one line per
// colour ("<char> #RRGGBB"), then one line of characters per row.
struct WinNamedText {
    const char* name;
    const char* text;
};
struct WinResourceTable {
    const WinStringResource* strings;
    size_t stringCount;
    const WinNamedText* bitmaps;
    size_t bitmapCount;
    const WinNamedText* dialogs;  // dialog descriptions: docs/window-layer.md
    size_t dialogCount;
    const WinNamedText* menus;  // menu descriptions: docs/window-layer.md
    size_t menuCount;
};
// By absolute path; null when it does not load or exports no table.
WinModule* Win_LoadModule(const std::string& absolutePath);
WinModule* Win_ModuleFromTable(const WinResourceTable* table);
void Win_FreeModule(WinModule* module);
// The string, cut to size - 1 bytes and zero-terminated; the length copied, 0 when none.
int Win_LoadString(const WinModule* module, uint32_t id, char* buffer, int size);
std::string Win_LoadStringText(const WinModule* module, uint32_t id);
WinBitmap* Win_LoadBitmap(const WinModule* module, const std::string& name);  // caller deletes
WinMenu Win_LoadMenu(const WinModule* module, const std::string& name);
bool Win_HasDialog(const WinModule* module, const std::string& name);

// ---------------------------------------------------------------------------
// Dialogs and controls
// ---------------------------------------------------------------------------

// Control classes: "BUTTON", "EDIT", "STATIC", "LISTBOX", "COMBOBOX", "SCROLLBAR",
// "TRACKBAR". Button styles:
enum : uint32_t {
    BS_PUSHBUTTON = 0,
    BS_DEFPUSHBUTTON = 1,
    BS_CHECKBOX = 2,
    BS_AUTOCHECKBOX = 3,
    BS_RADIOBUTTON = 4,
    BS_AUTORADIOBUTTON = 9,
    BS_GROUPBOX = 7,
    BS_OWNERDRAW = 11,
};
enum : int { BST_UNCHECKED = 0, BST_CHECKED = 1 };

// Modal: runs its own message loop until Win_EndDialog; the result. -1 when the
// description is missing. Headless: the dialog hook answers it; one that nobody
// ends is ended with IDCANCEL once the queue is idle.
intptr_t Win_DialogBox(const WinModule* module, const std::string& name, WinHandle owner,
                       WinDlgProc procedure, intptr_t parameter);
// Modeless; 0 when the description is missing.
WinHandle Win_CreateDialog(const WinModule* module, const std::string& name, WinHandle parent,
                           WinDlgProc procedure, intptr_t parameter);
bool Win_EndDialog(WinHandle dialog, intptr_t result);
intptr_t Win_SetDialogData(WinHandle dialog, intptr_t value);  // the dialog's user word
intptr_t Win_GetDialogData(WinHandle dialog);
WinHandle Win_GetDlgItem(WinHandle dialog, uint32_t id);
bool Win_SetDlgItemText(WinHandle dialog, uint32_t id, std::string_view text);
std::string Win_GetDlgItemText(WinHandle dialog, uint32_t id);
bool Win_SetDlgItemInt(WinHandle dialog, uint32_t id, int value);
bool Win_CheckDlgButton(WinHandle dialog, uint32_t id, int state);
int Win_IsDlgButtonChecked(WinHandle dialog, uint32_t id);
bool Win_CheckRadioButton(WinHandle dialog, uint32_t first, uint32_t last, uint32_t checked);
// A click as the user makes it: state changes of automatic buttons, then WM_COMMAND
// BN_CLICKED to the parent.
bool Win_ClickButton(WinHandle dialog, uint32_t id);

// List boxes and combo boxes (combo: the edit text is the window text).
int Win_ListAddString(WinHandle control, const std::string& text);  // index
bool Win_ListReset(WinHandle control);
int Win_ListCount(WinHandle control);
std::string Win_ListText(WinHandle control, int index);
int Win_ListFind(WinHandle control, const std::string& text);  // exact, -1 none
bool Win_ListSetSelection(WinHandle control, int index);       // -1 none; no notification
int Win_ListSelection(WinHandle control);
bool Win_ListSetHorizontalExtent(WinHandle control, int pixels);
// A user's choice: selection, window text (combo) and the notification to the parent.
bool Win_ListChoose(WinHandle control, int index, bool doubleClick);

// Scroll-bar and track-bar controls use Win_SetScrollRange/Win_SetScrollPos with
// SB_CTL; the user's moves reach the parent as WM_HSCROLL/WM_VSCROLL.
bool Win_ScrollControl(WinHandle control, int request, int thumbPosition);
// Orientation of scroll-bar and track-bar controls (style bits).
enum : uint32_t { SBS_HORZ = 0, SBS_VERT = 1, TBS_HORZ = 0, TBS_VERT = 2 };

// Owner-drawn buttons (BS_OWNERDRAW): WM_DRAWITEM to the parent, wParam the control
// id, lParam a WinDrawItem* valid during the call.
enum : uint32_t { ODT_BUTTON = 4 };
enum : uint32_t { ODA_DRAWENTIRE = 1, ODA_SELECT = 2, ODA_FOCUS = 4 };
enum : uint32_t { ODS_SELECTED = 1, ODS_DISABLED = 4, ODS_FOCUS = 0x10 };
struct WinDrawItem {
    uint32_t ctlType = ODT_BUTTON;
    uint32_t ctlId = 0;
    uint32_t itemAction = ODA_DRAWENTIRE;
    uint32_t itemState = 0;
    WinHandle item = 0;
    WinDC* dc = nullptr;
    WinRect rect;  // the control's client area
};

// ---------------------------------------------------------------------------
// Message boxes, beeps, help, clipboard
// ---------------------------------------------------------------------------

enum : uint32_t {
    MB_OK = 0,
    MB_OKCANCEL = 1,
    MB_YESNOCANCEL = 3,
    MB_YESNO = 4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
int Win_MessageBox(WinHandle owner, const std::string& text, const std::string& caption, uint32_t flags);
enum : uint32_t { MB_BEEP_DEFAULT = 0xFFFFFFFFu };
void Win_MessageBeep(uint32_t type);
enum : uint32_t { HELP_CONTEXT = 1, HELP_QUIT = 2 };
bool Win_WinHelp(WinHandle window, const std::string& file, uint32_t command, uintptr_t data);

bool Win_OpenClipboard(WinHandle owner);
bool Win_EmptyClipboard();
bool Win_SetClipboardText(std::string text);
bool Win_SetClipboardBitmap(const WinBitmap* bitmap);  // copied
bool Win_CloseClipboard();
std::string Win_ClipboardText();
WinBitmap* Win_ClipboardBitmap();  // a copy the caller deletes; null when none

// ---------------------------------------------------------------------------
// Drawing (cairo inside)
// ---------------------------------------------------------------------------

enum : int { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_NULL = 5 };
enum : int { WHITE_BRUSH = 0, BLACK_BRUSH = 4, NULL_BRUSH = 5, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8 };
enum : int { R2_BLACK = 1, R2_NOT = 6, R2_XORPEN = 7, R2_COPYPEN = 13, R2_WHITE = 16 };
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : int {
    COLOR_WINDOW = 5,
    COLOR_WINDOWFRAME = 6,
    COLOR_WINDOWTEXT = 8,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_BTNHIGHLIGHT = 20,
};
WinColor Win_GetSysColor(int index);

WinGdi Win_CreatePen(int style, int width, WinColor color);
WinGdi Win_CreateSolidBrush(WinColor color);
// face "" gives the layer's sans face; "monospace" a fixed-pitch face. height in pixels.
WinGdi Win_CreateFont(const std::string& face, int height, bool bold, bool italic);
WinGdi Win_GetStockObject(int index);
WinGdi Win_SelectObject(WinDC* dc, WinGdi object);  // previous object of that kind
bool Win_DeleteObject(WinGdi object);               // stock objects are kept

int Win_SetROP2(WinDC* dc, int mode);  // previous; R2_NOT and R2_XORPEN invert what lies under
int Win_SetBkMode(WinDC* dc, int mode);
WinColor Win_SetBkColor(WinDC* dc, WinColor color);
WinColor Win_SetTextColor(WinDC* dc, WinColor color);
bool Win_MoveTo(WinDC* dc, int x, int y);
bool Win_LineTo(WinDC* dc, int x, int y);
bool Win_Rectangle(WinDC* dc, int left, int top, int right, int bottom);  // pen outline, brush inside
bool Win_FillSolid(WinDC* dc, const WinRect& rect, WinColor color);
bool Win_TextOut(WinDC* dc, int x, int y, std::string_view text);  // top-left at x, y; UTF-8
enum : uint32_t { ETO_OPAQUE = 2, ETO_CLIPPED = 4 };
bool Win_ExtTextOut(WinDC* dc, int x, int y, uint32_t options, const WinRect* rect, std::string_view text);
bool Win_GetTextExtent(WinDC* dc, std::string_view text, int* width, int* height);
bool Win_DrawBitmap(WinDC* dc, int x, int y, const WinBitmap* bitmap);
bool Win_StretchBitmap(WinDC* dc, int x, int y, int width, int height, const WinBitmap* bitmap, int sx,
                       int sy, int sw, int sh);
bool Win_DPtoLP(WinDC* dc, WinPoint* points, int count);
// The cairo context under the drawing context, for libraries that paint themselves
// (device units, origin at the client area's top-left, clipped).
cairo_t* Win_DCCairo(WinDC* dc);

WinBitmap* Win_CreateBitmap(int width, int height);  // white; null when too large (docs)
WinBitmap* Win_CopyBitmap(const WinBitmap* bitmap);
void Win_DeleteBitmap(WinBitmap* bitmap);
int Win_BitmapWidth(const WinBitmap* bitmap);
int Win_BitmapHeight(const WinBitmap* bitmap);
uint32_t Win_BitmapPixel(const WinBitmap* bitmap, int x, int y);  // 0x00RRGGBB
cairo_surface_t* Win_BitmapSurface(WinBitmap* bitmap);
WinDC* Win_CreateBitmapDC(WinBitmap* bitmap);  // draws into the bitmap
void Win_DeleteDC(WinDC* dc);                  // bitmap and printer contexts
bool Win_WritePng(const WinBitmap* bitmap, const std::string& path);

// Moves the pixels of the window's client area by dx, dy on its top-level surface and
// invalidates (with erase) what was uncovered. scroll: the part that moves (null: the
// whole client area, and the children move with it); clip: only pixels inside it
// change (null: no limit). Rectangles in client coordinates. Details: docs/window-layer.md.
bool Win_ScrollWindow(WinHandle window, int dx, int dy, const WinRect* scroll, const WinRect* clip);

// ---------------------------------------------------------------------------
// Printing: PDF through cairo; the printers CUPS names and "PDF"
// ---------------------------------------------------------------------------

struct WinPrinter {
    std::string name;  // display name
    std::string driver;
    std::string port;
    bool isDefault = false;
};
std::vector<WinPrinter> Win_EnumPrinters();  // "PDF" always, CUPS printers when a server answers
std::string Win_DefaultPrinter();
// The PDF printer writes into this directory (default: the current user's home).
void Win_SetPdfDirectory(const std::string& directory);
// Driver settings a printer's properties dialog edits.
struct WinPrinterSettings {
    std::string printer;
    bool landscape = false;
    int copies = 1;
    int paperWidthMm = 210, paperHeightMm = 297;
};
// The printer's own settings dialog; true when the user confirmed (settings changed).
bool Win_PrinterPropertiesDialog(WinHandle owner, const std::string& printer, WinPrinterSettings* settings);

// The print dialog: pages, copies, printer; the printer context on OK.
enum : uint32_t {
    PD_ALLPAGES = 0,
    PD_SELECTION = 1,
    PD_PAGENUMS = 2,
    PD_NOSELECTION = 4,
    PD_NOPAGENUMS = 8,
    PD_RETURNDC = 0x100
};
struct WinPrintDialog {
    WinHandle owner = 0;
    uint32_t flags = 0;  // in and out
    int fromPage = 1, toPage = 1, minPage = 1, maxPage = 1, copies = 1;
    std::string printer;  // out
    WinDC* dc = nullptr;  // out with PD_RETURNDC; the caller deletes it
};
bool Win_PrintDialog(WinPrintDialog* dialog);

WinDC* Win_CreatePrinterDC(const std::string& printer, const WinPrinterSettings* settings);
int Win_StartDoc(WinDC* dc, const std::string& documentName);  // > 0 started
int Win_StartPage(WinDC* dc);
int Win_EndPage(WinDC* dc);
int Win_EndDoc(WinDC* dc);  // writes the PDF; a CUPS printer then gets it
int Win_AbortDoc(WinDC* dc);
// Bands: the whole page once, then an empty rectangle.
int Win_NextBand(WinDC* dc, WinRect* band);
std::string Win_LastPrintFile(WinDC* dc);
enum : int {
    HORZRES = 8,
    VERTRES = 10,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
    PHYSICALWIDTH = 110,
    PHYSICALHEIGHT = 111,
    PHYSICALOFFSETX = 112,
    PHYSICALOFFSETY = 113
};
int Win_GetDeviceCaps(WinDC* dc, int index);

// ---------------------------------------------------------------------------
// The desktop: back-end, screenshots, hooks for scripted use, the event log
// ---------------------------------------------------------------------------

enum class WinBackend { Headless, X11 };
// false when the back-end cannot start (no X display).
bool Win_Initialize(WinBackend backend);
// Destroys every window, frees menus, objects and modules still held.
void Win_Terminate();
// The top-level window with its children as they are drawn now.
bool Win_Screenshot(WinHandle topLevel, const std::string& pngPath);
WinBitmap* Win_CaptureWindow(WinHandle topLevel);

// Hooks that stand in for a user in front of the screen (tests, the script runner).
// Each returns true when it answered.
struct WinHooks {
    // A modal dialog after WM_INITDIALOG: may set controls, click, Win_EndDialog.
    std::function<bool(WinHandle dialog, const std::string& name)> dialog;
    // A message box: the button answered.
    std::function<bool(const std::string& text, const std::string& caption, uint32_t flags, int* answer)>
        messageBox;
    // A popup menu: the item chosen (0 for none).
    std::function<bool(WinMenu menu, uint32_t* chosen)> popupMenu;
    // The print dialog: fill the record and return true for OK.
    std::function<bool(WinPrintDialog* dialog, bool* ok)> printDialog;
    // A printer's properties dialog: edit the settings and set *ok for OK.
    std::function<bool(const std::string& printer, WinPrinterSettings* settings, bool* ok)> printerProperties;
};
void Win_SetHooks(WinHooks hooks);

// Every dispatched message, dialog, message box, beep, help call and clipboard
// change is reported to the sink as one JSON object (one line); libraries add
// their own events (source "engine", "browser") through Win_LogEvent.
void Win_SetEventSink(std::function<void(const std::string& jsonLine)> sink);
// fieldsJson: the inner members, e.g. "\"name\":\"VSDocStart\",\"result\":1".
void Win_LogEvent(const std::string& source, const std::string& fieldsJson);
std::string Win_JsonString(std::string_view text);  // quoted and escaped
